// The Simplified Chinese language file under the Chinese code page: exact GBK translations.
#include "xc_language.h"
#include "xc_zipfile.h"

#include <gtest/gtest.h>

#include "test_files.h"

namespace {

struct Translation {
    const char* english;
    const char* gbk;
};

const Translation kChinese[] = {
    {"Install Mini Tarvik", "\xB0\xB2\xD7\xB0 Mini Tarvik"},
    {"Please connect Mini Tarvik Device to this PC...",
     "\xC7\xEB\xBD\xAB Mini Tarvik \xC9\xE8\xB1\xB8\xC1\xAC\xBD\xD3\xB5\xBD\xD5\xE2\xCC\xA8\xB5"
     "\xE7\xC4\xD4..."},
    {"Skip Driver Install", "\xCC\xF8\xB9\xFD\xC7\xFD\xB6\xAF\xB0\xB2\xD7\xB0"},
    {"Install Driver and Applications", "\xB0\xB2\xD7\xB0\xC7\xFD\xB6\xAF\xBA\xCD\xD3\xA6\xD3\xC3\xB3\xCC\xD0\xF2"},
    {"Load Mini Tarvik now!", "\xC1\xA2\xBC\xB4\xC6\xF4\xB6\xAF Mini Tarvik\xA3\xA1"},
    {"Installing driver for Mini Tarvik...",
     "\xD5\xFD\xD4\xDA\xCE\xAA Mini Tarvik \xB0\xB2\xD7\xB0\xC7\xFD\xB6\xAF..."},
    {"Ready to install", "\xD7\xBC\xB1\xB8\xB0\xB2\xD7\xB0"},
    {"Installed success!", "\xB0\xB2\xD7\xB0\xB3\xC9\xB9\xA6\xA3\xA1"},
    {"My Mini Tarvik", "\xCE\xD2\xB5\xC4 Mini Tarvik"},
    {"Other Tools", "\xC6\xE4\xCB\xFB\xB9\xA4\xBE\xDF"},
    {"Load Mini Tarvik", "\xC6\xF4\xB6\xAF Mini Tarvik"},
    {"Inkscape (Vektrel)", "Inkscape \xCA\xB8\xC1\xBF\xBB\xE6\xCD\xBC (Vektrel)"},
    {"Copying files %d%%", "\xD5\xFD\xD4\xDA\xB8\xB4\xD6\xC6\xCE\xC4\xBC\xFE %d%%"},
    {"Not supported OS! We support WinXP or Win7 only!",
     "\xB2\xBB\xD6\xA7\xB3\xD6\xB4\xCB\xB2\xD9\xD7\xF7\xCF\xB5\xCD\xB3\xA3\xA1\xBD\xF6\xD6\xA7"
     "\xB3\xD6 WinXP \xBB\xF2 Win7\xA3\xA1"},
    {"Notice", "\xCC\xE1\xCA\xBE"},
    {"Make sure you have installed driver for your Tarvik Device.",
     "\xC7\xEB\xC8\xB7\xC8\xCF\xD2\xD1\xCE\xAA\xC4\xFA\xB5\xC4 Tarvik \xC9\xE8\xB1\xB8\xB0\xB2"
     "\xD7\xB0\xC7\xFD\xB6\xAF\xB3\xCC\xD0\xF2\xA1\xA3"},
    {"Installing...", "\xD5\xFD\xD4\xDA\xB0\xB2\xD7\xB0..."},
    {"Preparing files...", "\xD5\xFD\xD4\xDA\xD7\xBC\xB1\xB8\xCE\xC4\xBC\xFE..."},
    {"Mini Tarvik is installed. Start it with its shortcut on the desktop.",
     "Mini Tarvik \xD2\xD1\xB0\xB2\xD7\xB0\xA1\xA3\xC7\xEB\xD3\xC3\xD7\xC0\xC3\xE6\xC9\xCF\xB5\xC4\xBF\xEC\xBD\xDD\xB7\xBD\xCA\xBD\xC6\xF4\xB6\xAF\xCB\xFC\xA1\xA3"},
};

class ChineseLanguage : public ::testing::Test {
protected:
    void SetUp() override {
        if (GetACP() != 936 || GetSystemDefaultLangID() != 2052)
            GTEST_SKIP() << "no Chinese locale (code page " << GetACP() << ")";
        if (!ReadFileBytes(SAMPLE_LANGUAGE_DIR "/Language_2052.txt", &sample))
            GTEST_SKIP() << "sample language files not reachable";
        ASSERT_TRUE(scratch.Ready());
        file = scratch.Child("Language_2052.txt");
        ASSERT_TRUE(WriteBytes(file, sample));
    }

