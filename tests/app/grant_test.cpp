// The grant to everyone, read back from the security descriptors of what the deployment wrote:
// the install folder, a subfolder and a file each let the world group (S-1-1-0) write, and the
// folders only once the last file is written. Wine
// rebuilds the access list it reports from the Unix mode bits, so the exact entries cannot be
// read back; the world's right to write can, and it is absent without the grant.
#include <windows.h>

#include <aclapi.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "install_fixture.h"
#include "installworker.h"

namespace {

enum class WorldWrite { Allowed, Denied, Unreadable };

WorldWrite WorldMayWrite(const std::string& path) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                              &descriptor) != ERROR_SUCCESS)
        return WorldWrite::Unreadable;
    SID_IDENTIFIER_AUTHORITY worldAuthority = SECURITY_WORLD_SID_AUTHORITY;
    PSID world = nullptr;
    AllocateAndInitializeSid(&worldAuthority, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &world);
    WorldWrite result = dacl == nullptr ? WorldWrite::Allowed : WorldWrite::Denied;  // no list: all may
    ACL_SIZE_INFORMATION size = {};
    if (dacl != nullptr && world != nullptr && GetAclInformation(dacl, &size, sizeof(size), AclSizeInformation)) {
        for (DWORD i = 0; i < size.AceCount; ++i) {
            void* entry = nullptr;
            if (!GetAce(dacl, i, &entry)) continue;
            const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
            if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
            if (!EqualSid(const_cast<DWORD*>(&allowed->SidStart), world)) continue;
            if (allowed->Mask & (FILE_WRITE_DATA | GENERIC_WRITE | GENERIC_ALL)) result = WorldWrite::Allowed;
        }
    } else if (dacl != nullptr) {
        result = WorldWrite::Unreadable;
    }
    if (world != nullptr) FreeSid(world);
    LocalFree(descriptor);
    return result;
}

using SYSTEM_SUITE(GrantTest) = InstallTest;

TEST_F(SYSTEM_SUITE(GrantTest), InstalledFoldersAndFilesLetEveryoneWrite) {
    // A file made here without a grant: the read-back must tell it apart, or the test proves nothing.
    const std::string plain = Temp() + "\\plain.txt";
    HANDLE file = CreateFileA(plain.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    CloseHandle(file);
    if (WorldMayWrite(plain) != WorldWrite::Denied)
        GTEST_SKIP() << "the world's right to write cannot be read back here";

    ASSERT_TRUE(AddAppTree(owner_.Payload, SampleAppTree()));
    // While files are written no other user may change a folder: the grant comes last.
    std::vector<WorldWrite> whileCopying;
    owner_.OnProgress = [&](int position) {
        if (!whileCopying.empty() || position <= kProgressFull / 20 || position >= kProgressFull) return;
        for (const std::string& path : {InstallFolder(), InstallFolder() + "\\inkscape\\share"})
            whileCopying.push_back(WorldMayWrite(path));
    };
    ASSERT_EQ(InstallResult::Success, RunInstall(owner_));
    EXPECT_EQ(std::vector<WorldWrite>(2, WorldWrite::Denied), whileCopying);
    for (const std::string& path :
         {InstallFolder(), InstallFolder() + "\\inkscape\\share",
          InstallFolder() + "\\inkscape\\share\\icons\\tarvik.svg", InstallFolder() + "\\Emberlin.exe"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(WorldWrite::Allowed, WorldMayWrite(path));
    }
}

}  // namespace
