// tarvik-payload list, extract and pack.
#include "payloadcommands.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "payloadfiles.h"
#include "wholefile.h"
#include "xc_exetailhelper.h"

namespace {

using Failure = XC_ExeTailHelper::Failure;

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

}  // namespace

int ListPayload(const char* path) {
    XC_ExeTailHelper archive;
    const std::string error = LoadInstaller(path, &archive);
    if (!error.empty()) return Fail(error);
    unsigned count = 0;
    archive.ForEachEntry([&](const std::string&, const XC_MemSpace&) { ++count; });
    std::printf("stub %u bytes, %u entries, %s\n", archive.Stub().size, count, MethodName(archive));
    archive.ForEachEntry([](const std::string& key, const XC_MemSpace& data) {
        std::printf("%s\t%u\n", Escaped(key).c_str(), data.size);
    });
    return 0;
}

int ExtractEntry(const char* path, const char* key, const char* out) {
    XC_ExeTailHelper archive;
    const std::string error = LoadInstaller(path, &archive);
    if (!error.empty()) return Fail(error);
    const XC_MemSpace* entry = archive.FindEntry(key);
    if (!entry) return Fail(std::string("no entry ") + key + " in " + path);
    const std::string outputError = CheckOutput(out, {path});
    if (!outputError.empty()) return Fail(outputError);
    const FilePiece piece = {entry->data, entry->size};
    if (!WritePiecesToFile(out, &piece, 1)) return Fail(std::string("cannot write ") + out);
    return 0;
}

int PackFiles(const char* stub, const char* out, int count, char** pairs, const Sealing& sealing) {
    XC_ExeTailHelper archive;
    const std::string loadError = LoadStub(stub, &archive);
    if (!loadError.empty()) return Fail(loadError);
    // Without entries the "installer" would be a plain copy of the stub: a builder.
    if (count == 0) return Fail("nothing to pack: give at least one KEY=PATH");
    std::vector<const char*> inputs = {stub};
    for (int i = 0; i < count; ++i) {
        const char* equals = std::strchr(pairs[i], '=');
        if (!equals || equals == pairs[i]) return Fail(std::string("expected KEY=PATH, got ") + pairs[i]);
        const std::string key(pairs[i], static_cast<size_t>(equals - pairs[i]));
        if (!archive.AddFileForSaving(key.c_str(), equals + 1))
            return Fail("cannot add " + key + " from " + (equals + 1) + " (" + AddFailure(archive.LastFailure()) + ")");
        inputs.push_back(equals + 1);
    }
    const std::string outputError = CheckOutput(out, inputs);
    if (!outputError.empty()) return Fail(outputError);
    const std::string saveError = SaveInstaller(&archive, out, sealing);
    return saveError.empty() ? 0 : Fail(saveError);
}
