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

namespace {

int Fail(const std::string& message) {
    std::fprintf(stderr, "tarvik-payload: %s\n", message.c_str());
    return 1;
}

bool Readable(const char* path) {
    std::FILE* file = std::fopen(path, "rb");
    if (file) std::fclose(file);
    return file != nullptr;
}

// Loads FILE and insists on a payload; `error` says why not.
bool LoadInstaller(const char* path, XC_ExeTailHelper* archive, std::string* error) {
    if (!Readable(path)) {
        *error = std::string("cannot read ") + path;
        return false;
    }
    if (!archive->LoadFromExe(path)) {
        *error = std::string("damaged payload in ") + path;
        return false;
    }
    if (archive->IsEmpty()) {
        *error = std::string("no payload in ") + path;
        return false;
    }
    return true;
}

int List(const char* path) {
    XC_ExeTailHelper archive;
    std::string error;
    if (!LoadInstaller(path, &archive, &error)) return Fail(error);
    unsigned count = 0;
    archive.ForEachEntry([&](const std::string&, const XC_MemSpace&) { ++count; });
    std::printf("stub %u bytes, %u entries\n", archive.Stub().size, count);
    archive.ForEachEntry(
        [](const std::string& key, const XC_MemSpace& data) { std::printf("%s\t%u\n", key.c_str(), data.size); });
    return 0;
}

int Extract(const char* path, const char* key, const char* out) {
    XC_ExeTailHelper archive;
    std::string error;
    if (!LoadInstaller(path, &archive, &error)) return Fail(error);
    XC_MemSpace probe;
    if (!archive.GetEntry(key, &probe)) return Fail(std::string("no entry ") + key + " in " + path);
    if (!archive.ExtractToFile(key, out)) return Fail(std::string("cannot write ") + out);
    return 0;
}

int Pack(const char* stub, const char* out, int count, char** pairs) {
    XC_ExeTailHelper archive;
    if (!Readable(stub) || !archive.LoadFromExe(stub)) return Fail(std::string("cannot read ") + stub);
    if (!archive.IsEmpty()) return Fail(std::string("stub already carries a payload: ") + stub);
    for (int i = 0; i < count; ++i) {
        const char* equals = std::strchr(pairs[i], '=');
        if (!equals || equals == pairs[i]) return Fail(std::string("expected KEY=PATH, got ") + pairs[i]);
        const std::string key(pairs[i], static_cast<size_t>(equals - pairs[i]));
        if (!archive.AddFile(key.c_str(), equals + 1))
            return Fail("cannot add " + key + " from " + (equals + 1) + " (unreadable file or repeated key)");
    }
    if (!archive.SaveToExe(out)) return Fail(std::string("cannot write ") + out);
    return 0;
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
