// The arguments after the program name, as the installer tells the window from the
// unattended install: the program's path quoted or not, blanks around the arguments dropped.
#include <gtest/gtest.h>

#include "unattended.h"

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

}  // namespace
