// Process entry of SetupTarvik.exe: creates the main window, which selects the mode.
#include <windows.h>

#include "formmain.h"
#include "paths.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    RestrictDllSearch();
    static TForm_Main Form_Main;
    ExitProcess(0);
}
