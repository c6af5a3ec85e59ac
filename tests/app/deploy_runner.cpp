// deploy_runner VERSION FILES LOG: deploys the generated tree of that version and size as the
// installer's worker does, logging to LOG, and writes one line to its standard output after
// each file, so that a test can cut it off at a point of the copy it chooses.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "deployment.h"
#include "installowner.h"
#include "test_payload.h"
#include "xc_log.h"

namespace {

class LineOwner : public TInstallOwner {
public:
    LineOwner() {
        Text_GroupName = "My Mini Tarvik";
        Text_OtherTools = "Other Tools";
        Text_AppShortcut = "Load Mini Tarvik";
        Text_InkscapeShortcut = "Inkscape (Vektrel)";
    }
    void SetStatus(const std::string& text) override {
        TInstallOwner::SetStatus(text);
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "\n", 1, &written, nullptr);
    }
    void StartFinishTimer(InstallResult) override {}
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 || strlen(argv[3]) >= sizeof(ProgramLog.LogPath)) return 2;
    strcpy(ProgramLog.LogPath, argv[3]);
    static LineOwner owner;
    if (!AddAppTree(owner.Payload, GeneratedTree(atoi(argv[2]), atoi(argv[1])))) return 3;
    return DeployApplication(owner) ? 0 : 1;
}
