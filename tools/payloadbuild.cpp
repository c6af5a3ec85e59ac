// tarvik-payload build: packs the same entries as the builder does (fixed driver and language
// entries, the application folder walked and numbered the same way) onto a plain stub, so a
// release pipeline gets the byte-identical installer from the same inputs without Wine.
#include "payloadbuild.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#ifndef _WIN32
#include <iconv.h>
#endif

#include "apptree.h"
#include "asciicase.h"
#include "xc_exetailhelper.h"

namespace {

// The name as the installer stores it: ANSI text of the Simplified Chinese systems it targets
// (GBK). Folder names here are UTF-8; on Windows the C runtime already gives ANSI names.
bool AnsiName(const std::string& name, std::string* ansi) {
#ifdef _WIN32
    *ansi = name;
    return true;
#else
    iconv_t convert = iconv_open("GBK", "UTF-8");
    if (convert == iconv_t(-1)) return false;
    std::vector<char> out(name.size() * 2 + 1);
    char* in = const_cast<char*>(name.data());
    size_t inLeft = name.size();
    char* next = out.data();
    size_t outLeft = out.size();
    const bool ok = iconv(convert, &in, &inLeft, &next, &outLeft) != size_t(-1) && inLeft == 0;
    iconv_close(convert);
    if (ok) ansi->assign(out.data(), next);
    return ok;
#endif
}

// Windows cannot create names with these characters, nor names that end in a dot or a blank.
bool WindowsName(const std::string& name) {
    for (unsigned char c : name)
        if (c < 0x20 || std::strchr("\\/:*?\"<>|", c)) return false;
    return name.back() != '.' && name.back() != ' ';
}

std::string UpperAscii(std::string name) {
    for (char& c : name) c = AsciiUpper(c);
    return name;
}

// A folder reached through a symbolic link could lead back into the tree: not followed.
bool IsLink(const std::string& path) {
#ifdef _WIN32
    (void)path;
    return false;
#else
    struct stat link = {};
    return lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
#endif
}

// One folder of the application tree; *problem says why a folder cannot be packed.
bool ListFolder(const std::string& folder, std::vector<AppTreeEntry>* entries, std::string* problem) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return false;
    bool ok = true;
    std::set<std::string> upperNames;  // Windows would install two names that differ in case as one file
    while (const dirent* found = readdir(dir)) {
        const std::string name = found->d_name;
        if (name == "." || name == "..") continue;
        const std::string path = folder + "/" + name;
        struct stat target = {};
        AppTreeEntry entry;
        entry.path = path;
        if (stat(path.c_str(), &target) != 0) {
            *problem = "cannot read " + path;
        } else if (!WindowsName(name) || !AnsiName(name, &entry.name)) {
            *problem = "name not storable in the installer (a Windows name in GBK): " + path;
        } else if (!upperNames.insert(UpperAscii(entry.name)).second) {
            *problem = "two names that differ only in case, one file on Windows: " + path;
        } else if (S_ISDIR(target.st_mode) && IsLink(path)) {
            *problem = "symbolic link to a folder (not followed): " + path;
        } else if (!S_ISDIR(target.st_mode) && !S_ISREG(target.st_mode)) {
            *problem = "neither a file nor a folder: " + path;
        } else {
            entry.isFolder = S_ISDIR(target.st_mode);
            entries->push_back(entry);
            continue;
        }
        ok = false;
        break;
    }
    closedir(dir);
    return ok;
}

struct Options {
    const char* app = nullptr;
    const char* drivers = nullptr;
    const char* language = nullptr;
};

bool ParseOptions(int argc, char** argv, Options* options) {
    for (int i = 0; i + 1 < argc; i += 2) {
        const char** slot = std::strcmp(argv[i], "--app") == 0        ? &options->app
                            : std::strcmp(argv[i], "--drivers") == 0  ? &options->drivers
                            : std::strcmp(argv[i], "--language") == 0 ? &options->language
                                                                      : nullptr;
        if (!slot || *slot) return false;
        *slot = argv[i + 1];
    }
    return argc % 2 == 0 && options->app && options->drivers && options->language;
}

// Where a fixed entry's source file is: "drivers\..." below the drivers folder, and the one
// other fixed entry, the language archive, at its own path.
std::string FixedSource(const char* source, const Options& options) {
    const char kDrivers[] = "drivers\\";
    if (std::strncmp(source, kDrivers, sizeof(kDrivers) - 1) != 0) return options.language;
    std::string path = std::string(options.drivers) + "/" + (source + sizeof(kDrivers) - 1);
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

}  // namespace

int BuildInstaller(int argc, char** argv) {
    Options options;
    if (argc < 2 || !ParseOptions(argc - 2, argv + 2, &options))
        return Fail("usage: tarvik-payload build STUB OUT --app DIR --drivers DIR --language ZIP");
    const char* stub = argv[0];
    const char* out = argv[1];

    XC_ExeTailHelper payload;
    const std::string loadError = LoadStub(stub, &payload);
    if (!loadError.empty()) return Fail(loadError);

    // Like the builder: an installer without drivers or language archive is allowed.
    for (const std::string& source :
         AddFixedEntries(&payload, [&](const char* name) { return FixedSource(name, options); }))
        std::fprintf(stderr, "tarvik-payload: note: %s not found, left out\n",
                     FixedSource(source.c_str(), options).c_str());

    std::string problem, failure;
    const ListAppFolder list = [&](const std::string& folder, std::vector<AppTreeEntry>* entries) {
        return ListFolder(folder, entries, &problem);
    };
    if (!PackApplicationTree(&payload, options.app, list, &failure))
        return Fail((problem.empty() ? failure : problem) + "; no installer written");
    const std::string saveError = SaveInstaller(payload, out);
    return saveError.empty() ? 0 : Fail(saveError);
}
