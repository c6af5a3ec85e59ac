// Uninstall.exe with its questions, in an X server: No cancels with exit code 2 and removes
// nothing; a running application is asked to be closed, and Retry after closing it goes on; a
// last message left open for long still leaves no uninstaller behind.
// The questions are found and answered from inside, as message boxes of the uninstaller.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "started_program.h"
#include "uninstall_fixture.h"

#ifndef TARVIK_SLEEPER_EXE
#error "TARVIK_SLEEPER_EXE: the waiting program the tests start"
#endif

namespace {

// The message box of the uninstaller's process with that caption, waited for at most 20 s.
HWND WaitForQuestion(const char* caption) {
    for (int tries = 0; tries < 200; ++tries) {
        HWND box = FindWindowA("#32770", caption);
        if (box != nullptr && IsWindowVisible(box)) return box;
        Sleep(100);
    }
    return nullptr;
}

// The message box's text (its static control has the id 0xFFFF).
std::string QuestionText(HWND box) {
    char text[1024] = {};
    GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));
    return text;
}

// Answers and waits at most ten seconds for the box to go.
bool Answer(HWND box, int button) {
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    for (int tries = 0; tries < 100; ++tries) {
        if (!IsWindow(box)) return true;
        Sleep(100);
    }
    return false;
}

// The install's language differs from the system's, so its file is the one asked.
class UninstallQuestions : public InstallTree {
protected:
    void SetUp() override {
        InstallTree::SetUp();
        if (HasFatalFailure()) return;
        record_.SetLanguage(1031);
        ASSERT_TRUE(WriteText(uninstall_ + "\\Language_1031.txt",
                              "[Strings]\r\n{Uninstall Mini Tarvik}=Mini Tarvik entfernen\r\n"
                              "{Remove Mini Tarvik and all of its components?}=Mini Tarvik entfernen?\r\n"));
        ASSERT_TRUE(record_.Save(RecordFile()));
    }
};

}  // namespace

TEST_F(UninstallQuestions, NoCancelsAndRemovesNothing) {
    StartedProgram uninstaller(Uninstaller(), "");
    ASSERT_TRUE(uninstaller.Started());
    HWND box = WaitForQuestion("Mini Tarvik entfernen");
    ASSERT_NE(nullptr, box);
    EXPECT_EQ("Mini Tarvik entfernen?", QuestionText(box));
    ASSERT_TRUE(Answer(box, IDNO));
    EXPECT_EQ(2u, uninstaller.WaitForExit(20000));
    ExpectNothingRemoved();
}

TEST_F(UninstallQuestions, RetryAfterClosingTheApplicationGoesOn) {
    ASSERT_TRUE(CopyFileA(TARVIK_SLEEPER_EXE, Installed("\\Emberlin.exe").c_str(), FALSE));
    StartedProgram application(Installed("\\Emberlin.exe"));
    ASSERT_TRUE(application.Started());
    StartedProgram uninstaller(Uninstaller(), "");
    ASSERT_TRUE(uninstaller.Started());
    HWND box = WaitForQuestion("Mini Tarvik entfernen");
    ASSERT_NE(nullptr, box);
    ASSERT_TRUE(Answer(box, IDYES));
    box = WaitForQuestion("Mini Tarvik entfernen");
    ASSERT_NE(nullptr, box);
    // Untranslated in this file: the English text.
    EXPECT_EQ("Mini Tarvik is running. Close it, then press Retry.", QuestionText(box));
    // Retry while it still runs asks again, and nothing has gone yet.
    ASSERT_TRUE(Answer(box, IDRETRY));
    box = WaitForQuestion("Mini Tarvik entfernen");
    ASSERT_NE(nullptr, box);
    EXPECT_EQ("Mini Tarvik is running. Close it, then press Retry.", QuestionText(box));
    ExpectNothingRemoved();
    application.Stop();
    ASSERT_TRUE(Answer(box, IDRETRY));
    box = WaitForQuestion("Mini Tarvik entfernen");
    ASSERT_NE(nullptr, box);
    EXPECT_EQ("Mini Tarvik was removed.", QuestionText(box));
    ASSERT_TRUE(Answer(box, IDOK));
    EXPECT_EQ(0u, uninstaller.WaitForExit(20000));
    EXPECT_FALSE(Exists(Installed("\\Emberlin.exe")));
    EXPECT_FALSE(Exists(uninstall_ + "\\Language_1031.txt"));
    EXPECT_FALSE(EntryExists());
}

// The last message may stay open for long (five minutes here, five times what the copy that
// removes the uninstaller once waited): the uninstaller's file and folder still go once it is
// closed.
TEST_F(UninstallQuestions, ALastMessageLeftOpenForLongStillLeavesNoUninstaller) {
    StartedProgram uninstaller(Uninstaller(), "");
    ASSERT_TRUE(uninstaller.Started());
    HWND box = WaitForQuestion("Mini Tarvik entfernen");
    ASSERT_NE(nullptr, box);
    ASSERT_TRUE(Answer(box, IDYES));
    box = WaitForQuestion("Mini Tarvik entfernen");
    ASSERT_NE(nullptr, box);
    EXPECT_EQ("Mini Tarvik was removed.", QuestionText(box));
    Sleep(5 * 60 * 1000);
    ASSERT_TRUE(IsWindow(box));
    ASSERT_TRUE(Answer(box, IDOK));
    EXPECT_EQ(0u, uninstaller.WaitForExit(20000));
    EXPECT_TRUE(GoneSoon(Uninstaller()));
    EXPECT_TRUE(GoneSoon(uninstall_));
}
