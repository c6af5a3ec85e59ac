// tarvik-payload build: the builder's job for release pipelines, without Windows.
#pragma once

#include <cstdint>

#include "payloadfiles.h"

struct BuildOptions {
    const char* stub = nullptr;
    const char* out = nullptr;
    const char* app = nullptr;
    const char* drivers = nullptr;
    const char* language = nullptr;
    Sealing sealing;
};

// STUB OUT --app DIR --drivers DIR --language ZIP (the arguments after "build"), each option
// once; false when anything is missing, repeated or unknown.
bool ParseBuildOptions(int argc, char** argv, BuildOptions* options);
// Writes the installer; the exit code.
int BuildInstaller(const BuildOptions& options);
