// tarvik-zip: writes a ZIP archive of the given files, each stored under its own file name,
// with a fixed date, so the same files always give the same bytes (the installer's language
// archive is made this way at build time).
//   tarvik-zip OUT FILE...
// Exit code 0 on success, 1 with a one-line message on standard error otherwise; a failed
// run leaves no archive behind.
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "zip.h"

namespace {

// Deflate level of every archive the installer carries.
const int kLevel = 8;

int Fail(const std::string& message, const char* out) {
    std::fprintf(stderr, "tarvik-zip: %s\n", message.c_str());
    if (out) std::remove(out);
    return 1;
}

bool ReadAll(const char* path, std::vector<char>* bytes) {
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof(buffer), file)) > 0) bytes->insert(bytes->end(), buffer, buffer + got);
    const bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

std::string BaseName(const std::string& path) {
    const size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Fail("usage: tarvik-zip OUT FILE...", nullptr);
    const char* out = argv[1];
    zipFile zip = zipOpen(out, APPEND_STATUS_CREATE);
    if (!zip) return Fail(std::string("cannot write ") + out, nullptr);
    std::set<std::string> names;
    zip_fileinfo info{};
    info.tmz_date.tm_year = 2000;
    info.tmz_date.tm_mday = 1;
    for (int i = 2; i < argc; ++i) {
        std::vector<char> bytes;
        const std::string name = BaseName(argv[i]);
        const char* problem = !ReadAll(argv[i], &bytes)    ? "cannot read "
                              : bytes.size() > UINT32_MAX  ? "too large for an archive member: "
                              : !names.insert(name).second ? "a second file of the same name: "
                                                           : nullptr;
        if (problem) {
            zipClose(zip, nullptr);
            return Fail(problem + std::string(argv[i]), out);
        }
        const bool ok = zipOpenNewFileInZip(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                            kLevel) == ZIP_OK &&
                        zipWriteInFileInZip(zip, bytes.data(), unsigned(bytes.size())) == ZIP_OK &&
                        zipCloseFileInZip(zip) == ZIP_OK;
        if (!ok) {
            zipClose(zip, nullptr);
            return Fail(std::string("cannot write ") + out, out);
        }
    }
    if (zipClose(zip, nullptr) != ZIP_OK) return Fail(std::string("cannot write ") + out, out);
    return 0;
}
