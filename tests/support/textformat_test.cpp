// Formatting through the system's C library: the conversions the product's texts use give the
// same text on Windows (msvcrt) as natively, and no text is cut at any buffer size.
#include <gtest/gtest.h>

#include <string>

#include "textformat.h"

TEST(FormatText, ConversionsTheTextsUse) {
    EXPECT_EQ("\r\n2026-01-05 03:04:09 >> ", FormatText("\r\n%02d-%02d-%02d %02d:%02d:%02d >> ", 2026, 1, 5, 3, 4, 9));
    EXPECT_EQ("R07 F12", FormatText("R%02d F%02d", 7, 12));
    EXPECT_EQ("1.50 GB 2.67 GHz", FormatText("%0.2f GB %0.2f GHz", 1.5, 2.666));
    EXPECT_EQ("3.0.65535.4294967295", FormatText("%u.%u.%u.%u", 3u, 0u, 65535u, 4294967295u));
    EXPECT_EQ("Copying files 42%", FormatText("Copying files %d%%", 42));
    EXPECT_EQ("-7 0x0000BEEF", FormatText("%d 0x%08lX", -7, 0xBEEFul));
    // Double-byte text passes through %s byte for byte.
    EXPECT_EQ("\xD5\xFD\xD4\xDA C:\\", FormatText("%s %s", "\xD5\xFD\xD4\xDA", "C:\\"));
}

TEST(FormatText, LongTextsComeWhole) {
    const std::string long_text(100000, 'x');
    const std::string formatted = FormatText("<%s>", long_text.c_str());
    ASSERT_EQ(long_text.size() + 2, formatted.size());
    EXPECT_EQ('<', formatted.front());
    EXPECT_EQ('>', formatted.back());
}

TEST(FormatText, NothingToFormatGivesAnEmptyText) { EXPECT_EQ("", FormatText("%s", "")); }

// A translated format is used only where it converts what its English original does.
struct SafeFormatCase {
    const char* name;
    const char* translation;
    const char* english;
    bool used;
};

class SafeFormatTest : public testing::TestWithParam<SafeFormatCase> {};

TEST_P(SafeFormatTest, TranslationOnlyWithTheSameConversions) {
    const SafeFormatCase& c = GetParam();
    EXPECT_EQ(c.used ? c.translation : c.english, SafeFormat(c.translation, c.english));
}

const SafeFormatCase kSafeFormatCases[] = {
    {"Same", "\xD5\xFD\xD4\xDA %d%%", "Copying files %d%%", true},
    {"FlagsWidthPrecision", "%-3d MB, %02i MB, %.2s", "%d MB, %d MB, %s", true},
    {"IntegerForString", "%d", "%s", false},
    {"OneMissing", "%d MB needed", "%d MB needed, %d MB free", false},
    {"OneMore", "%d %d", "%d", false},
    {"OtherOrder", "%s %d", "%d %s", false},
    {"FloatingPoint", "%f", "%d", false},
    {"Pointer", "%p", "%d", false},
    {"WideWidth", "%100d", "%d", false},
    {"CutOff", "%d %", "%d", false},
    {"PercentSignsOnly", "100%% done", "done", true},
};

INSTANTIATE_TEST_SUITE_P(Formats, SafeFormatTest, testing::ValuesIn(kSafeFormatCases),
                         [](const testing::TestParamInfo<SafeFormatCase>& info) { return info.param.name; });
