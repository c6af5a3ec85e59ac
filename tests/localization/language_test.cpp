// Language pack loading and lookup on the real private-profile functions.
#include "xc_language.h"

#include <gtest/gtest.h>

#include "test_files.h"
#include "unix_link.h"

namespace {

// The texts the installer shows (the window's four captions, its messages and questions) and
// those of the uninstaller.
const char* const kInstallerTexts[] = {
    "Install Mini Tarvik",
    "Please connect Mini Tarvik Device to this PC...",
    "Skip Driver Install",
    "Install Driver and Applications",
    "Load Mini Tarvik now!",
    "Installing driver for Mini Tarvik...",
    "Ready to install",
    "Installed success!",
    "My Mini Tarvik",
    "Other Tools",
    "Load Mini Tarvik",
    "Inkscape (Vektrel)",
    "Copying files %d%%",
    "Not supported OS! We support WinXP or Win7 only!",
    "Notice",
    "Make sure you have installed driver for your Tarvik Device.",
    "Installing...",
    "Preparing files...",
    "Installation finished with errors. See the log file.",
    "Not enough free disk space: %d MB needed, %d MB free on %s. Free some space and press Retry.",
    "Uninstall Mini Tarvik",
    "Remove Mini Tarvik and all of its components?",
    "Mini Tarvik is running. Close it, then press Retry.",
    "Mini Tarvik was removed.",
    "Mini Tarvik could not be removed completely. See the log file.",
    "Mini Tarvik is installed. Start it with its shortcut on the desktop.",
};

std::string FileName() { return "Language_" + std::to_string(GetSystemDefaultLangID()) + ".txt"; }

// Gives the file a write time no earlier write had, so that a profile cache that keys on the
// write time reads it afresh.
void StampFile(const std::string& path) {
    static WORD minute = 0;
    ++minute;
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    SYSTEMTIME system = {};
    system.wYear = 2001;
    system.wMonth = 1;
    system.wDay = 1 + minute / (24 * 60);
    system.wHour = minute / 60 % 24;
    system.wMinute = minute % 60;
    FILETIME time;
    SystemTimeToFileTime(&system, &time);
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &time));
    CloseHandle(file);
}

class LanguagePack : public ::testing::Test {
protected:
    void SetUp() override {
        if (!scratch.Ready()) GTEST_SKIP() << "no scratch folder";
        file = scratch.Child(FileName());
    }

    // Writes the language file with the given bytes and a write time of its own.
    void Prepare(const std::string& bytes) {
        ASSERT_TRUE(WriteBytes(file, bytes));
        StampFile(file);
    }

    std::string Bytes() {
        std::string bytes;
        EXPECT_TRUE(ReadFileBytes(file, &bytes));
        return bytes;
    }

    ScratchFolder scratch;
    std::string file;
};

TEST_F(LanguagePack, LanguageIdIsTheSystemDefault) { EXPECT_EQ(GetSystemDefaultLangID(), XC_Language().LanguageId); }

TEST_F(LanguagePack, MissingFileBecomesTemplate) {
    XC_Language pack;
    EXPECT_TRUE(pack.Load(scratch.Path().c_str()));
    EXPECT_EQ("Tahoma", pack.FontName);
    EXPECT_EQ(8, pack.FontSize);
    EXPECT_EQ("[Setting]\r\nFontName=Tahoma\r\nFontSize=8\r\n", Bytes());

    EXPECT_EQ("Installing...", pack.Translate("Installing..."));
    const std::string once =
        "[Setting]\r\nFontName=Tahoma\r\nFontSize=8\r\n[Strings]\r\n{Installing...}=Installing...\r\n";
    EXPECT_EQ(once, Bytes());

    EXPECT_EQ("Installing...", pack.Translate("Installing..."));
    EXPECT_EQ(once, Bytes());
    // The second answer comes from memory: a changed file is neither read nor written.
    const std::string changed = "[Strings]\r\n{Installing...}=Other\r\n";
    Prepare(changed);
    EXPECT_EQ("Installing...", pack.Translate("Installing..."));
    EXPECT_EQ(changed, Bytes());
}

TEST_F(LanguagePack, EmptyTextIsNeverWritten) {
    XC_Language pack;
    pack.Load(scratch.Path().c_str());
    const std::string before = Bytes();
    EXPECT_EQ("", pack.Translate(""));
    EXPECT_EQ("", pack.Translate(nullptr));
    EXPECT_EQ(before, Bytes());
}

// Texts the file cannot hold come back unchanged and leave the file as it was.
TEST_F(LanguagePack, InexpressibleTextIsNotWritten) {
    Prepare("[Strings]\r\n{a}=b}=c\r\n{One}=Eins\r\n");
    XC_Language pack;
    pack.Load(scratch.Path().c_str());
    const std::string before = Bytes();
    for (const char* text : {"a}=b", "two\r\nlines", "line\n[Strings]", "cr\rhere"}) {
        EXPECT_EQ(text, pack.Translate(text));
    }
    EXPECT_EQ(before, Bytes());
    EXPECT_EQ("Eins", pack.Translate("One"));
}

