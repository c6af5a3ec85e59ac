// tarvik-payload verify: the payload unseals with its CRC-32 holding; the fixed entries are
// there; "FilesInfo" is a well-formed file list whose counts match its values, whose paths
// are safe relative paths and whose files each have their entry, with no entry left over; and
// the stub carries the elevation manifest and a version resource.
#include "payloadverify.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>

#include "apptree.h"
#include "payloadfiles.h"
#include "payloadkeys.h"
#include "safepath.h"
#include "xc_exetailhelper.h"
#include "xc_xml.h"

namespace {

// Problems as they are found, one line each.
class Report {
public:
    void Problem(const std::string& line) {
        std::printf("problem: %s\n", line.c_str());
        ++problems_;
    }
    void Note(const std::string& line) { std::printf("note: %s\n", line.c_str()); }
    int Problems() const { return problems_; }

private:
    int problems_ = 0;
};

uint32_t U16(const uint8_t* p) { return p[0] | (p[1] << 8); }
uint32_t U32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }

// The resources of a PE image, read with every offset checked against the image.
class PeResources {
public:
    explicit PeResources(const XC_MemSpace& image) : bytes_(image.data), size_(image.size) {
        if (!Has(0, 0x40) || bytes_[0] != 'M' || bytes_[1] != 'Z') return;
        const uint32_t pe = U32(bytes_ + 0x3C);
        if (!Has(pe, 24) || std::memcmp(bytes_ + pe, "PE\0\0", 4) != 0) return;
        sections_ = U16(bytes_ + pe + 6);
        const uint32_t optional = pe + 24, optionalSize = U16(bytes_ + pe + 20);
        section_table_ = optional + optionalSize;
        if (!Has(optional, 2)) return;
        const bool pe32plus = U16(bytes_ + optional) == 0x20B;
        const uint32_t directories = optional + (pe32plus ? 112 : 96);
        const uint32_t countAt = optional + (pe32plus ? 108 : 92);
        if (!Has(countAt, 4) || U32(bytes_ + countAt) < 3 || !Has(directories + 16, 8) ||
            directories + 24 > optional + optionalSize)
            return;
        root_ = Offset(U32(bytes_ + directories + 16));
    }

    // The data of the first resource of this type (first name, first language); empty when
    // there is none.
    std::string First(uint32_t type) const {
        if (root_ == 0) return std::string();
        uint32_t directory = root_;
        for (int level = 0; level < 3; ++level) {
            if (!Has(directory, 16)) return std::string();
            const uint32_t count = U16(bytes_ + directory + 12) + U16(bytes_ + directory + 14);
            uint32_t next = 0;
            for (uint32_t i = 0; i < count && next == 0; ++i) {
                const uint32_t entry = directory + 16 + 8 * i;
                if (!Has(entry, 8)) return std::string();
                if (level == 0 && U32(bytes_ + entry) != type) continue;
                next = U32(bytes_ + entry + 4);
            }
            if (next == 0) return std::string();
            const bool subdirectory = (next & 0x80000000u) != 0;
            if (subdirectory != (level < 2)) return std::string();
            directory = root_ + (next & 0x7FFFFFFFu);
        }
        if (!Has(directory, 8)) return std::string();
        const uint32_t data = Offset(U32(bytes_ + directory)), length = U32(bytes_ + directory + 4);
        if (data == 0 || !Has(data, length)) return std::string();
        return std::string(reinterpret_cast<const char*>(bytes_ + data), length);
    }

private:
    bool Has(uint64_t offset, uint64_t count) const { return offset + count <= size_; }
    // File offset of a virtual address; 0 when no section holds it.
    uint32_t Offset(uint32_t rva) const {
        for (uint32_t i = 0; i < sections_; ++i) {
            const uint32_t section = section_table_ + 40 * i;
            if (!Has(section, 40)) return 0;
            const uint32_t address = U32(bytes_ + section + 12), raw = U32(bytes_ + section + 16);
            if (rva >= address && rva - address < raw) return U32(bytes_ + section + 20) + (rva - address);
        }
        return 0;
    }

    const uint8_t* bytes_;
    uint32_t size_;
    uint32_t sections_ = 0;
    uint32_t section_table_ = 0;
    uint32_t root_ = 0;
};

// The values of the result document's "ExFastInfo" element in document order, decoded.
bool ResultValues(const std::string& text, std::vector<std::pair<std::string, std::string>>* values) {
    size_t at = text.find("<ExFastInfo");
    if (at == std::string::npos) return false;
    at += std::strlen("<ExFastInfo");
    for (;;) {
        while (at < text.size() && std::strchr(" \t\r\n", text[at])) ++at;
        if (at >= text.size()) return false;
        if (text[at] == '>' || text[at] == '/') return true;
        const size_t equals = text.find('=', at);
        if (equals == std::string::npos || equals + 1 >= text.size()) return false;
        const char quote = text[equals + 1];
        const size_t end = text.find(quote, equals + 2);
        if ((quote != '"' && quote != '\'') || end == std::string::npos) return false;
        values->emplace_back(text.substr(at, equals - at),
                             XC_XmlEngine::DecodeValue(text.data() + equals + 2, int32_t(end - equals - 2)));
        at = end + 1;
    }
}

// A decimal number as the builder writes one (no sign, no leading zero); -1 otherwise.
long DecimalNumber(const std::string& text) {
    if (text.empty() || text.size() > 9 || (text[0] == '0' && text.size() > 1)) return -1;
    for (char c : text)
        if (c < '0' || c > '9') return -1;
    return std::strtol(text.c_str(), nullptr, 10);
}

