// TForm_Main: creation and mode selection.
#include "formmain.h"

#include <windows.h>

#include "builder.h"
#include "startup.h"

TForm_Main::TForm_Main() { FormCreate(); }

void TForm_Main::FormCreate() {
    char own_path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, own_path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) own_path[0] = '\0';  // empty path: the load fails, the fallback is tried

    switch (LoadPayload(&Payload, own_path)) {
        case StartMode::Failed:
            MessageBoxA(nullptr, "Oh, MG! LoadExeFile fail!", "Install Mini Tarvik", MB_OK);
            ExitProcess(0);
        case StartMode::Builder:
            RunBuilder(&Payload);
        case StartMode::Installer:
            return;
    }
}
