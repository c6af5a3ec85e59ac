// deploy_runner VERSION FILES LOG UNINSTALLER: deploys the generated tree of that version and
// size (see GeneratedTree) with the given uninstaller as the installer's worker does, logging
// to LOG, after the recovery of a cut-off install that the installer does at its start. It
// writes the progress position to its standard output, a line each time it moves, so that a
// test can cut it off at a point of the copy it chooses, by bytes written.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "deployment.h"
#include "installowner.h"
#include "payloadkeys.h"
#include "rollback.h"
#include "test_payload.h"
#include "uninstallentry.h"
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
    void SetProgress(int position) override {
        TInstallOwner::SetProgress(position);
        const std::string line = std::to_string(position) + "\n";
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), DWORD(line.size()), &written, nullptr);
    }
    void StartFinishTimer(InstallResult) override {}
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5 || strlen(argv[3]) >= sizeof(ProgramLog.LogPath)) return 2;
    strcpy(ProgramLog.LogPath, argv[3]);
    static LineOwner owner;
    if (!owner.Payload.AddFile(PayloadKey::Uninstaller, argv[4]) ||
        !AddAppTree(owner.Payload, GeneratedTree(atoi(argv[2]), atoi(argv[1]))))
        return 3;
    RecoverInterruptedInstall(UninstallFolderPath(), &ProgramLog);
    return DeployApplication(owner) == InstallResult::Success ? 0 : 1;
}
