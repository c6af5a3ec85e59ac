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
#include "zstdimage.h"

namespace {

const char kUsage[] =
    "usage: tarvik-payload list FILE | extract FILE KEY OUT | pack [-j N] [--zstd[=LEVEL]] STUB OUT KEY=PATH... | "
    "build [-j N] [--zstd[=LEVEL]] STUB OUT --app DIR --drivers DIR --language ZIP | verify [--strict] FILE";

// A whole number from min to max; false for anything else.
bool TakeNumber(const char* text, long min, long max, long* value) {
    char* end = nullptr;
    *value = std::strtol(text, &end, 10);
    return *text != 0 && *end == 0 && *value >= min && *value <= max;
}

// The options in front of the arguments, in any order: "-j N", how many threads seal the
// payload (1 to 256; left as 0, one per processor, without it), and "--zstd[=LEVEL]". False for
// an option given twice or a value that is no such number.
bool TakeSealing(int* count, char*** args, Sealing* sealing) {
    bool threads = false;
    while (*count > 0) {
        const std::string option = (*args)[0];
        long value = 0;
        if (option == "-j" && !threads) {
            if (*count < 2 || !TakeNumber((*args)[1], 1, 256, &value)) return false;
            sealing->threads = uint32_t(value);
            threads = true;
            *count -= 2;
            *args += 2;
        } else if (option.compare(0, 6, "--zstd") == 0 && sealing->zstd_level == 0) {
            if (option == "--zstd")
                sealing->zstd_level = kZstdDefaultLevel;
            else if (option.compare(0, 7, "--zstd=") != 0 || !TakeNumber(option.c_str() + 7, 1, kZstdMaxLevel, &value))
                return false;
            else
                sealing->zstd_level = int(value);
            *count -= 1;
            *args += 1;
        } else {
            return option != "-j" && option.compare(0, 6, "--zstd") != 0;
        }
    }
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
    Sealing sealing;
    if (command == "pack" && TakeSealing(&count, &args, &sealing) && count >= 2)
        return PackFiles(args[0], args[1], count - 2, args + 2, sealing);
    BuildOptions build;
    if (command == "build" && TakeSealing(&count, &args, &build.sealing) && ParseBuildOptions(count, args, &build))
        return BuildInstaller(build);
    return Fail(kUsage);
}
