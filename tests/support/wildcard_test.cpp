// File-name filters: '?', '*', ASCII case folding and pattern lists split at ';' and '|'.
#include "wildcard.h"

#include <gtest/gtest.h>

namespace {

struct MatchCase {
    const char* name;
    const char* list;
    bool matches;
};

void PrintTo(const MatchCase& c, std::ostream* out) { *out << '"' << c.name << "\" against \"" << c.list << '"'; }

class MatchPatternListTest : public testing::TestWithParam<MatchCase> {};

TEST_P(MatchPatternListTest, Decides) {
    const MatchCase& c = GetParam();
    EXPECT_EQ(c.matches, MatchPatternList(c.name, c.list));
}

// The builder's exclusion list and its neighbours.
INSTANTIATE_TEST_SUITE_P(
    ExclusionList, MatchPatternListTest,
    testing::Values(MatchCase{"a.TDS", "*.tds|*.log", true}, MatchCase{"build.log", "*.tds|*.log", true},
                    MatchCase{".log", "*.tds|*.log", true}, MatchCase{"log", "*.tds|*.log", false},
                    MatchCase{"a.tdsx", "*.tds|*.log", false}, MatchCase{"a.tds.bak", "*.tds|*.log", false},
                    MatchCase{"Emberlin.exe", "*.tds|*.log", false}, MatchCase{"ds", "*.tds", false}));

// Empty patterns from doubled or outer separators are ignored, not matched as "".
INSTANTIATE_TEST_SUITE_P(Separators, MatchPatternListTest,
                         testing::Values(MatchCase{"x.log", ";;*.log;", true}, MatchCase{"x.txt", ";;*.log;", false},
                                         MatchCase{"", ";;*.log;", false}, MatchCase{"", "", false},
                                         MatchCase{"", ";|", false}, MatchCase{"b.txt", "*.log;b.txt|c", true},
                                         MatchCase{"c", "*.log;b.txt|c", true}));

// Two stars: the part between them floats, the fixed ends are tested on their own.
INSTANTIATE_TEST_SUITE_P(InnerPart, MatchPatternListTest,
                         testing::Values(MatchCase{"abc", "a*b*c", true}, MatchCase{"axxbyyc", "a*b*c", true},
                                         MatchCase{"acb", "a*b*c", false}, MatchCase{"ac", "a*b*c", false},
                                         MatchCase{"aXbc", "a*x*c", true}, MatchCase{"aYbc", "a*x*c", false},
                                         MatchCase{"xa**by", "*a**b*", true}, MatchCase{"a*b", "*a**b*", false},
                                         MatchCase{"aba", "ab*ba", true}));

// Without a star the lengths must agree; '?' takes exactly one character.
INSTANTIATE_TEST_SUITE_P(NoStar, MatchPatternListTest,
                         testing::Values(MatchCase{"README", "readme", true}, MatchCase{"readme1", "readme", false},
                                         MatchCase{"a1c", "a?c", true}, MatchCase{"ac", "a?c", false},
                                         MatchCase{"", "*", true}, MatchCase{"anything.at.all", "*", true}));

// Only ASCII letters fold: the bytes of GBK names and other symbols compare exactly.
INSTANTIATE_TEST_SUITE_P(CaseFolding, MatchPatternListTest,
                         testing::Values(MatchCase{"\xBC\xA4\xB9\xE2.LOG", "*.log", true},
                                         MatchCase{"\xBC\xA4\xB9\xE2", "\xBC\xA4*", true},
                                         MatchCase{"\xBC\xA4\xB9\xE2", "\x9C\xA4*", false}, MatchCase{"[", "{", false},
                                         MatchCase{"@", "`", false}));

TEST(MatchPatternList, MissingTextsGiveFalse) {
    EXPECT_FALSE(MatchPatternList(nullptr, "*"));
    EXPECT_FALSE(MatchPatternList("a", nullptr));
    EXPECT_FALSE(MatchPattern(nullptr, "*"));
    EXPECT_FALSE(MatchPattern("a", nullptr));
}

}  // namespace
