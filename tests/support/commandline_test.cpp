// Command lines: the arguments after the program name, as the installer tells the window from
// the unattended install (the program's path quoted or not, blanks around the arguments
// dropped), and their split, as the uninstaller and the 64-bit updater read them.
#include "commandline.h"

#include <gtest/gtest.h>

namespace {

struct CommandLineCase {
    const char* name;
    const char* commandLine;
    const char* arguments;
};

class CommandLineArgumentsTest : public testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLineArgumentsTest, FollowTheProgramName) {
    EXPECT_EQ(GetParam().arguments, CommandLineArguments(GetParam().commandLine));
}

const CommandLineCase kCommandLineCases[] = {
    {"Bare", "SetupTarvik.exe", ""},
    {"BareWithTrailingBlanks", "SetupTarvik.exe  \t ", ""},
    {"QuotedPathWithBlank", "\"C:\\Users\\Tom Li\\Downloads\\SetupTarvik.exe\"", ""},
    {"QuotedPathAndSwitch", "\"C:\\Users\\Tom Li\\Downloads\\SetupTarvik.exe\" /S", "/S"},
    {"QuotedPathNoBlankBeforeSwitch", "\"C:\\x\\SetupTarvik.exe\"/s", "/s"},
    {"UnquotedPathAndSwitch", "C:\\Deploy\\SetupTarvik.exe /s", "/s"},
    {"BlanksAround", "SetupTarvik.exe \t /S \t", "/S"},
    {"TwoSwitches", "SetupTarvik.exe /S /S", "/S /S"},
    {"UnclosedQuote", "\"C:\\x\\SetupTarvik.exe /S", ""},
    {"Empty", "", ""},
};

INSTANTIATE_TEST_SUITE_P(CommandLines, CommandLineArgumentsTest, testing::ValuesIn(kCommandLineCases),
                         [](const testing::TestParamInfo<CommandLineCase>& info) { return info.param.name; });

struct SplitCase {
    const char* name;
    const char* arguments;
    // The expected arguments, each as its text and a '+' after it when it was quoted, joined
    // with '|'.
    const char* split;
};

std::string Joined(const std::vector<CommandArgument>& arguments) {
    std::string joined;
    for (const CommandArgument& argument : arguments)
        joined += (joined.empty() ? "" : "|") + argument.text + (argument.quoted ? "+" : "");
    return joined;
}

class SplitArgumentsTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitArgumentsTest, BlanksSeparateQuotesGroup) {
    EXPECT_EQ(GetParam().split, Joined(SplitArguments(GetParam().arguments)));
}

const SplitCase kSplitCases[] = {
    {"None", "", ""},
    {"OnlyBlanks", " \t ", ""},
    {"Switches", "/S  /CLEANUP\t12", "/S|/CLEANUP|12"},
    {"QuotedWithBlanks", "\"USB\\Vid_067b&Pid_2303\" \"C:\\Temp dir\\ser2pl.inf\"",
     "USB\\Vid_067b&Pid_2303+|C:\\Temp dir\\ser2pl.inf+"},
    {"EmptyQuoted", "\"\" x", "+|x"},
    {"QuotesInside", "a\"b c\"d", "ab cd"},
    {"TwoQuotedPartsAreNotOneQuotedArgument", "\"a\"\"b\"", "ab"},
    {"QuotedThenText", "\"a\"b", "ab"},
    {"UnclosedQuoteRunsToTheEnd", "x \"C:\\t\\ser2pl.inf", "x|C:\\t\\ser2pl.inf"},
};

INSTANTIATE_TEST_SUITE_P(Arguments, SplitArgumentsTest, testing::ValuesIn(kSplitCases),
                         [](const testing::TestParamInfo<SplitCase>& info) { return info.param.name; });

}  // namespace