TEST_F(LanguagePack, TranslateBeforeLoadReturnsInput) {
    XC_Language pack;
    EXPECT_EQ("Installing...", pack.Translate("Installing..."));
    EXPECT_FALSE(Exists(file));
}

struct Lookup {
    const char* text;
    const char* translation;  // answer while the file is in place
    bool preloaded;           // answered from memory once the file has changed
};

struct PreloadCase {
    const char* name;
    std::string contents;
    std::vector<Lookup> lookups;
};

// Little-endian UTF-16 with byte-order mark, of an ASCII text.
std::string Utf16(const char* text) {
    std::string bytes = "\xFF\xFE";
    for (; *text != '\0'; ++text) {
        bytes += *text;
        bytes += '\0';
    }
    return bytes;
}

const std::string kSetting = "[Setting]\r\nFontName=Tahoma\r\nFontSize=8\r\n";

const PreloadCase kPreloadCases[] = {
    {"empty translation stops the preload",
     kSetting + "[Strings]\r\n{One}=Eins\r\n{Two}=\r\n{Three}=Drei\r\n",
     {{"One", "Eins", true}, {"Three", "Drei", false}, {"Two", "Two", false}}},
    {"last pair without line end",
     kSetting + "[Strings]\r\n{One}=Eins\r\n{Two}=Zwei",
     {{"One", "Eins", true}, {"Two", "Zwei", false}}},
    {"later duplicate wins", kSetting + "[Strings]\r\n{One}=Eins\r\n{One}=Uno\r\n", {{"One", "Uno", true}}},
    {"key differing in case",
     kSetting + "[Strings]\r\n{ONE}=Eins\r\n",
     {{"One", "Eins", false}, {"ONE", "Eins", true}}},
    {"pairs in any section, other lines passed over",
     "; note\r\n[Setting]\r\n{Zero}=Null\r\nFontName=Tahoma\r\n[Strings]\r\n{One}=Eins\r\n",
     {{"Zero", "Null", true}, {"One", "Eins", true}}},
    {"UTF-16 file", Utf16("[Strings]\r\n{One}=Eins\r\n"), {{"One", "Eins", false}}},
};

class Preload : public LanguagePack, public ::testing::WithParamInterface<PreloadCase> {};

TEST_P(Preload, StopRules) {
    const PreloadCase& c = GetParam();
    Prepare(c.contents);
    XC_Language pack;
    pack.Load(scratch.Path().c_str());
    for (const Lookup& lookup : c.lookups) EXPECT_EQ(lookup.translation, pack.Translate(lookup.text)) << lookup.text;

    // A second pack over the same file, which then loses its [Strings]: only preloaded texts
    // keep their translation.
    Prepare(c.contents);
    XC_Language second;
    second.Load(scratch.Path().c_str());
    Prepare(kSetting);
    for (const Lookup& lookup : c.lookups)
        EXPECT_EQ(lookup.preloaded ? lookup.translation : lookup.text, second.Translate(lookup.text)) << lookup.text;
}

INSTANTIATE_TEST_SUITE_P(Files, Preload, ::testing::ValuesIn(kPreloadCases),
                         [](const ::testing::TestParamInfo<PreloadCase>& info) {
                             return "case" + std::to_string(info.index);
                         });

TEST_F(LanguagePack, EmptyTranslationIsRewrittenToItself) {
    Prepare(kSetting + "[Strings]\r\n{One}=Eins\r\n{Two}=\r\n{Three}=Drei\r\n");
    XC_Language pack;
    pack.Load(scratch.Path().c_str());
    EXPECT_EQ("Two", pack.Translate("Two"));
    EXPECT_EQ(kSetting + "[Strings]\r\n{One}=Eins\r\n{Two}=Two\r\n{Three}=Drei\r\n", Bytes());
}

// A language file beside the installer is anybody's: a megabyte of translation is cut to what
// the private-profile reading gives (4,095 bytes).
TEST_F(LanguagePack, LongTranslationsAreBounded) {
    const std::string huge(1 << 20, 'W');
    Prepare(kSetting + "[Strings]\r\n{One}=" + huge + "\r\n{Two}=Zwei\r\n");
    XC_Language pack;
    pack.Load(scratch.Path().c_str());
    EXPECT_EQ(huge.substr(0, 4095), pack.Translate("One"));
    EXPECT_EQ("Zwei", pack.Translate("Two"));
}

