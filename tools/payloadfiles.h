// tarvik-payload: the loading and saving its commands share, with one message per failure.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class XC_ExeTailHelper;

// A command's failure: "tarvik-payload: <message>" on standard error; returns the exit code 1.
int Fail(const std::string& message);
// Loads a plain stub to put a payload behind; the reason when it cannot be read, is empty or
// carries a payload already, and an empty text otherwise.
std::string LoadStub(const char* path, XC_ExeTailHelper* archive);
// Loading and saving show a progress line on a terminal (progressline.h).
// Loads an installer and insists on a payload; the reason when not, an empty text otherwise.
std::string LoadInstaller(const char* path, XC_ExeTailHelper* archive);
// How the payload is sealed: deflated, or compressed with Zstandard at a level, on `threads`
// threads (0: one per processor).
struct Sealing {
    uint32_t threads = 0;
    int zstd_level = 0;  // 0: deflate; 1 to kZstdMaxLevel (zstdimage.h)
};
// Writes archive as the installer out; the reason when that fails, an empty text otherwise.
std::string SaveInstaller(XC_ExeTailHelper* archive, const char* out, const Sealing& sealing);
// The loaded payload member's compression, as list and verify print it.
const char* MethodName(const XC_ExeTailHelper& archive);
// Whether out may be written: the reason when it exists and is not a regular file, or is one
// of the inputs (whose bytes a failed write must never take with it); an empty text otherwise.
std::string CheckOutput(const char* out, const std::vector<const char*>& inputs);
