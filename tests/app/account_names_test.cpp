// The grant to everyone on a system where the account "everyone" has another name ("Jeder",
// "Tout le monde"). Wine's account names cannot be renamed, so the test gives this program a
// name lookup that knows no "everyone", by replacing the lookup in its import table; the
// deployment must still open every folder and file.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "import_patch.h"
#include "install_fixture.h"
#include "installworker.h"

namespace {

BOOL WINAPI LookupWithoutEveryone(LPCSTR system, LPCSTR account, PSID sid, LPDWORD sidSize, LPSTR domain,
                                  LPDWORD domainSize, PSID_NAME_USE use) {
    (void)system, (void)account, (void)sid, (void)sidSize, (void)domain, (void)domainSize, (void)use;
    SetLastError(ERROR_NONE_MAPPED);
    return FALSE;
}

using SYSTEM_SUITE(AccountNameTest) = InstallTest;

TEST_F(SYSTEM_SUITE(AccountNameTest), EveryoneUnderAnotherNameStillGetsTheGrant) {
    ImportPatch patch("advapi32.dll", "LookupAccountNameA", reinterpret_cast<void*>(&LookupWithoutEveryone));
    if (!patch.Applied()) GTEST_SKIP() << "this program does not import LookupAccountNameA";
    // The system now knows no account "everyone".
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof(sid);
    char domain[64];
    DWORD domainSize = sizeof(domain);
    SID_NAME_USE use;
    SetLastError(0xdeadbeef);
    ASSERT_FALSE(LookupAccountNameA(nullptr, "everyone", sid, &sidSize, domain, &domainSize, &use));
    ASSERT_EQ(DWORD(ERROR_NONE_MAPPED), GetLastError());

    ASSERT_TRUE(AddAppTree(owner_.Payload, SampleAppTree()));
    EXPECT_EQ(InstallResult::Success, RunInstall(owner_));
    EXPECT_EQ(Expected(SampleAppTree()), InstalledTree());
    EXPECT_TRUE(LogEntries().empty()) << LogText();
}

}  // namespace
