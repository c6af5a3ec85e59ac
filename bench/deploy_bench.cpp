// Deployment throughput: the application's deployment of a 5,000-file, 200 MiB tree out of a
// payload held in memory, next to writing the same files with plain CreateFile/WriteFile in
// the same run, and next to plain writes plus each of the deployment's extra steps per file
// (the flush of every file, the grant to everyone, the write under a part name renamed over
// the target), to show where the difference goes; and the same deployment over the first, an
// upgrade, which sets every older file aside until it is whole.
// Usage: deploy_bench [files] [MiB]   (default 5000 200). Windows build; run under Wine or on
// Windows. It writes into Program Files\MiniTarvik and removes it afterwards.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "deployment.h"
#include "installowner.h"
#include "paths.h"
#include "payloadkeys.h"
#include "permissions.h"
#include "registry.h"
#include "scratch_folder.h"
#include "uninstallentry.h"
#include "xc_handle.h"
#include "xc_log.h"
#include "xc_memspace.h"
#include "xc_xml.h"

namespace {

using Clock = std::chrono::steady_clock;

class BenchOwner : public TInstallOwner {
public:
    BenchOwner() {
        Text_CopyingFiles = "Copying files %d%%";
        Text_GroupName = "My Mini Tarvik";
        Text_OtherTools = "Other Tools";
        Text_AppShortcut = "Load Mini Tarvik";
        Text_InkscapeShortcut = "Inkscape (Vektrel)";
    }
    void StartFinishTimer(InstallResult) override {}
};

struct Tree {
    std::vector<std::string> folders;
    std::vector<std::string> files;  // relative paths, file i is payload entry FILEi
};

// Folders of 100 files each, two levels deep; sizes vary around the mean.
Tree MakeTree(BenchOwner& owner, int fileCount, uint64_t totalBytes) {
    Tree tree;
    const int perFolder = 100;
    const int folderCount = (fileCount + perFolder - 1) / perFolder;
    for (int f = 0; f < folderCount; ++f) {
        if (f % 10 == 0) tree.folders.push_back("\\group" + std::to_string(f / 10));
        tree.folders.push_back("\\group" + std::to_string(f / 10) + "\\folder" + std::to_string(f));
    }
    const uint64_t mean = totalBytes / uint64_t(fileCount);
    uint32_t seed = 1;
    XC_Xml list;
    list.SetValueInt("PathCount", int32_t(tree.folders.size()));
    for (size_t i = 0; i < tree.folders.size(); ++i)
        list.SetValue(("PATH" + std::to_string(i)).c_str(), tree.folders[i].c_str());
    list.SetValueInt("FileCount", fileCount);
    for (int i = 0; i < fileCount; ++i) {
        const int f = i / perFolder;
        tree.files.push_back("\\group" + std::to_string(f / 10) + "\\folder" + std::to_string(f) + "\\file" +
                             std::to_string(i) + ".bin");
        const uint32_t size = uint32_t(mean / 2 + (i % 2 == 0 ? mean / 4 : mean * 3 / 4) + (i % 3) - 1);
        XC_MemSpace block;
        block.Allocate(size, 0);
        for (uint32_t b = 0; b < size; b += 4) {
            seed = seed * 1664525u + 1013904223u;
            std::memcpy(block.data + b, &seed, std::min<uint32_t>(4, size - b));
        }
        const std::string key = "FILE" + std::to_string(i);
        owner.Payload.AddMemory(key.c_str(), &block);
        list.SetValue(key.c_str(), tree.files.back().c_str());
    }
    XC_MemSpace text;
    text.Allocate(list.GetTextLength() + 1, 0);
    std::memcpy(text.data, list.GetText(), list.GetTextLength());
    owner.Payload.AddMemory(PayloadKey::FilesInfo, &text);
    // An uninstaller stands in, as in every real payload: without one an install is incomplete.
    XC_MemSpace uninstaller;
    uninstaller.Allocate(64 * 1024, 0);
    owner.Payload.AddMemory(PayloadKey::Uninstaller, &uninstaller);
    return tree;
}

enum class Extra { None, Flush, Grant, GrantHandle, GrantHandleRename };

// The reference: the same folders and files with plain calls, plus one of the extra steps.
bool PlainWrites(const BenchOwner& owner, const Tree& tree, const std::string& root, Extra extra) {
    static XC_WorldSid world;
    CreateDirectoryA(root.c_str(), nullptr);
    for (const std::string& folder : tree.folders) CreateDirectoryA((root + folder).c_str(), nullptr);
    bool ok = true;
    for (size_t i = 0; i < tree.files.size(); ++i) {
        XC_MemSpace block;
        owner.Payload.GetEntry(("FILE" + std::to_string(i)).c_str(), &block);
        const std::string path = root + tree.files[i];
        const bool rename = extra == Extra::GrantHandleRename;
        const bool grantHandle = extra == Extra::GrantHandle || rename;
        const std::string written = rename ? path + ".part" : path;
        {
            const DWORD access = GENERIC_WRITE | (grantHandle ? READ_CONTROL | WRITE_DAC : 0);
            XC_File file(
                CreateFileA(written.c_str(), access, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
            ok = file.IsOpen() && file.Write(block.data, block.size) && ok;
            if (extra == Extra::Flush) FlushFileBuffers(file.Get());
            if (grantHandle) ok = GrantHandleAccess(file.Get(), world.Get(), GENERIC_ALL) && ok;
        }
        if (extra == Extra::Grant) ok = GrantSidAccess(path.c_str(), world.Get(), GENERIC_ALL) && ok;
        if (rename) ok = MoveFileExA(written.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) && ok;
    }
    return ok;
}

// One line of the comparison: what is timed, and what empties its target before each round.
struct Line {
    std::function<bool()> run;
    std::function<void()> clean;
    std::vector<double> seconds;

    double Median() const {
        std::vector<double> sorted = seconds;
        std::sort(sorted.begin(), sorted.end());
        return sorted.empty() ? 0 : sorted[sorted.size() / 2];
    }
};

// The median of rounds for each line, the lines taking turns within each round: a machine that
// slows down for a while (other work, the system writing its cache out) then weighs on every
// line alike instead of on whichever ran at that time.
void TimeInTurns(int rounds, std::vector<Line*> lines) {
    for (int i = 0; i < rounds; ++i) {
        for (Line* line : lines) {
            line->clean();
            const auto start = Clock::now();
            if (!line->run()) std::printf("  (a round reported failures)\n");
            line->seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        }
    }
    for (Line* line : lines) line->clean();
}

}  // namespace

int main(int argc, char** argv) {
    const int files = argc > 1 ? std::atoi(argv[1]) : 5000;
    const int mebibytes = argc > 2 ? std::atoi(argv[2]) : 200;
    if (files <= 0 || mebibytes <= 0) {
        std::fprintf(stderr, "usage: deploy_bench [files] [MiB]\n");
        return 1;
    }
    const std::string log = TempDirPath("deploy_bench.log");
    std::strcpy(ProgramLog.LogPath, log.c_str());

    BenchOwner owner;
    const Tree tree = MakeTree(owner, files, uint64_t(mebibytes) << 20);
    const std::string install = SpecialFolderPath(38) + "\\MiniTarvik";
    const std::string plain = TempDirPath("deploy_bench_plain");
    const std::string group = SpecialFolderPath(23) + "\\My Mini Tarvik";
    const int rounds = 3;

    const auto cleanPlain = [&] { ScratchFolder::RemoveTree(plain); };
    const auto plainLine = [&](Extra extra) {
        return Line{[&owner, &tree, &plain, extra] { return PlainWrites(owner, tree, plain, extra); }, cleanPlain};
    };
    Line reference = plainLine(Extra::None);
    Line flushed = plainLine(Extra::Flush);
    Line granted = plainLine(Extra::Grant);
    Line grantedHandle = plainLine(Extra::GrantHandle);
    Line renamed = plainLine(Extra::GrantHandleRename);
    // A first install (nothing there, no record), then the same again over it: an upgrade,
    // which sets every file aside and removes the kept ones once it is whole.
    const auto deploy = [&] { return DeployApplication(owner) == InstallResult::Success; };
    Line deployed{deploy, [&] {
                      ScratchFolder::RemoveTree(install);
                      ScratchFolder::RemoveTree(group);
                      ScratchFolder::RemoveTree(UninstallFolderPath());
                  }};
    Line upgraded{deploy, [] {}};
    TimeInTurns(rounds, {&reference, &flushed, &granted, &grantedHandle, &renamed, &deployed, &upgraded});
    deployed.clean();
    DeleteFileA((SpecialFolderPath(16) + "\\Load Mini Tarvik.lnk").c_str());

    // Reading every path of the list, as the deployment does, without writing anything.
    Line listed{[&] {
                    XC_MemSpace text;
                    XC_Xml list;
                    if (!owner.Payload.GetEntry(PayloadKey::FilesInfo, &text) ||
                        !list.LoadText(reinterpret_cast<char*>(text.data)))
                        return false;
                    size_t total = 0;
                    for (size_t i = 0; i < tree.folders.size(); ++i)
                        total += list.GetValue(("PATH" + std::to_string(i)).c_str()).size();
                    for (size_t i = 0; i < tree.files.size(); ++i)
                        total += list.GetValue(("FILE" + std::to_string(i)).c_str()).size();
                    return total > 0;
                },
                [] {}};
    TimeInTurns(rounds, {&listed});

    const double mib = double(mebibytes);
    const double plainSeconds = reference.Median(), flushSeconds = flushed.Median(), grantSeconds = granted.Median(),
                 handleSeconds = grantedHandle.Median(), renameSeconds = renamed.Median(),
                 deploySeconds = deployed.Median(), upgradeSeconds = upgraded.Median();
    std::printf("%d files, %d MiB, median of %d rounds, the lines taking turns\n", files, mebibytes, rounds);
    std::printf("  plain CreateFile/WriteFile      %7.3f s  %7.1f MiB/s  1.00x\n", plainSeconds, mib / plainSeconds);
    std::printf("  plain writes + flush per file   %7.3f s  %7.1f MiB/s  %.2fx\n", flushSeconds, mib / flushSeconds,
                flushSeconds / plainSeconds);
    std::printf("  plain writes + grant per file   %7.3f s  %7.1f MiB/s  %.2fx\n", grantSeconds, mib / grantSeconds,
                grantSeconds / plainSeconds);
    std::printf("  plain writes + grant on handle  %7.3f s  %7.1f MiB/s  %.2fx\n", handleSeconds, mib / handleSeconds,
                handleSeconds / plainSeconds);
    std::printf("  ... + written as part, renamed  %7.3f s  %7.1f MiB/s  %.2fx\n", renameSeconds, mib / renameSeconds,
                renameSeconds / plainSeconds);
    std::printf("  reading the file list alone     %7.3f s\n", listed.Median());
    std::printf("  deployment (journal, flush)     %7.3f s  %7.1f MiB/s  %.2fx  (%.2fx grant on handle)\n",
                deploySeconds, mib / deploySeconds, deploySeconds / plainSeconds, deploySeconds / handleSeconds);
    std::printf("  deployment over it (upgrade)    %7.3f s  %7.1f MiB/s  %.2fx\n", upgradeSeconds, mib / upgradeSeconds,
                upgradeSeconds / plainSeconds);
    return 0;
}
