// tarvik-payload build: the builder's job for release pipelines, without Windows.
#pragma once

#include <string>

class XC_ExeTailHelper;

// Shared by the tool's commands:
// A command's failure: "tarvik-payload: <message>" on standard error; returns the exit code 1.
int Fail(const std::string& message);
// Loads a plain stub to put a payload behind; the reason when it cannot be read, is empty or
// carries a payload already, and an empty text otherwise.
std::string LoadStub(const char* path, XC_ExeTailHelper* archive);
// Writes archive as the installer out; the reason when that fails, an empty text otherwise.
std::string SaveInstaller(const XC_ExeTailHelper& archive, const char* out);

// build STUB OUT --app DIR --drivers DIR --language ZIP (argv after "build"); exit code.
int BuildInstaller(int argc, char** argv);
