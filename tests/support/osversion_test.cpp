// The Windows version as the installer, with its manifest, sees it. Built once per reported
// version; TARVIK_EXPECT_* name what the prefix must give, and TARVIK_OS_SUITE names the
// tests after their executable, so every version's results stand apart.
#include "registry.h"
#include "xc_osversion.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string EmbeddedManifest() {
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    if (found == nullptr) return std::string();
    HGLOBAL loaded = LoadResource(nullptr, found);
    const char* bytes = static_cast<const char*>(LockResource(loaded));
    return bytes != nullptr ? std::string(bytes, SizeofResource(nullptr, found)) : std::string();
}

// The version answer depends on these declarations, so the test checks it carries them.
TEST(TARVIK_OS_SUITE, DeclaresNoSystemAfterWindows8) {
    const std::string manifest = EmbeddedManifest();
    ASSERT_FALSE(manifest.empty());
    EXPECT_NE(std::string::npos, manifest.find("level=\"requireAdministrator\""));
    EXPECT_NE(std::string::npos, manifest.find("Microsoft.Windows.Common-Controls"));
    EXPECT_NE(std::string::npos, manifest.find("{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"));
    EXPECT_EQ(std::string::npos, manifest.find("{1f676c76-80e1-4239-95bb-83d0f6d0da78}"));
    EXPECT_EQ(std::string::npos, manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"));
}

TEST(TARVIK_OS_SUITE, ReportsTheExpectedVersion) {
    const XC_OSVersion version;
    EXPECT_EQ(static_cast<DWORD>(sizeof(OSVERSIONINFOEXA)), version.VersionInfo.dwOSVersionInfoSize);
    EXPECT_EQ(static_cast<DWORD>(TARVIK_EXPECT_MAJOR), version.VersionInfo.dwMajorVersion);
    EXPECT_EQ(static_cast<DWORD>(TARVIK_EXPECT_MINOR), version.VersionInfo.dwMinorVersion);
    std::string expected = TARVIK_EXPECT_NAME;
    if (version.VersionInfo.szCSDVersion[0] != '\0') expected += std::string(" ") + version.VersionInfo.szCSDVersion;
    EXPECT_EQ(expected, version.DisplayName);
}

TEST(TARVIK_OS_SUITE, DetailsHoldNineLines) {
    const XC_OSVersion version;
    const OSVERSIONINFOEXA& v = version.VersionInfo;
    const std::string expected =
        "wSuiteMask:" + std::to_string(v.wSuiteMask) + "\ndwPlatformId:" + std::to_string(v.dwPlatformId) +
        "\nwProductType:" + std::to_string(v.wProductType) + "\ndwMajorVersion:" + std::to_string(TARVIK_EXPECT_MAJOR) +
        "\ndwMinorVersion:" + std::to_string(TARVIK_EXPECT_MINOR) +
        "\ndwBuildNumber:" + std::to_string(v.dwBuildNumber) +
        "\nwServicePackMajor:" + std::to_string(v.wServicePackMajor) +
        "\nwServicePackMinor:" + std::to_string(v.wServicePackMinor) + "\nszCSDVersion:" + v.szCSDVersion;
    EXPECT_EQ(expected, version.Details);
    EXPECT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_NT), v.dwPlatformId);
}

// The driver worker takes "(x86)" in Program Files as the mark of 64-bit Windows.
TEST(TARVIK_OS_SUITE, ProgramFilesShowsTheSystemWidth) {
    typedef BOOL(WINAPI * IsWow64Fn)(HANDLE, BOOL*);
    const IsWow64Fn isWow64 = reinterpret_cast<IsWow64Fn>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process")));
    BOOL wow64 = FALSE;
    if (isWow64 != nullptr) {
        ASSERT_TRUE(isWow64(GetCurrentProcess(), &wow64));
    }
    EXPECT_EQ(TARVIK_EXPECT_WOW64 != 0, wow64 != FALSE);
    const std::string programFiles = SpecialFolderPath(38);
    ASSERT_FALSE(programFiles.empty());
    EXPECT_EQ(wow64 != FALSE, programFiles.find("(x86)") != std::string::npos) << programFiles;
}

}  // namespace
