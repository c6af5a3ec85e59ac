// Process entry of SetupTarvik.exe: creates the main window, which selects the mode.
#include <windows.h>

#include "formmain.h"
#include "paths.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    RestrictDllSearch();
    TForm_Main Form_Main;
    Form_Main.FormCreate();
    Form_Main.Show();
    Form_Main.Run();
    ExitProcess(0);
}