// The index of a name "PREFIX<decimal>"; -1 for any other name.
long NumberedIndex(const std::string& name, const char* prefix) {
    const size_t length = std::strlen(prefix);
    return name.compare(0, length, prefix) == 0 ? DecimalNumber(name.substr(length)) : -1;
}

// Checks FILE%d or PATH%d values (installed as kind) against their count and the path rules;
// returns the count.
long CheckNumbered(const std::map<std::string, std::string>& values, const char* prefix, const char* countName,
                   InstalledKind kind, Report* report) {
    const auto counted = values.find(countName);
    long count = counted == values.end() ? -1 : DecimalNumber(counted->second);
    if (count < 0) {
        report->Problem(std::string("FilesInfo: ") + countName + " is missing or no count");
        count = 0;
    }
    for (const auto& value : values) {
        const long index = NumberedIndex(value.first, prefix);
        if (index >= count)
            report->Problem("FilesInfo: " + value.first + " beyond " + countName + " " + std::to_string(count));
        if (index >= 0 && !IsSafeRelativePath(value.second, PathStart::OneBackslash))
            report->Problem("FilesInfo: unsafe path in " + value.first + ": " + value.second);
        else if (index >= 0 && !FitsInstallFolder(value.second, kind))
            report->Problem("FilesInfo: path too long to install in " + value.first + ": " + value.second);
    }
    for (long i = 0; i < count; ++i)
        if (values.count(prefix + std::to_string(i)) == 0)
            report->Problem("FilesInfo: " + std::string(prefix) + std::to_string(i) + " missing (" + countName + " " +
                            std::to_string(count) + ")");
    return count;
}

// The file list: returns the keys of the entries it accounts for.
std::set<std::string> CheckFilesInfo(const XC_ExeTailHelper& archive, Report* report, long* files, long* folders) {
    std::set<std::string> listed;
    const XC_MemSpace* entry = archive.FindEntry(PayloadKey::FilesInfo);
    if (!entry) {
        report->Problem("no FilesInfo entry: the installer would install no application");
        return listed;
    }
    listed.insert(PayloadKey::FilesInfo);
    const char* bytes = reinterpret_cast<const char*>(entry->data);
    if (entry->size == 0 || bytes[entry->size - 1] != 0 ||
        std::memchr(bytes, 0, entry->size) != bytes + entry->size - 1) {
        report->Problem("FilesInfo does not end in exactly one zero byte");
        return listed;
    }
    const std::string text(bytes, entry->size - 1);
    XC_Xml document;
    std::vector<std::pair<std::string, std::string>> ordered;
    if (!document.LoadText(text.c_str()) || !ResultValues(text, &ordered)) {
        report->Problem("FilesInfo is not a well-formed file list");
        return listed;
    }
    std::map<std::string, std::string> values;
    for (const auto& value : ordered)
        if (!values.insert(value).second) report->Problem("FilesInfo: " + value.first + " given twice");
    *folders = CheckNumbered(values, "PATH", PayloadKey::PathCount, InstalledKind::Folder, report);
    *files = CheckNumbered(values, "FILE", PayloadKey::FileCount, InstalledKind::File, report);
    bool application = false;
    for (const auto& value : values) {
        if (NumberedIndex(value.first, "FILE") < 0) continue;
        listed.insert(value.first);
        application = application || WindowsFoldedName(value.second) == "\\EMBERLIN.EXE";
        if (!archive.HasEntry(value.first.c_str()))
            report->Problem("FilesInfo: " + value.first + " (" + value.second + ") has no entry");
    }
    if (!application) report->Problem("FilesInfo: no \\Emberlin.exe at the top: the installer installs no application");
    return listed;
}

}  // namespace

int VerifyInstaller(const char* path, MissingFixed missing) {
    XC_ExeTailHelper archive;
    const std::string error = LoadInstaller(path, &archive);
    if (!error.empty()) {
        // A payload that loads has unsealed, and its member's CRC-32 held.
        const bool damaged = archive.LastFailure() == XC_ExeTailHelper::Failure::kDamaged;
        std::printf("problem: %s%s\n", error.c_str(),
                    damaged ? " (it does not unseal, or its CRC-32 does not hold)" : "");
        return 1;
    }
    Report report;
    std::set<std::string> known;
    for (const PayloadFixedEntry& entry : kPayloadFixedEntries) {
        known.insert(entry.key);
        if (archive.HasEntry(entry.key)) continue;
        const std::string line = std::string("fixed entry ") + entry.key + " (" + entry.source + ") missing";
        missing == MissingFixed::kProblem ? report.Problem(line) : report.Note(line);
    }
    long files = 0, folders = 0;
    for (const std::string& key : CheckFilesInfo(archive, &report, &files, &folders)) known.insert(key);
    uint64_t unpacked = 0, entries = 0;
    archive.ForEachEntry([&](const std::string& key, const XC_MemSpace& data) {
        ++entries;
        unpacked += 12 + key.size() + data.size;
        if (known.count(key) == 0) report.Problem("extra entry " + key + ": nothing installs it");
    });

    const PeResources resources(archive.Stub());
    const std::string manifest = resources.First(24);
    if (manifest.find("requestedExecutionLevel") == std::string::npos ||
        manifest.find("requireAdministrator") == std::string::npos)
        report.Problem("stub has no manifest asking for administrator rights");
    if (resources.First(16).empty()) report.Problem("stub has no version resource");

    std::printf("%s: %llu entries, %llu bytes unpacked (%s), %ld files, %ld folders; %s\n", path,
                static_cast<unsigned long long>(entries), static_cast<unsigned long long>(unpacked),
                MethodName(archive), files, folders,
                report.Problems() == 0 ? "all checks hold" : (std::to_string(report.Problems()) + " problems").c_str());
    return report.Problems() == 0 ? 0 : 1;
}
