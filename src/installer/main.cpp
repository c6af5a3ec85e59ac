// Process entry of SetupTarvik.exe: without arguments the main window, which selects the mode;
// with arguments the unattended install (or the builder, which ignores them).
#include <windows.h>

#include "commandline.h"
#include "formmain.h"
#include "paths.h"
#include "unattended.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    RestrictDllSearch();
    const std::string arguments = CommandLineArguments(GetCommandLineA());
    if (!arguments.empty()) RunUnattended(arguments);
    TForm_Main Form_Main;
    Form_Main.FormCreate(ModulePath());
    Form_Main.Show();
    Form_Main.Run();
    ExitProcess(0);
}
