// upd64.exe where the system folder's NewDev.dll is the recording stand-in: Wine's own entry
// never fails, so the failure and restart answers of a real system come from the recorder.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "upd64_fixture.h"

namespace {

TEST_F(Upd64Test, FailureAndRestartAnswersOfTheSystem) {
    const std::string log = folder_.Path() + "\\calls.txt";
    ScopedEnv record("TARVIK_NEWDEV_LOG", log.c_str());
    const std::string arguments = "\"USB\\Vid_067b&Pid_2303\" \"C:\\t\\2303\\ser2pl.inf\"";
    {
        ScopedEnv answer("TARVIK_NEWDEV_ANSWER", "fail 3758096907");
        EXPECT_EQ(Run(arguments), 3u);
        EXPECT_NE(Errors().find("error 3758096907"), std::string::npos) << Errors();
    }
    {
        ScopedEnv answer("TARVIK_NEWDEV_ANSWER", "reboot");
        EXPECT_EQ(Run(arguments), kRestartRequired);
    }
    EXPECT_EQ(Run(arguments, true), 0u);
    const std::string call = "none|USB\\Vid_067b&Pid_2303|C:\\t\\2303\\ser2pl.inf|0|reboot\n";
    EXPECT_EQ(FileContents(log), call + call + call);
}

}  // namespace
