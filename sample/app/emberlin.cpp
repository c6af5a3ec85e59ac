// Emberlin.exe, the sample engraving application the installer deploys: a window titled
// "Mini Tarvik" that lists the serial ports Windows knows, so the freshly installed driver's
// port shows at a glance. Ends when its window is closed.
#include <windows.h>

#include <string>
#include <vector>

namespace {

const char kClassName[] = "EmberlinMain";

// "COM3  (\Device\ProlificSerial0)" per port of the system's serial port map.
std::vector<std::string> SerialPorts() {
    std::vector<std::string> ports;
    HKEY map = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &map) != ERROR_SUCCESS)
        return ports;
    for (DWORD i = 0;; ++i) {
        char device[256], port[64];
        DWORD deviceLength = sizeof(device), portLength = sizeof(port), type = 0;
        if (RegEnumValueA(map, i, device, &deviceLength, nullptr, &type, reinterpret_cast<BYTE*>(port), &portLength) !=
            ERROR_SUCCESS)
            break;
        if (type != REG_SZ || portLength == 0) continue;
        port[portLength < sizeof(port) ? portLength : sizeof(port) - 1] = '\0';
        ports.push_back(std::string(port) + "  (" + device + ")");
    }
    RegCloseKey(map);
    return ports;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: {
            HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
            HWND caption = CreateWindowA("STATIC", "Serial ports found:", WS_CHILD | WS_VISIBLE, 12, 10, 300, 18,
                                         window, nullptr, nullptr, nullptr);
            HWND list = CreateWindowExA(WS_EX_CLIENTEDGE, "LISTBOX", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL, 12, 32,
                                        300, 150, window, nullptr, nullptr, nullptr);
            SendMessageA(caption, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
            SendMessageA(list, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
            const std::vector<std::string> ports = SerialPorts();
            for (const std::string& port : ports)
                SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(port.c_str()));
            if (ports.empty()) SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("(none)"));
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, "MAINICON");
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    RegisterClassA(&windowClass);
    HWND window = CreateWindowA(kClassName, "Mini Tarvik", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                                CW_USEDEFAULT, CW_USEDEFAULT, 340, 230, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return 1;
    ShowWindow(window, show);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
