// Mode selection at start-up: own file first, "SetupTarvik.exe" in the current folder only when
// the own file cannot be read; and the same load behind the window, which hands the language
// archive over before the rest.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "scratch_folder.h"
#include "startup.h"
#include "test_installer.h"
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

// How many times the loader posted `message` to a window of this thread: waits up to `ms` for
// the first, then 100 ms more for a second.
int PostedWithin(HWND window, UINT message, DWORD ms) {
    int count = 0;
    DWORD start = GetTickCount();
    for (bool more = true; more;) {
        MSG posted;
        while (PeekMessageA(&posted, window, message, message, PM_REMOVE)) {
            if (count++ == 0) start = GetTickCount(), ms = 100;
        }
        more = GetTickCount() - start < ms;
        if (more) Sleep(10);
    }
    return count;
}

// The window opens on the language archive while the rest is held back; an installer whose
// archive is not the first record opens it only after the whole load; damage behind the
// archive shows at the end of the load. The end is posted once, whenever it is asked for.
TEST_F(StartupMode, LoaderHandsTheLanguageArchiveOverBeforeTheRest) {
    const UINT kLoaded = WM_APP + 7;
    HWND window = CreateWindowExA(0, "STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    const struct {
        const char* what;
        TestPayload layout;
        bool early;  // the window may open before the rest is in
        StartMode end;
    } cases[] = {
        {"language first", TestPayload::LanguageFirst, true, StartMode::Installer},
        {"damaged behind the language archive", TestPayload::DamagedBehindLanguage, true, StartMode::Failed},
        {"older installer in key order", TestPayload::KeyOrder, false, StartMode::Installer},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(WriteTestInstaller(Path("own.exe"), c.layout, "language archive"));
        XC_ExeTailHelper payload;
        LoadGate gate;
        TPayloadLoader loader(&payload, Path("own.exe"), [&] { gate.Hold(); });
        EXPECT_EQ(StartMode::Installer, loader.WaitForWindow());
        ASSERT_NE(nullptr, loader.Language());
        EXPECT_EQ("language archive",
                  std::string(reinterpret_cast<const char*>(loader.Language()->data), loader.Language()->size));
        loader.PostWhenDone(window, kLoaded);
        if (c.early) {
            // Held in the middle of the load: nothing ends until the gate opens.
            EXPECT_EQ(0, PostedWithin(window, kLoaded, 200));
            EXPECT_TRUE(gate.Held());
            gate.Release();
        }
        EXPECT_EQ(1, PostedWithin(window, kLoaded, c.early ? 3000 : 200));
        EXPECT_EQ(c.early, gate.Held());
        EXPECT_EQ(c.end, loader.Finish());
        EXPECT_EQ(c.end == StartMode::Installer, payload.HasEntry("FILE0"));
        // Asked once the load has ended: posted at once.
        loader.PostWhenDone(window, kLoaded);
        EXPECT_EQ(1, PostedWithin(window, kLoaded, 200));
    }
    DestroyWindow(window);
}

// A load that ends before the window's part is told opens no window unless it selects the
// installer; the builder's stub and an unreadable file end as LoadPayload ends them.
TEST_F(StartupMode, LoaderEndsAsLoadPayloadWhenTheWindowHasNoPart) {
    Write(Path("plain.exe"), nullptr);
    WriteDamaged(Path("damaged.exe"));
    const struct {
        const char* what;
        const char* file;
        StartMode mode;
    } cases[] = {
        {"no payload", "plain.exe", StartMode::Builder},
        {"damaged", "damaged.exe", StartMode::Failed},
        {"nothing to read", "missing.exe", StartMode::Failed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        XC_ExeTailHelper payload;
        bool told = false;
        TPayloadLoader loader(&payload, Path(c.file), [&] { told = true; });
        EXPECT_EQ(c.mode, loader.WaitForWindow());
        EXPECT_EQ(c.mode, loader.Finish());
        EXPECT_FALSE(told);
    }
}

}  // namespace
