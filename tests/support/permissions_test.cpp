// Granting an account access: the access list built over in-memory descriptors with the real
// ACL API, and the grant on real files and folders, by name and through an open handle.
#include "permissions.h"

#include <sddl.h>

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "scratch_folder.h"

namespace {

const char kEveryone[] = "S-1-1-0";
const char kSystem[] = "S-1-5-18";
const char kAdministrators[] = "S-1-5-32-544";
const char kUsers[] = "S-1-5-32-545";
const char kGuests[] = "S-1-5-32-546";
const DWORD kMarker = 0xdeadbeef;

// One access-list entry in comparable form.
struct Entry {
    BYTE type;
    BYTE flags;
    DWORD mask;
    std::string sid;

    bool operator==(const Entry& other) const {
        return type == other.type && flags == other.flags && mask == other.mask && sid == other.sid;
    }
};

void PrintTo(const Entry& e, std::ostream* out) {
    *out << "{type " << int(e.type) << ", flags 0x" << std::hex << int(e.flags) << ", mask 0x" << e.mask << std::dec
         << ", " << e.sid << "}";
}

Entry Allow(const char* sid, DWORD mask, BYTE flags = 0) { return {ACCESS_ALLOWED_ACE_TYPE, flags, mask, sid}; }
Entry Deny(const char* sid, DWORD mask, BYTE flags = 0) { return {ACCESS_DENIED_ACE_TYPE, flags, mask, sid}; }
// The entry a grant of GENERIC_ALL to everyone must add.
Entry Granted() { return Allow(kEveryone, GENERIC_ALL, CONTAINER_INHERIT_ACE | OBJECT_INHERIT_ACE); }

class Sid {
public:
    explicit Sid(const char* text) { ConvertStringSidToSidA(text, &sid_); }
    ~Sid() { LocalFree(sid_); }
    Sid(const Sid&) = delete;
    Sid& operator=(const Sid&) = delete;
    PSID Get() const { return sid_; }

private:
    PSID sid_ = nullptr;
};

std::string SidText(PSID sid) {
    char* text = nullptr;
    if (!ConvertSidToStringSidA(sid, &text)) return "?";
    std::string result = text;
    LocalFree(text);
    return result;
}

std::vector<Entry> ReadEntries(PACL acl) {
    std::vector<Entry> entries;
    ACL_SIZE_INFORMATION size = {};
    if (acl == nullptr || !GetAclInformation(acl, &size, sizeof(size), AclSizeInformation)) return entries;
    for (DWORD i = 0; i < size.AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (!GetAce(acl, i, reinterpret_cast<void**>(&ace))) break;
        entries.push_back({ace->Header.AceType, ace->Header.AceFlags, ace->Mask, SidText(&ace->SidStart)});
    }
    return entries;
}

enum class Dacl { Missing, Null, List };

// A self-relative descriptor, as GetFileSecurityA hands it out.
std::vector<BYTE> MakeDescriptor(Dacl kind, const std::vector<Entry>& entries,
                                 SECURITY_DESCRIPTOR_CONTROL control = 0) {
    SECURITY_DESCRIPTOR absolute;
    InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION);
    std::vector<BYTE> aclBytes(1024);
    PACL acl = reinterpret_cast<PACL>(aclBytes.data());
    InitializeAcl(acl, aclBytes.size(), ACL_REVISION);
    for (const Entry& e : entries) {
        Sid sid(e.sid.c_str());
        if (e.type == ACCESS_DENIED_ACE_TYPE)
            AddAccessDeniedAceEx(acl, ACL_REVISION, e.flags, e.mask, sid.Get());
        else
            AddAccessAllowedAceEx(acl, ACL_REVISION, e.flags, e.mask, sid.Get());
    }
    if (kind != Dacl::Missing) SetSecurityDescriptorDacl(&absolute, TRUE, kind == Dacl::List ? acl : nullptr, FALSE);
    if (control != 0) SetSecurityDescriptorControl(&absolute, control, control);
    DWORD size = 0;
    MakeSelfRelativeSD(&absolute, nullptr, &size);
    std::vector<BYTE> relative(size);
    if (size == 0 || !MakeSelfRelativeSD(&absolute, relative.data(), &size)) relative.clear();
    return relative;
}

class GrantDescriptorTest : public testing::Test {
protected:
    // Builds the grant of GENERIC_ALL to everyone over old and returns its entries.
    std::vector<Entry> Grant(std::vector<BYTE>& old) {
        EXPECT_FALSE(old.empty());
        EXPECT_TRUE(granted_.Build(old.data(), everyone_.Get(), GENERIC_ALL));
        return ReadEntries(granted_.Acl());
    }

    Sid everyone_{kEveryone};
    XC_GrantDescriptor granted_;
};

