// Installers for the tests of the payload's load behind the window: a stub and a payload whose
// first record is the language archive, followed by megabytes that are still unpacking when the
// first record is told; and a gate that holds the loading thread there until the test lets go.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstring>
#include <string>

#include "payloadkeys.h"
#include "wholefile.h"
#include "xc_exetailhelper.h"
#include "xc_handle.h"

// How the test installer's payload lies.
enum class TestPayload {
    LanguageFirst,          // as the builder saves it
    KeyOrder,               // an older installer: the language archive behind the application's files
    DamagedBehindLanguage,  // language first, then a byte of the application's data damaged
};

// Writes an installer with the language archive `language` and 6 MiB of application data
// that deflate cannot shrink (so the damage lies well behind the first record); false when it
// could not.
inline bool WriteTestInstaller(const std::string& path, TestPayload layout, const std::string& language) {
    const std::string stub = path + ".stub";
    XC_ExeTailHelper archive;
    if (!WriteBytesToFile(stub.c_str(), "MZ-stub-bytes", 13, 0) || !archive.LoadFromExe(stub.c_str())) return false;
    DeleteFileA(stub.c_str());
    XC_MemSpace application(6u << 20, XC_MemSpace::kHeap),
        languageArchive(uint32_t(language.size()), XC_MemSpace::kHeap);
    if (application.data == nullptr || languageArchive.data == nullptr) return false;
    uint32_t state = 2463534242u;
    for (uint32_t i = 0; i < application.size; ++i) {
        state ^= state << 13, state ^= state >> 17, state ^= state << 5;
        application.data[i] = uint8_t(state);
    }
    std::memcpy(languageArchive.data, language.data(), language.size());
    if (!archive.AddMemory("FILE0", &application) || !archive.AddMemory(PayloadKey::Language, &languageArchive))
        return false;
    if (layout != TestPayload::KeyOrder) archive.PutFirst(PayloadKey::Language);
    if (!archive.SaveToExe(path.c_str())) return false;
    if (layout != TestPayload::DamagedBehindLanguage) return true;
    XC_MemSpace bytes;
    if (!ReadWholeFile(path.c_str(), &bytes)) return false;
    bytes.data[bytes.size - 2000] ^= 0x20;  // before the ZIP's directory, deep in FILE0
    return WriteWholeFile(path.c_str(), &bytes, 0);
}

// Holds the thread that calls Hold() until Release(), 10 s at most, so that a failing test
// never hangs.
class LoadGate {
public:
    void Hold() {
        held_ = true;
        WaitForSingleObject(open_.Get(), 10000);
    }
    void Release() { SetEvent(open_.Get()); }
    bool Held() const { return held_; }

private:
    XC_KernelHandle open_{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<bool> held_{false};
};
