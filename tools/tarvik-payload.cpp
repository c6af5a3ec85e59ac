// tarvik-payload: lists, extracts and packs the payload behind an installer executable.
//   tarvik-payload list FILE                  stub size and entry count, then "key<TAB>size" per entry
//   tarvik-payload extract FILE KEY OUT       writes one entry's bytes to OUT
//   tarvik-payload pack STUB OUT KEY=PATH...  writes STUB followed by a payload of those files
//   tarvik-payload build STUB OUT --app DIR --drivers DIR --language ZIP
//                                             writes the installer the builder writes from these
// Exit code 0 on success, 1 with a one-line message on standard error otherwise.
#include <cstdio>
#include <cstring>
#include <string>

#include "payloadbuild.h"
#include "xc_exetailhelper.h"

using Failure = XC_ExeTailHelper::Failure;

int Fail(const std::string& message) {
    std::fprintf(stderr, "tarvik-payload: %s\n", message.c_str());
    return 1;
}

std::string LoadStub(const char* path, XC_ExeTailHelper* archive) {
    if (!archive->LoadFromExe(path)) {
        if (archive->LastFailure() == Failure::kNoMemory) return std::string("not enough memory to load ") + path;
        return std::string("cannot read ") + path;
    }
    if (!archive->IsEmpty()) return std::string("stub already carries a payload: ") + path;
    // Readers never look for the payload at offset 0: behind an empty stub it would be lost.
    if (archive->Stub().size == 0) return std::string("empty stub: ") + path;
    return std::string();
}

std::string SaveInstaller(const XC_ExeTailHelper& archive, const char* out) {
    if (archive.SaveToExe(out)) return std::string();
    if (archive.LastFailure() == Failure::kNoMemory) return std::string("not enough memory to write ") + out;
    if (archive.LastFailure() == Failure::kTooLarge)
        return std::string("payload too large for ") + out + " (4 GiB or more)";
    return std::string("cannot write ") + out;
}

namespace {

// Keys are printed one per line with a tab before the size: tabs, line breaks, other control
// bytes and the backslash itself are written as escapes, so no key forges a line or drives
// the terminal.
std::string Escaped(const std::string& key) {
    std::string out;
    for (unsigned char c : key) {
        char escape[8];
        if (c == '\\')
            out += "\\\\";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c < 0x20 || c == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            out += escape;
        } else
            out += char(c);
    }
    return out;
}

// Loads FILE and insists on a payload; `error` says why not.
bool LoadInstaller(const char* path, XC_ExeTailHelper* archive, std::string* error) {
    if (archive->LoadFromExe(path)) {
        if (!archive->IsEmpty()) return true;
        *error = std::string("no payload in ") + path;
        return false;
    }
    switch (archive->LastFailure()) {
        case Failure::kNoMemory:
            *error = std::string("not enough memory to load ") + path;
            break;
        case Failure::kTooLarge:
            *error = std::string("cannot read ") + path + " (4 GiB or more)";
            break;
        case Failure::kDamaged:
            *error = std::string("damaged payload in ") + path;
            break;
        default:
            *error = std::string("cannot read ") + path;
            break;
    }
    return false;
}

int List(const char* path) {
    XC_ExeTailHelper archive;
    std::string error;
    if (!LoadInstaller(path, &archive, &error)) return Fail(error);
    unsigned count = 0;
    archive.ForEachEntry([&](const std::string&, const XC_MemSpace&) { ++count; });
    std::printf("stub %u bytes, %u entries\n", archive.Stub().size, count);
    archive.ForEachEntry([](const std::string& key, const XC_MemSpace& data) {
        std::printf("%s\t%u\n", Escaped(key).c_str(), data.size);
    });
    return 0;
}

int Extract(const char* path, const char* key, const char* out) {
    XC_ExeTailHelper archive;
    std::string error;
    if (!LoadInstaller(path, &archive, &error)) return Fail(error);
    if (!archive.HasEntry(key)) return Fail(std::string("no entry ") + key + " in " + path);
    if (!archive.ExtractToFile(key, out)) return Fail(std::string("cannot write ") + out);
    return 0;
}

const char* AddFailure(Failure failure) {
    switch (failure) {
        case Failure::kBadKey:
            return "repeated key";
        case Failure::kTooLarge:
            return "a file of 4 GiB or more does not fit an entry";
        case Failure::kNoMemory:
            return "not enough memory";
        default:
            return "unreadable file";
    }
}

int Pack(const char* stub, const char* out, int count, char** pairs) {
    XC_ExeTailHelper archive;
    const std::string loadError = LoadStub(stub, &archive);
    if (!loadError.empty()) return Fail(loadError);
    for (int i = 0; i < count; ++i) {
        const char* equals = std::strchr(pairs[i], '=');
        if (!equals || equals == pairs[i]) return Fail(std::string("expected KEY=PATH, got ") + pairs[i]);
        const std::string key(pairs[i], static_cast<size_t>(equals - pairs[i]));
        if (!archive.AddFile(key.c_str(), equals + 1))
            return Fail("cannot add " + key + " from " + (equals + 1) + " (" + AddFailure(archive.LastFailure()) + ")");
    }
    const std::string saveError = SaveInstaller(archive, out);
    return saveError.empty() ? 0 : Fail(saveError);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "list" && argc == 3) return List(argv[2]);
    if (command == "extract" && argc == 5) return Extract(argv[2], argv[3], argv[4]);
    if (command == "pack" && argc >= 4) return Pack(argv[2], argv[3], argc - 4, argv + 4);
    if (command == "build") return BuildInstaller(argc - 2, argv + 2);
    return Fail(
        "usage: tarvik-payload list FILE | extract FILE KEY OUT | pack STUB OUT KEY=PATH... | "
        "build STUB OUT --app DIR --drivers DIR --language ZIP");
}
