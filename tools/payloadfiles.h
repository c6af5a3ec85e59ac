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
// Writes archive as the installer out, deflated on `threads` threads (0: one per processor);
// the reason when that fails, an empty text otherwise.
std::string SaveInstaller(XC_ExeTailHelper* archive, const char* out, uint32_t threads);
// Whether out may be written: the reason when it exists and is not a regular file, or is one
// of the inputs (whose bytes a failed write must never take with it); an empty text otherwise.
std::string CheckOutput(const char* out, const std::vector<const char*>& inputs);
