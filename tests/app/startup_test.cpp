// Mode selection at start-up: own file first, "SetupTarvik.exe" in the current folder only when
// the own file cannot be read.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "scratch_folder.h"
#include "startup.h"
#include "wholefile.h"
#include "xc_exetailhelper.h"

namespace {

class StartupMode : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.Ready());
        ASSERT_TRUE(CreateDirectoryA(folder_.Child("run").c_str(), nullptr));
        GetCurrentDirectoryA(MAX_PATH, previous_);
        ASSERT_TRUE(SetCurrentDirectoryA(folder_.Child("run").c_str()));
    }
    void TearDown() override { SetCurrentDirectoryA(previous_); }

    std::string Path(const char* name) const { return folder_.Child(name); }

    // A plain "executable", or one with a payload holding a single entry `key`.
    void Write(const std::string& path, const char* key) {
        const std::string stub = Path("plain.exe");
        ASSERT_TRUE(WriteBytesToFile(stub.c_str(), "MZ-stub-bytes", 13, 0));
        XC_ExeTailHelper archive;
        ASSERT_TRUE(archive.LoadFromExe(stub.c_str()));
        if (key) {
            XC_MemSpace data(4, 0);
            ASSERT_TRUE(archive.AddMemory(key, &data));
        }
        ASSERT_TRUE(archive.SaveToExe(path.c_str()));
    }

    // A file whose payload header is there but whose body does not unseal.
    void WriteDamaged(const std::string& path) {
        Write(path, "damaged");
        XC_MemSpace bytes;
        ASSERT_TRUE(ReadWholeFile(path.c_str(), &bytes));
        bytes.data[bytes.size - 3] ^= 0xff;
        ASSERT_TRUE(WriteWholeFile(path.c_str(), &bytes, 0));
    }

    ScratchFolder folder_;
    char previous_[MAX_PATH] = {};
};

bool Holds(const XC_ExeTailHelper& payload, const char* key) {
    XC_MemSpace block;
    return payload.GetEntry(key, &block);
}

TEST_F(StartupMode, OwnPayloadSelectsTheInstallerAndWinsOverTheFallback) {
    Write(Path("own.exe"), "own");
    Write(Path("run\\SetupTarvik.exe"), "fallback");
    XC_ExeTailHelper payload;
    EXPECT_EQ(StartMode::Installer, LoadPayload(&payload, Path("own.exe").c_str()));
    EXPECT_TRUE(Holds(payload, "own"));
    EXPECT_FALSE(Holds(payload, "fallback"));
}

TEST_F(StartupMode, OwnFileWithoutPayloadSelectsTheBuilder) {
    Write(Path("own.exe"), nullptr);
    Write(Path("run\\SetupTarvik.exe"), "fallback");
    XC_ExeTailHelper payload;
    EXPECT_EQ(StartMode::Builder, LoadPayload(&payload, Path("own.exe").c_str()));
    EXPECT_TRUE(payload.IsEmpty());
}

TEST_F(StartupMode, UnreadableOwnFileFallsBackToTheCurrentFolder) {
    const struct {
        const char* what;
        const char* fallback_key;
        StartMode expected;
    } cases[] = {
        {"fallback with payload", "fallback", StartMode::Installer},
        {"fallback without payload", nullptr, StartMode::Builder},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Write(Path("run\\SetupTarvik.exe"), c.fallback_key);
        XC_ExeTailHelper payload;
        EXPECT_EQ(c.expected, LoadPayload(&payload, Path("missing.exe").c_str()));
        EXPECT_EQ(c.fallback_key != nullptr, Holds(payload, "fallback"));
    }
}

// A truncated or damaged download must not run the older installer or the plain stub (the
// builder) that lies beside it.
TEST_F(StartupMode, DamagedOwnPayloadFailsWhateverLiesBesideIt) {
    for (const char* fallback_key : {"fallback", static_cast<const char*>(nullptr)}) {
        SCOPED_TRACE(fallback_key ? "older installer beside it" : "plain stub beside it");
        WriteDamaged(Path("own.exe"));
        Write(Path("run\\SetupTarvik.exe"), fallback_key);
        XC_ExeTailHelper payload;
        EXPECT_EQ(StartMode::Failed, LoadPayload(&payload, Path("own.exe").c_str()));
        EXPECT_FALSE(Holds(payload, "fallback"));
    }
}

TEST_F(StartupMode, NothingLoadableFails) {
    XC_ExeTailHelper payload;
    EXPECT_EQ(StartMode::Failed, LoadPayload(&payload, ""));
    WriteDamaged(Path("own.exe"));
    EXPECT_EQ(StartMode::Failed, LoadPayload(&payload, Path("own.exe").c_str()));
    WriteDamaged(Path("run\\SetupTarvik.exe"));
    EXPECT_EQ(StartMode::Failed, LoadPayload(&payload, Path("own.exe").c_str()));
    EXPECT_TRUE(payload.IsEmpty());
}

}  // namespace
