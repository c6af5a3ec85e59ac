// A program that only waits: the tests start it from a folder to find it running there. It ends
// by itself after the seconds given (30 when none), so a failed test leaves nothing behind. A
// window program, so that Wine starts no console host for it that would outlive the test.
#include <windows.h>

#include <cstdlib>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR arguments, int) {
    const int seconds = std::atoi(arguments);
    Sleep(DWORD(seconds > 0 && seconds <= 120 ? seconds : 30) * 1000);
    return 0;
}