TEST_F(GrantDescriptorTest, NewEntryStandsAfterExplicitAndBeforeInheritedEntries) {
    std::vector<BYTE> old = MakeDescriptor(Dacl::List, {Deny(kGuests, GENERIC_WRITE), Allow(kSystem, GENERIC_ALL, 3),
                                                        Allow(kAdministrators, GENERIC_ALL, INHERITED_ACE | 3),
                                                        Allow(kUsers, GENERIC_READ, INHERITED_ACE)});
    const std::vector<Entry> expected = {Deny(kGuests, GENERIC_WRITE), Allow(kSystem, GENERIC_ALL, 3), Granted(),
                                         Allow(kAdministrators, GENERIC_ALL, INHERITED_ACE | 3),
                                         Allow(kUsers, GENERIC_READ, INHERITED_ACE)};
    EXPECT_EQ(expected, Grant(old));

    BOOL present = FALSE;
    BOOL defaulted = TRUE;
    PACL acl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(granted_.Descriptor(), &present, &acl, &defaulted));
    EXPECT_TRUE(present);
    EXPECT_FALSE(defaulted);
    EXPECT_EQ(granted_.Acl(), acl);
    EXPECT_TRUE(IsValidSecurityDescriptor(granted_.Descriptor()));
}

// The account's old explicit entries go, whatever their kind; its inherited ones stay.
TEST_F(GrantDescriptorTest, AccountKeepsOneExplicitEntry) {
    std::vector<BYTE> old =
        MakeDescriptor(Dacl::List, {Allow(kEveryone, GENERIC_READ), Allow(kSystem, GENERIC_ALL),
                                    Deny(kEveryone, GENERIC_WRITE), Allow(kEveryone, GENERIC_READ, INHERITED_ACE)});
    const std::vector<Entry> expected = {Allow(kSystem, GENERIC_ALL), Granted(),
                                         Allow(kEveryone, GENERIC_READ, INHERITED_ACE)};
    EXPECT_EQ(expected, Grant(old));
}

TEST_F(GrantDescriptorTest, GrantingTwiceLeavesOneEntry) {
    std::vector<BYTE> old =
        MakeDescriptor(Dacl::List, {Allow(kSystem, GENERIC_ALL), Allow(kUsers, GENERIC_READ, INHERITED_ACE)});
    Grant(old);
    DWORD size = 0;
    MakeSelfRelativeSD(granted_.Descriptor(), nullptr, &size);
    std::vector<BYTE> once(size);
    ASSERT_TRUE(MakeSelfRelativeSD(granted_.Descriptor(), once.data(), &size));

    XC_GrantDescriptor twice;
    ASSERT_TRUE(twice.Build(once.data(), everyone_.Get(), GENERIC_ALL));
    const std::vector<Entry> expected = {Allow(kSystem, GENERIC_ALL), Granted(),
                                         Allow(kUsers, GENERIC_READ, INHERITED_ACE)};
    EXPECT_EQ(expected, ReadEntries(twice.Acl()));
}

TEST_F(GrantDescriptorTest, MissingNullOrEmptyListGivesOnlyTheNewEntry) {
    for (Dacl kind : {Dacl::Missing, Dacl::Null, Dacl::List}) {
        SCOPED_TRACE(static_cast<int>(kind));
        std::vector<BYTE> old = MakeDescriptor(kind, {});
        EXPECT_EQ(std::vector<Entry>{Granted()}, Grant(old));
    }
}

// The account is recognised by its identifier, not by the memory that holds it.
TEST_F(GrantDescriptorTest, OtherAccountsAreKept) {
    std::vector<BYTE> old = MakeDescriptor(Dacl::List, {Allow(kEveryone, GENERIC_READ)});
    Sid users(kUsers);
    ASSERT_TRUE(granted_.Build(old.data(), users.Get(), GENERIC_READ | GENERIC_EXECUTE));
    const std::vector<Entry> expected = {
        Allow(kEveryone, GENERIC_READ),
        Allow(kUsers, GENERIC_READ | GENERIC_EXECUTE, CONTAINER_INHERIT_ACE | OBJECT_INHERIT_ACE)};
    EXPECT_EQ(expected, ReadEntries(granted_.Acl()));
}

struct ControlCase {
    SECURITY_DESCRIPTOR_CONTROL old;
    SECURITY_DESCRIPTOR_CONTROL carried;
};

class GrantControlTest : public GrantDescriptorTest, public testing::WithParamInterface<ControlCase> {};

TEST_P(GrantControlTest, InheritanceControlCarriesOver) {
    const SECURITY_DESCRIPTOR_CONTROL inheritance =
        SE_DACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED | SE_DACL_PROTECTED;
    std::vector<BYTE> old = MakeDescriptor(Dacl::List, {Allow(kSystem, GENERIC_ALL)}, GetParam().old);
    Grant(old);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(granted_.Descriptor(), &control, &revision));
    EXPECT_EQ(GetParam().carried, control & inheritance);
    EXPECT_TRUE(control & SE_DACL_PRESENT);
    EXPECT_FALSE(control & SE_SELF_RELATIVE);
}

