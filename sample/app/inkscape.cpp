// inkscape\inkscape.exe of the sample tree: a stand-in for the Inkscape distribution that the
// installer deploys beside the application and links from the Start menu.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    MessageBoxA(nullptr, "Inkscape stand-in of the Mini Tarvik sample.", "Inkscape (Vektrel)", MB_OK);
    return 0;
}