TEST_F(LanguagePack, Settings) {
    struct Case {
        const char* setting;
        const char* fontName;
        int fontSize;
        const char* written;  // the [Setting] section afterwards
    } cases[] = {
        {"[Setting]\r\nFontName=SimSun\r\nFontSize=12\r\n", "SimSun", 12,
         "[Setting]\r\nFontName=SimSun\r\nFontSize=12\r\n"},
        {"[Setting]\r\nFontName=Arial\r\nFontSize=-9pt\r\n", "Arial", -9,
         "[Setting]\r\nFontName=Arial\r\nFontSize=-9pt\r\n"},
        {"[Setting]\r\nFontName=\r\nFontSize=big\r\n", "Tahoma", 0, "[Setting]\r\nFontName=Tahoma\r\nFontSize=big\r\n"},
        {"[Setting]\r\nFontName=Arial\r\n", "Arial", 8, "[Setting]\r\nFontName=Arial\r\nFontSize=8\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setting);
        Prepare(c.setting);
        XC_Language pack;
        pack.Load(scratch.Path().c_str());
        EXPECT_EQ(c.fontName, pack.FontName);
        EXPECT_EQ(c.fontSize, pack.FontSize);
        EXPECT_EQ(c.written, Bytes());
    }
}

TEST_F(LanguagePack, EmptyFolderMeansExecutableFolder) {
    char exe[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, exe, MAX_PATH);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, static_cast<DWORD>(MAX_PATH));
    std::string beside(exe, length);
    beside = beside.substr(0, beside.rfind('\\') + 1) + FileName();
    if (Exists(beside)) GTEST_SKIP() << "a language file already lies beside the test";
    for (const char* folder : {"", static_cast<const char*>(nullptr)}) {
        XC_Language pack;
        pack.Load(folder);
        EXPECT_EQ("Ready to install", pack.Translate("Ready to install"));
        std::string bytes;
        EXPECT_TRUE(ReadFileBytes(beside, &bytes));
        EXPECT_NE(std::string::npos, bytes.find("{Ready to install}=Ready to install\r\n"));
        DeleteFileA(beside.c_str());
    }
}

// The file path field holds 259 characters: a longer path is refused without touching it.
TEST_F(LanguagePack, OverlongPathIsRefused) {
    const size_t nameLength = FileName().size() + 1;
    for (size_t total : {259u, 260u, 400u}) {
        SCOPED_TRACE(total);
        const size_t padding = total - nameLength - scratch.Path().size() - 1;
        const std::string folder = scratch.Child(std::string(padding, 'f'));
        const std::string path = folder + "\\" + FileName();
        ASSERT_EQ(total, path.size());
        if (total < 300) {
            ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
        }
        XC_Language pack;
        EXPECT_TRUE(pack.Load(folder.c_str()));
        EXPECT_EQ("Tahoma", pack.FontName);
        EXPECT_EQ(8, pack.FontSize);
        EXPECT_EQ("Notice", pack.Translate("Notice"));
        EXPECT_EQ(total <= 259, Exists(path));
    }
}

// Missing texts are written back as administrator: a language folder that is a link to
// another place is neither read nor written.
TEST_F(LanguagePack, LinkedFolderIsNeitherReadNorWritten) {
    const std::string outside = scratch.Child("outside");
    ASSERT_TRUE(CreateDirectoryA(outside.c_str(), nullptr));
    const std::string linked = scratch.Child("Language");
    const FolderLink link(outside, linked);
    if (!link.Made()) GTEST_SKIP() << "no symbolic links here";
    ASSERT_TRUE(WriteBytes(outside + "\\" + FileName(), kSetting + "[Strings]\r\n{One}=Eins\r\n"));
    XC_Language pack;
    EXPECT_TRUE(pack.Load(linked.c_str()));
    EXPECT_EQ("One", pack.Translate("One"));
    EXPECT_EQ("Two", pack.Translate("Two"));
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(outside + "\\" + FileName(), &bytes));
    EXPECT_EQ(kSetting + "[Strings]\r\n{One}=Eins\r\n", bytes);
}

TEST_F(LanguagePack, EnglishFileIsComplete) {
    std::string sample;
    if (!ReadFileBytes(SAMPLE_LANGUAGE_DIR "/Language_1033.txt", &sample)) {
        GTEST_SKIP() << "sample language files not reachable";
    }
    Prepare(sample);
    XC_Language pack;
    pack.Load(scratch.Path().c_str());
    EXPECT_EQ("Tahoma", pack.FontName);
    EXPECT_EQ(8, pack.FontSize);
    for (const char* text : kInstallerTexts) EXPECT_EQ(text, pack.Translate(text));
    EXPECT_EQ(sample, Bytes());
    // A text added later keeps the translator's notes.
    EXPECT_EQ("New text", pack.Translate("New text"));
    EXPECT_EQ(sample + "{New text}=New text\r\n", Bytes());
}

}  // namespace