// A protected list stays protected also when it is marked auto-inherited (the usual "PAI").
INSTANTIATE_TEST_SUITE_P(
    Controls, GrantControlTest,
    testing::Values(ControlCase{0, 0},
                    ControlCase{SE_DACL_AUTO_INHERITED, SE_DACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED},
                    ControlCase{SE_DACL_PROTECTED, SE_DACL_PROTECTED},
                    ControlCase{SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED,
                                SE_DACL_PROTECTED | SE_DACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED},
                    ControlCase{SE_DACL_AUTO_INHERIT_REQ, 0}));

TEST_F(GrantDescriptorTest, RejectsMissingOrInvalidInput) {
    std::vector<BYTE> old = MakeDescriptor(Dacl::List, {});
    BYTE badSid[12] = {9, 1};
    EXPECT_FALSE(granted_.Build(nullptr, everyone_.Get(), GENERIC_ALL));
    EXPECT_FALSE(granted_.Build(old.data(), nullptr, GENERIC_ALL));
    EXPECT_FALSE(granted_.Build(old.data(), badSid, GENERIC_ALL));
}

std::vector<BYTE> FileDescriptor(const std::string& path) {
    DWORD needed = 0;
    GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
    std::vector<BYTE> bytes(needed);
    if (needed == 0 || !GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, bytes.data(), needed, &needed))
        bytes.clear();
    return bytes;
}

class GrantAccessTest : public testing::Test {
protected:
    void SetUp() override {
        if (!scratch_.Ready()) GTEST_SKIP() << "no temporary folder";
        file_ = scratch_.Child("Emberlin.exe");
        folder_ = scratch_.Child("MiniTarvik");
        HANDLE handle =
            CreateFileA(file_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, handle);
        CloseHandle(handle);
        ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr));
    }

    ScratchFolder scratch_;
    std::string file_;
    std::string folder_;
};

// A grant that cannot be built (an identifier that is no valid one) leaves the list as it was.
TEST_F(GrantAccessTest, InvalidIdentifierFailsAndChangesNothing) {
    const std::vector<BYTE> before = FileDescriptor(file_);
    ASSERT_FALSE(before.empty());
    SID invalid = {};
    EXPECT_FALSE(GrantSidAccess(file_.c_str(), &invalid, GENERIC_ALL));
    EXPECT_EQ(before, FileDescriptor(file_));
}

TEST_F(GrantAccessTest, MissingObjectFails) {
    XC_WorldSid world;
    SetLastError(kMarker);
    EXPECT_FALSE(GrantSidAccess(scratch_.Child("missing.exe").c_str(), world.Get(), GENERIC_ALL));
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), GetLastError());
    SetLastError(kMarker);
    EXPECT_FALSE(GrantSidAccess(scratch_.Child("missing\\a.exe").c_str(), world.Get(), GENERIC_ALL));
    EXPECT_EQ(DWORD(ERROR_PATH_NOT_FOUND), GetLastError());
}

TEST(WorldSidTest, IsTheWorldGroup) {
    XC_WorldSid world;
    ASSERT_TRUE(IsValidSid(world.Get()));
    EXPECT_EQ(kEveryone, SidText(world.Get()));
}

// By identifier no account name is looked up, so the grant works whatever the world group is
// called in the system's language.
TEST_F(GrantAccessTest, GrantsToTheWorldGroupByIdentifier) {
    XC_WorldSid world;
    for (const std::string* path : {&file_, &folder_}) {
        SCOPED_TRACE(*path);
        EXPECT_TRUE(GrantSidAccess(path->c_str(), world.Get(), GENERIC_ALL));
    }
    SetLastError(kMarker);
    EXPECT_FALSE(GrantSidAccess(scratch_.Child("missing.exe").c_str(), world.Get(), GENERIC_ALL));
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_FALSE(GrantSidAccess(nullptr, world.Get(), GENERIC_ALL));
    EXPECT_FALSE(GrantSidAccess(file_.c_str(), nullptr, GENERIC_ALL));
}

TEST_F(GrantAccessTest, GrantsThroughAHandleThatMayChangeTheList) {
    XC_WorldSid world;
    HANDLE writable = CreateFileA(file_.c_str(), GENERIC_WRITE | READ_CONTROL | WRITE_DAC, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writable);
    EXPECT_TRUE(GrantHandleAccess(writable, world.Get(), GENERIC_ALL));
    CloseHandle(writable);

    // Without WRITE_DAC the list cannot be changed: false, and the file keeps its list.
    const std::vector<BYTE> before = FileDescriptor(file_);
    HANDLE readOnly = CreateFileA(file_.c_str(), GENERIC_READ | READ_CONTROL, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, readOnly);
    SetLastError(kMarker);
    EXPECT_FALSE(GrantHandleAccess(readOnly, world.Get(), GENERIC_ALL));
    EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), GetLastError());
    CloseHandle(readOnly);
    EXPECT_EQ(before, FileDescriptor(file_));
    EXPECT_FALSE(GrantHandleAccess(INVALID_HANDLE_VALUE, world.Get(), GENERIC_ALL));
}

}  // namespace
