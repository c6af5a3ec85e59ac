// upd64.exe in a 64-bit prefix: a copy started as the installer starts it, judged by its exit
// code and standard error.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "simulated_devices.h"

const DWORD kRestartRequired = ERROR_SUCCESS_REBOOT_REQUIRED;

class Handle {
public:
    explicit Handle(HANDLE handle = nullptr) : handle_(handle) {}
    ~Handle() {
        if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

inline bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// upd64.exe copied into a folder whose name holds a blank, as a user's temporary folder may.
class Upd64Test : public SimulatedDevicesTest {
protected:
    void SetUp() override {
        SimulatedDevicesTest::SetUp();
        ASSERT_FALSE(folder_.Path().empty());
        exe_ = folder_.Path() + "\\upd64.exe";
        ASSERT_TRUE(CopyFileA(TARVIK_UPD64_EXE, exe_.c_str(), FALSE)) << TARVIK_UPD64_EXE;
    }

    // Starts "<exe> <arguments>" (the path quoted or not) in the folder (this program's current
    // folder when empty), waits, returns the exit code; its standard error goes to Errors().
    DWORD Run(const std::string& arguments, bool quotedPath = false, const std::string& folder = std::string()) {
        // A file per run: processes that the driver installation starts may inherit the handle
        // and keep the previous file open.
        errors_ = folder_.Path() + "\\stderr" + std::to_string(++runs_) + ".txt";
        SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
        Handle errors(CreateFileA(errors_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
        if (errors.Get() == INVALID_HANDLE_VALUE) return ~0u;
        std::string line = quotedPath ? "\"" + exe_ + "\"" : exe_;
        if (!arguments.empty()) line += " " + arguments;
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdError = errors.Get();
        PROCESS_INFORMATION process = {};
        if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr,
                            folder.empty() ? nullptr : folder.c_str(), &startup, &process))
            return ~0u;
        Handle thread(process.hThread);
        Handle child(process.hProcess);
        DWORD code = ~0u;
        if (WaitForSingleObject(child.Get(), 60000) == WAIT_OBJECT_0) GetExitCodeProcess(child.Get(), &code);
        return code;
    }

    std::string Errors() const { return FileContents(errors_); }

    ScratchFolder folder_{"upd64 test"};
    std::string exe_;
    std::string errors_;
    int runs_ = 0;
};
