// The resources of the built SetupTarvik.exe: the manifest asks for administrator rights and
// declares common controls 6 and no Windows newer than 8; the window and its bitmaps are in.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "formmain.rh"
#include "skinbitmaps.h"

namespace {

class ResourcesTest : public testing::Test {
protected:
    void SetUp() override {
        SetLastError(0xdeadbeef);
        module_ = LoadLibraryExA(TARVIK_SETUPTARVIK_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module_, nullptr) << TARVIK_SETUPTARVIK_EXE << ": error " << GetLastError();
    }
    void TearDown() override {
        if (module_ != nullptr) FreeLibrary(module_);
    }

    // The bytes of a resource; empty when it is missing.
    std::string Resource(LPCSTR type, LPCSTR name) const {
        HRSRC found = FindResourceA(module_, name, type);
        if (found == nullptr) return std::string();
        HGLOBAL loaded = LoadResource(module_, found);
        const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
        if (bytes == nullptr) return std::string();
        return std::string(static_cast<const char*>(bytes), SizeofResource(module_, found));
    }

    HMODULE module_ = nullptr;
};

TEST_F(ResourcesTest, ManifestAsksForAdministratorIsDpiAwareAndDeclaresNothingAfterEight) {
    const std::string manifest = Resource(MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1));
    ASSERT_FALSE(manifest.empty()) << "no process manifest";
    EXPECT_NE(std::string::npos, manifest.find("level=\"requireAdministrator\"")) << manifest;
    EXPECT_EQ(std::string::npos, manifest.find("asInvoker"));
    EXPECT_NE(std::string::npos, manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""));
    // System-DPI-aware (the window scales itself to the DPI it starts with), not per monitor.
    EXPECT_NE(
        std::string::npos,
        manifest.find("<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true</dpiAware>"))
        << manifest;
    EXPECT_EQ(std::string::npos, manifest.find("dpiAwareness"));
    struct System {
        const char* name;
        const char* id;
        bool declared;
    };
    const System systems[] = {
        {"Vista", "{e2011457-1546-43c5-a5fe-008deee3d3f0}", true},
        {"7", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", true},
        {"8", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", true},
        {"8.1", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", false},
        {"10", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", false},
    };
    for (const System& system : systems)
        EXPECT_EQ(system.declared, manifest.find(system.id) != std::string::npos) << "Windows " << system.name;
}

TEST_F(ResourcesTest, WindowAndPanelBitmapsAreBuiltIn) {
    EXPECT_FALSE(Resource(RT_DIALOG, MAKEINTRESOURCEA(IDD_FORM_MAIN)).empty());
    struct Bitmap {
        int id;
        LONG width, height;
    };
    const Bitmap bitmaps[] = {
        {SKIN_BITMAP_LEFT_BORDER, 2, 31}, {SKIN_BITMAP_RIGHT_BORDER, 2, 51}, {SKIN_BITMAP_BAND, 30, 70}};
    for (const Bitmap& bitmap : bitmaps) {
        const std::string bytes = Resource(RT_BITMAP, MAKEINTRESOURCEA(bitmap.id));
        ASSERT_GE(bytes.size(), sizeof(BITMAPINFOHEADER)) << bitmap.id;
        BITMAPINFOHEADER info;
        memcpy(&info, bytes.data(), sizeof(info));
        EXPECT_EQ(sizeof(BITMAPINFOHEADER), info.biSize);
        EXPECT_EQ(bitmap.width, info.biWidth);
        EXPECT_EQ(bitmap.height, info.biHeight);
        EXPECT_EQ(32, info.biBitCount);
        EXPECT_EQ(bytes.size(), sizeof(info) + static_cast<size_t>(bitmap.width * bitmap.height * 4)) << bitmap.id;
    }
}

}  // namespace