    ScratchFolder scratch;
    std::string sample;
    std::string file;
};

// The bound on a translation's length never cuts a double-byte character in two: "xy" and
// 2,046 characters fill 4,094 bytes, and the next character would end past 4,095.
TEST_F(ChineseLanguage, LongTranslationIsCutBetweenCharacters) {
    std::string wide;
    while (wide.size() < 6000) wide += "\xBC\xA4";
    ASSERT_TRUE(WriteBytes(file, "[Strings]\r\n{Long}=xy" + wide + "\r\n"));
    XC_Language pack;
    pack.Load(scratch.Path().c_str());
    EXPECT_EQ(("xy" + wide).substr(0, 4094), pack.Translate("Long"));
}

TEST_F(ChineseLanguage, FileForTheSystemLanguageIsChosen) {
    XC_Language pack;
    EXPECT_EQ(2052u, pack.LanguageId);
    pack.Load(scratch.Path().c_str());
    EXPECT_EQ("SimSun", pack.FontName);
    EXPECT_EQ(9, pack.FontSize);
}

TEST_F(ChineseLanguage, EveryInstallerTextHasItsGbkTranslation) {
    XC_Language pack;
    pack.Load(scratch.Path().c_str());
    for (const Translation& t : kChinese) EXPECT_EQ(t.gbk, pack.Translate(t.english)) << t.english;
    std::string after;
    ASSERT_TRUE(ReadFileBytes(file, &after));
    EXPECT_EQ(sample, after);
}

// The profile read, which converts through the code page, gives the same bytes as the preload.
TEST_F(ChineseLanguage, ProfileReadGivesTheSameBytes) {
    const std::string cut = "[Strings]\r\n{Skip}=\r\n";
    const size_t strings = sample.find("[Strings]\r\n");
    ASSERT_NE(std::string::npos, strings);
    ASSERT_TRUE(
        WriteBytes(file, sample.substr(0, strings) + cut + sample.substr(strings + sizeof("[Strings]\r\n") - 1)));
    XC_Language pack;
    pack.Load(scratch.Path().c_str());
    for (const Translation& t : kChinese) EXPECT_EQ(t.gbk, pack.Translate(t.english)) << t.english;
}

TEST_F(ChineseLanguage, MissingTextIsAddedInGbk) {
    XC_Language pack;
    pack.Load(scratch.Path().c_str());
    const char* const text = "\xD0\xC2 New";
    EXPECT_EQ(text, pack.Translate(text));
    std::string after;
    ASSERT_TRUE(ReadFileBytes(file, &after));
    EXPECT_EQ(sample + "{" + text + "}=" + text + "\r\n", after);
}

// The way the installer gets its pack: the archive of both files unpacked into a folder.
TEST_F(ChineseLanguage, PackFromTheLanguageArchive) {
    std::string english;
    ASSERT_TRUE(ReadFileBytes(SAMPLE_LANGUAGE_DIR "/Language_1033.txt", &english));
    const std::string archive = scratch.Child("MyLanguage.zip");
    const std::string folder = scratch.Child("MyLanguage");
    ASSERT_TRUE(WriteArchive(archive, {{"Language_1033.txt", FILE_ATTRIBUTE_ARCHIVE, english},
                                       {"Language_2052.txt", FILE_ATTRIBUTE_ARCHIVE, sample}}));
    ASSERT_TRUE(ProgramZipFile.UnzipToFolder(archive.c_str(), folder.c_str()));
    XC_Language pack;
    pack.Load(folder.c_str());
    for (const Translation& t : kChinese) EXPECT_EQ(t.gbk, pack.Translate(t.english)) << t.english;
}

}  // namespace
