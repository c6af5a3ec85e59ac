// tarvik-payload: lists, extracts and packs the payload behind an installer executable, and
// builds and verifies the installer the builder builds. This file reads the command line; each
// job lives in a file of its own (payloadcommands, payloadbuild, payloadverify), over the
// shared loading and saving of payloadfiles. Exit code 0 on success, 1 with a one-line message
// on standard error otherwise (verify: its problems on standard output).
#include <cstdlib>
#include <string>

#include "payloadbuild.h"
#include "payloadcommands.h"
#include "payloadfiles.h"
#include "payloadverify.h"

namespace {

const char kUsage[] =
    "usage: tarvik-payload list FILE | extract FILE KEY OUT | pack [-j N] STUB OUT KEY=PATH... | "
    "build [-j N] STUB OUT --app DIR --drivers DIR --language ZIP | verify [--strict] FILE";

// "-j N" in front of the arguments: how many threads deflate the payload (1 to 256); left as 0,
// one per processor, without it. False for a count that is no such number.
bool TakeThreads(int* count, char*** args, uint32_t* threads) {
    if (*count < 1 || std::string((*args)[0]) != "-j") return true;
    if (*count < 2) return false;
    char* end = nullptr;
    const long value = std::strtol((*args)[1], &end, 10);
    if (*end != 0 || value < 1 || value > 256) return false;
    *threads = uint32_t(value);
    *count -= 2;
    *args += 2;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    int count = argc > 1 ? argc - 2 : 0;
    char** args = argv + 2;
    if (command == "list" && count == 1) return ListPayload(args[0]);
    if (command == "extract" && count == 3) return ExtractEntry(args[0], args[1], args[2]);
    if (command == "verify" && count == 1) return VerifyInstaller(args[0], MissingFixed::kAllowed);
    if (command == "verify" && count == 2 && std::string(args[0]) == "--strict")
        return VerifyInstaller(args[1], MissingFixed::kProblem);
    uint32_t threads = 0;
    if (command == "pack" && TakeThreads(&count, &args, &threads) && count >= 2)
        return PackFiles(args[0], args[1], count - 2, args + 2, threads);
    BuildOptions build;
    if (command == "build" && TakeThreads(&count, &args, &build.threads) && ParseBuildOptions(count, args, &build))
        return BuildInstaller(build);
    return Fail(kUsage);
}
