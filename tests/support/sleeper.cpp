// A program that only waits: the tests start it from a folder to find it running there. It ends
// by itself after the seconds given (30 when none), so a failed test leaves nothing behind.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
    Sleep(DWORD(seconds > 0 && seconds <= 120 ? seconds : 30) * 1000);
    return 0;
}
