// tarvik-payload build: packs the same entries as the builder does (fixed driver and language
// entries, the application folder walked and numbered the same way) onto a plain stub, so a
// release pipeline gets the byte-identical installer from the same inputs without Wine.
#include "payloadbuild.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#ifndef _WIN32
#include <iconv.h>
#endif

#include "apptree.h"
#include "asciicase.h"
#include "payloadfiles.h"
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

// The entry itself, a link not followed (the C runtime on Windows knows no links).
int LinkStatus(const std::string& path, struct stat* status) {
#ifdef _WIN32
    return stat(path.c_str(), status);
#else
    return lstat(path.c_str(), status);
#endif
}

bool IsSymbolicLink(const struct stat& status) {
#ifdef _WIN32
    (void)status;
    return false;
#else
    return S_ISLNK(status.st_mode);
#endif
}

// What a folder entry is, links not followed: a link to a file is packed as that file; one to a
// folder, or one that leads nowhere or round in a cycle, is refused by the walk.
AppEntryKind KindOf(const std::string& path, bool* readable) {
    struct stat link = {}, target = {};
    *readable = LinkStatus(path, &link) == 0;
    if (!*readable) return AppEntryKind::kSpecial;
    if (IsSymbolicLink(link)) {
        if (stat(path.c_str(), &target) != 0 || S_ISDIR(target.st_mode)) return AppEntryKind::kLink;
    } else {
        target = link;
    }
    if (S_ISDIR(target.st_mode)) return AppEntryKind::kFolder;
    return S_ISREG(target.st_mode) ? AppEntryKind::kFile : AppEntryKind::kSpecial;
}

// One folder of the application tree; *problem says why a folder cannot be listed.
bool ListFolder(const std::string& folder, std::vector<AppTreeEntry>* entries, std::string* problem) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return false;
    bool ok = true;
    while (const dirent* found = readdir(dir)) {
        const std::string name = found->d_name;
        if (name == "." || name == "..") continue;
        AppTreeEntry entry;
        entry.path = folder + "/" + name;
        bool readable = false;
        entry.kind = KindOf(entry.path, &readable);
        if (!readable) {
            *problem = "cannot read " + entry.path;
        } else if (!AnsiName(name, &entry.name)) {
            *problem = "name not storable in the installer (no GBK form): " + entry.path;
        } else {
            entries->push_back(entry);
            continue;
        }
        ok = false;
        break;
    }
    closedir(dir);
    return ok;
}

// The entry of folder whose name equals part but for the case of ASCII letters, as Windows
// finds it; the exact name when it exists. Empty when there is none, or more than one.
std::string FindCaseless(const std::string& folder, const std::string& part) {
    struct stat status;
    if (LinkStatus(folder + "/" + part, &status) == 0) return part;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return std::string();
    std::string match;
    int matches = 0;
    while (const dirent* found = readdir(dir))
        if (AsciiUpper(found->d_name) == AsciiUpper(part)) {
            match = found->d_name;
            ++matches;
        }
    closedir(dir);
    return matches == 1 ? match : std::string();
}

// Where a fixed entry's source file is: "drivers\\..." below the drivers folder, each part
// looked up without regard to case as Windows would; the uninstaller beside the stub, as the
// builder takes it from beside itself; the language archive at its own path.
FixedSource FixedSourceOf(const char* source, const BuildOptions& options) {
    FixedSource found;
    const char kDrivers[] = "drivers\\";
    if (std::strcmp(source, "Uninstall.exe") == 0) {
        const std::string stub = options.stub;
        const size_t slash = stub.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : stub.substr(0, slash);
        const std::string name = FindCaseless(folder, source);
        if (name.empty()) return {folder + "/" + source, false};
        return {folder + "/" + name, true};
    }
    if (std::strncmp(source, kDrivers, sizeof(kDrivers) - 1) != 0) {
        found.path = options.language;
        found.present = true;  // given by name: it must be there
        return found;
    }
    std::string path = options.drivers;
    const std::string relative = source + sizeof(kDrivers) - 1;
    for (size_t begin = 0; begin <= relative.size();) {
        size_t end = relative.find('\\', begin);
        if (end == std::string::npos) end = relative.size();
        const std::string part = relative.substr(begin, end - begin);
        const std::string name = FindCaseless(path, part);
        if (name.empty()) {
            std::string rest = relative.substr(begin);
            for (char& c : rest)
                if (c == '\\') c = '/';
            return {path + "/" + rest, false};
        }
        path += "/" + name;
        begin = end + 1;
    }
    found.path = path;
    found.present = true;
    return found;
}

bool IsFolder(const char* path) {
    struct stat status;
    return stat(path, &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace

bool ParseBuildOptions(int argc, char** argv, BuildOptions* options) {
    if (argc < 2 || argc % 2 != 0) return false;
    options->stub = argv[0];
    options->out = argv[1];
    for (int i = 2; i + 1 < argc; i += 2) {
        const char** slot = std::strcmp(argv[i], "--app") == 0        ? &options->app
                            : std::strcmp(argv[i], "--drivers") == 0  ? &options->drivers
                            : std::strcmp(argv[i], "--language") == 0 ? &options->language
                                                                      : nullptr;
        if (!slot || *slot) return false;
        *slot = argv[i + 1];
    }
    return options->app && options->drivers && options->language;
}

int BuildInstaller(const BuildOptions& options) {
    XC_ExeTailHelper payload;
    const std::string loadError = LoadStub(options.stub, &payload);
    if (!loadError.empty()) return Fail(loadError);
    if (!IsFolder(options.drivers)) return Fail(std::string("no drivers folder ") + options.drivers);
    const std::string outputError = CheckOutput(options.out, {options.stub, options.language});
    if (!outputError.empty()) return Fail(outputError);

    // Like the builder: an installer without drivers is allowed, a driver that is there but
    // cannot be read is not.
    std::vector<std::string> missing, notes;
    std::string failure;
    if (!AddFixedEntries(
            &payload, [&](const char* name) { return FixedSourceOf(name, options); }, &missing, &failure))
        return Fail(failure + "; no installer written");
    for (const std::string& source : missing)
        std::fprintf(stderr, "tarvik-payload: note: %s not found, left out\n",
                     FixedSourceOf(source.c_str(), options).path.c_str());

    std::string problem;
    const ListAppFolder list = [&](const std::string& folder, std::vector<AppTreeEntry>* entries) {
        return ListFolder(folder, entries, &problem);
    };
    if (!PackApplicationTree(&payload, options.app, list, &failure, &notes))
        return Fail((problem.empty() ? failure : problem) + "; no installer written");
    for (const std::string& note : notes) std::fprintf(stderr, "tarvik-payload: note: %s\n", note.c_str());
    const std::string saveError = SaveInstaller(&payload, options.out, options.sealing);
    return saveError.empty() ? 0 : Fail(saveError);
}
