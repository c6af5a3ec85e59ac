// What Explorer and the UAC prompt show of SetupTarvik.exe: its version information and icon,
// read back from the built executable.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char kSetupTarvik[] = TARVIK_SETUPTARVIK_EXE;

class VersionResourceTest : public testing::Test {
protected:
    void SetUp() override {
        DWORD handle = 0;
        SetLastError(0xdeadbeef);
        const DWORD size = GetFileVersionInfoSizeA(kSetupTarvik, &handle);
        ASSERT_NE(size, 0u) << "no version information in " << kSetupTarvik << ", error " << GetLastError();
        info_.resize(size);
        ASSERT_TRUE(GetFileVersionInfoA(kSetupTarvik, 0, size, info_.data()));
    }

    std::string Text(const char* name) {
        void* value = nullptr;
        UINT length = 0;
        const std::string path = std::string("\\StringFileInfo\\040904B0\\") + name;
        if (!VerQueryValueA(info_.data(), path.c_str(), &value, &length) || length == 0) return std::string();
        return static_cast<const char*>(value);
    }

    std::vector<char> info_;
};

TEST_F(VersionResourceTest, NamesProductAndCompany) {
    EXPECT_EQ(Text("CompanyName"), "Mini Tarvik");
    EXPECT_EQ(Text("ProductName"), "Mini Tarvik");
    EXPECT_EQ(Text("FileDescription"), "Mini Tarvik Setup");
    EXPECT_EQ(Text("OriginalFilename"), "SetupTarvik.exe");
    EXPECT_EQ(Text("ProductVersion"), Text("FileVersion"));
    EXPECT_FALSE(Text("ProductVersion").empty());
}

TEST_F(VersionResourceTest, FixedVersionMatchesText) {
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info_.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    char text[64];
    snprintf(text, sizeof(text), "%u.%u.%u.%u", unsigned(HIWORD(fixed->dwFileVersionMS)),
             unsigned(LOWORD(fixed->dwFileVersionMS)), unsigned(HIWORD(fixed->dwFileVersionLS)),
             unsigned(LOWORD(fixed->dwFileVersionLS)));
    EXPECT_EQ(Text("FileVersion"), text);
}

TEST(IconResourceTest, ExecutableCarriesAnIcon) {
    SetLastError(0xdeadbeef);
    const UINT icons = ExtractIconExA(kSetupTarvik, -1, nullptr, nullptr, 0);
    EXPECT_GE(icons, 1u) << "error " << GetLastError();
    HICON large = nullptr;
    ASSERT_EQ(ExtractIconExA(kSetupTarvik, 0, &large, nullptr, 1), 1u);
    ICONINFO info = {};
    EXPECT_TRUE(GetIconInfo(large, &info));
    BITMAP bitmap = {};
    EXPECT_NE(GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap), 0);
    EXPECT_EQ(bitmap.bmWidth, 32);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    DestroyIcon(large);
}

}  // namespace
