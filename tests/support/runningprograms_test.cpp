// Programs running from a folder: the path rule on a table, then real processes started from
// scratch folders, read through each way of reading an executable's path.
#include "runningprograms.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "scratch_folder.h"
#include "started_program.h"
#include "test_support.h"

#ifndef TARVIK_SLEEPER_EXE
#error "TARVIK_SLEEPER_EXE: the waiting program the tests start"
#endif

namespace {

struct FolderCase {
    const char* path;
    const char* folder;
    bool inside;
};

}  // namespace

TEST(PathInFolderTest, WholePartsWithoutRegardToCase) {
    const FolderCase cases[] = {
        {"C:\\Program Files\\MiniTarvik\\Emberlin.exe", "C:\\Program Files\\MiniTarvik", true},
        {"c:\\program files\\minitarvik\\inkscape\\inkscape.exe", "C:\\Program Files\\MiniTarvik", true},
        {"C:\\Program Files\\MiniTarvik\\Emberlin.exe", "C:\\Program Files\\MiniTarvik\\", true},
        {"C:\\Program Files\\MiniTarvik2\\Emberlin.exe", "C:\\Program Files\\MiniTarvik", false},
        {"C:\\Program Files\\MiniTarvik", "C:\\Program Files\\MiniTarvik", false},
        {"C:\\Program Files\\MiniTarvik\\", "C:\\Program Files\\MiniTarvik", false},
        {"C:\\Program Files\\Mini\\x.exe", "C:\\Program Files\\MiniTarvik", false},
        {"", "C:\\Program Files\\MiniTarvik", false},
        {"C:\\x.exe", "", false},
    };
    for (const FolderCase& c : cases)
        EXPECT_EQ(c.inside, IsPathInFolder(c.path, c.folder)) << c.path << " in " << c.folder;
}

namespace {

// The waiting program copied into folder\name, so its image lies there.
std::string CopySleeper(const ScratchFolder& folder, const std::string& name) {
    const std::string path = folder.Child(name);
    return CopyFileA(TARVIK_SLEEPER_EXE, path.c_str(), FALSE) ? path : std::string();
}

bool ListsProcess(const std::vector<RunningProgram>& programs, DWORD id, std::string* path) {
    for (const RunningProgram& program : programs)
        if (program.id == id) {
            *path = program.path;
            return true;
        }
    return false;
}

}  // namespace

TEST(RunningProgramsTest, FindsAProgramStartedFromTheFolder) {
    ScratchFolder folder("MiniTarvik");
    ASSERT_TRUE(folder.Ready());
    ASSERT_TRUE(CreateDirectoryA(folder.Child("bin").c_str(), nullptr));
    const std::string image = CopySleeper(folder, "bin\\Emberlin.exe");
    ASSERT_FALSE(image.empty());
    StartedProgram program(image);
    ASSERT_TRUE(program.Started());
    std::string path;
    ASSERT_TRUE(ListsProcess(ProgramsRunningFrom(folder.Path()), program.Id(), &path));
    EXPECT_EQ(0, lstrcmpiA(image.c_str(), path.c_str())) << path;
    // Once it has ended, it is no longer listed.
    program.Stop();
    EXPECT_FALSE(ListsProcess(ProgramsRunningFrom(folder.Path()), program.Id(), &path));
}

TEST(RunningProgramsTest, AFolderWhoseNameOnlyBeginsAlikeIsAnotherFolder) {
    ScratchFolder folder("MiniTarvik");
    ASSERT_TRUE(folder.Ready());
    const std::string sibling = folder.Path() + "2";
    ASSERT_TRUE(CreateDirectoryA(sibling.c_str(), nullptr));
    const std::string image = sibling + "\\Emberlin.exe";
    ASSERT_TRUE(CopyFileA(TARVIK_SLEEPER_EXE, image.c_str(), FALSE));
    {
        StartedProgram program(image);
        ASSERT_TRUE(program.Started());
        std::string path;
        EXPECT_FALSE(ListsProcess(ProgramsRunningFrom(folder.Path()), program.Id(), &path));
        EXPECT_TRUE(ListsProcess(ProgramsRunningFrom(sibling), program.Id(), &path));
    }
    ScratchFolder::RemoveTree(sibling);
}

// Both ways of reading a path give the started program's own path for a 32-bit process; on
// 64-bit Windows only the full image name reads a 64-bit one (see the next test).
TEST(RunningProgramsTest, EachSourceReadsA32BitProgram) {
    ScratchFolder folder("MiniTarvik");
    ASSERT_TRUE(folder.Ready());
    const std::string image = CopySleeper(folder, "Emberlin.exe");
    ASSERT_FALSE(image.empty());
    StartedProgram program(image);
    ASSERT_TRUE(program.Started());
    for (ImagePathSource source : {ImagePathSource::FullImageName, ImagePathSource::ModuleList}) {
        // The module list is there only once the loader has mapped the program: a short wait.
        std::string path;
        for (int tries = 0; tries < 50 && path.empty(); ++tries) {
            path = ProcessImagePath(program.Id(), source);
            if (path.empty()) Sleep(20);
        }
        EXPECT_EQ(0, lstrcmpiA(image.c_str(), path.c_str())) << int(source) << ": " << path;
    }
}

TEST(RunningProgramsTest, FullImageNameReadsA64BitProgram) {
    SKIP_UNLESS_32BIT_PROGRAM("its subject is a 32-bit process naming a 64-bit program");
    BOOL wow64 = FALSE;
    if (!IsWow64Process(GetCurrentProcess(), &wow64) || !wow64) GTEST_SKIP() << "not 64-bit Windows";
    // The system's 64-bit folder as a 32-bit process names it.
    char windows[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryA(windows, MAX_PATH), 0u);
    const std::string image = std::string(windows) + "\\Sysnative\\ping.exe";
    if (GetFileAttributesA(image.c_str()) == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "no 64-bit ping.exe";
    StartedProgram program(image, "-n 30 127.0.0.1");
    ASSERT_TRUE(program.Started());
    const std::string path = ProcessImagePath(program.Id(), ImagePathSource::FullImageName);
    EXPECT_NE(std::string::npos, path.find("ping.exe")) << path;
    std::string listed;
    EXPECT_TRUE(ListsProcess(ProgramsRunningFrom(path.substr(0, path.rfind('\\'))), program.Id(), &listed));
    // Printed, not required: the module list stops at the WOW64 boundary (measured: empty).
    std::printf("module list path of a 64-bit process: \"%s\"\n",
                ProcessImagePath(program.Id(), ImagePathSource::ModuleList).c_str());
}
