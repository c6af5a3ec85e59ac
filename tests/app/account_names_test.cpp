// The grant to everyone on a system where the account "everyone" has another name ("Jeder",
// "Tout le monde"). Wine's account names cannot be renamed, so the test gives this program a
// name lookup that knows no "everyone", by replacing the lookup in its import table; the
// deployment must still open every folder and file.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "install_fixture.h"
#include "installworker.h"

namespace {

BOOL WINAPI LookupWithoutEveryone(LPCSTR system, LPCSTR account, PSID sid, LPDWORD sidSize, LPSTR domain,
                                  LPDWORD domainSize, PSID_NAME_USE use) {
    (void)system, (void)account, (void)sid, (void)sidSize, (void)domain, (void)domainSize, (void)use;
    SetLastError(ERROR_NONE_MAPPED);
    return FALSE;
}

// Replaces one imported function of this executable for the lifetime of the object.
class ImportPatch {
public:
    ImportPatch(const char* library, const char* function, void* replacement) {
        BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
        const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        auto* descriptor = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
        for (; imports.VirtualAddress != 0 && descriptor->Name != 0; ++descriptor) {
            if (_stricmp(reinterpret_cast<const char*>(base + descriptor->Name), library) != 0) continue;
            auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->OriginalFirstThunk);
            auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->FirstThunk);
            for (; names->u1.AddressOfData != 0; ++names, ++slots) {
                if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
                const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
                if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
                slot_ = &slots->u1.Function;
                original_ = *slot_;
                Set(reinterpret_cast<decltype(original_)>(replacement));
                return;
            }
        }
    }
    ~ImportPatch() {
        if (slot_ != nullptr) Set(original_);
    }
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    bool Applied() const { return slot_ != nullptr; }

private:
    void Set(decltype(IMAGE_THUNK_DATA::u1.Function) value) {
        DWORD old = 0;
        VirtualProtect(slot_, sizeof(*slot_), PAGE_READWRITE, &old);
        *slot_ = value;
        VirtualProtect(slot_, sizeof(*slot_), old, &old);
    }

    decltype(IMAGE_THUNK_DATA::u1.Function)* slot_ = nullptr;
    decltype(IMAGE_THUNK_DATA::u1.Function) original_ = 0;
};

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
    EXPECT_TRUE(EntriesBesidesStaging().empty()) << LogText();
}

}  // namespace
