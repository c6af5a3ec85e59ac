// A program the test starts and ends again, for tests that need a process running from a folder.
#pragma once

#include <windows.h>

#include <string>

class StartedProgram {
public:
    // Starts path with the command-line tail arguments; Started() tells whether it runs.
    explicit StartedProgram(const std::string& path, const std::string& arguments = "30") {
        std::string line = "\"" + path + "\" " + arguments;
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        if (CreateProcessA(path.c_str(), &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                           &startup, &process_)) {
            CloseHandle(process_.hThread);
            process_.hThread = nullptr;
        } else {
            process_ = {};
        }
    }
    ~StartedProgram() { Stop(); }
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;

    bool Started() const { return process_.hProcess != nullptr; }
    DWORD Id() const { return process_.dwProcessId; }
    // Waits at most ms for its end; its exit code, or 0xFFFFFFFF when it has not ended.
    DWORD WaitForExit(DWORD ms) {
        DWORD code = 0xFFFFFFFF;
        if (process_.hProcess == nullptr || WaitForSingleObject(process_.hProcess, ms) != WAIT_OBJECT_0 ||
            !GetExitCodeProcess(process_.hProcess, &code))
            return 0xFFFFFFFF;
        return code;
    }
    // Ends it and waits at most five seconds for its end.
    void Stop() {
        if (process_.hProcess == nullptr) return;
        TerminateProcess(process_.hProcess, 0);
        WaitForSingleObject(process_.hProcess, 5000);
        CloseHandle(process_.hProcess);
        process_ = {};
    }

private:
    PROCESS_INFORMATION process_ = {};
};
