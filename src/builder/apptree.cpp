// The platform-independent half of the builder: fixed entries, breadth-first walk, the
// refusals both builders share, numbering and the "FilesInfo" document.
#include "apptree.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <set>
#include <utility>

#include "asciicase.h"
#include "payloadkeys.h"
#include "safepath.h"
#include "wildcard.h"
#include "xc_exetailhelper.h"
#include "xc_memspace.h"
#include "xc_xml.h"

namespace {

// Build leftovers that never ship; folders are walked whatever their name.
const char kSkippedFiles[] = "*.tds|*.log";
// The program the installer starts and links; Inkscape is optional.
const char kApplication[] = "\\EMBERLIN.EXE";
const char kInkscape[] = "\\INKSCAPE\\INKSCAPE.EXE";

// GBK rows whose lower-case letters have upper-case partners: lead byte, first and last
// lower-case trail byte, and how far below them the upper-case ones lie.
struct GbkCaseRange {
    unsigned char lead, first, last, toUpper;
};
constexpr GbkCaseRange kGbkCase[] = {
    {0xA2, 0xA1, 0xAA, 0x50},  // small Roman numerals i-x
    {0xA3, 0xE1, 0xFA, 0x20},  // full-width a-z
    {0xA6, 0xC1, 0xD8, 0x20},  // Greek
    {0xA7, 0xD1, 0xF1, 0x30},  // Cyrillic
};

// Whether the relative path names this file as Windows compares names.
bool NamesFile(const std::string& relative, const char* folded) { return WindowsFoldedName(relative) == folded; }

}  // namespace

bool AppTreeNameLess(const std::string& left, const std::string& right) {
    const size_t common = std::min(left.size(), right.size());
    for (size_t i = 0; i < common; ++i) {
        const unsigned char l = AsciiUpper(left[i]), r = AsciiUpper(right[i]);
        if (l != r) return l < r;
    }
    if (left.size() != right.size()) return left.size() < right.size();
    return left < right;
}

std::string WindowsFoldedName(const std::string& name) {
    std::string folded = name;
    for (size_t i = 0; i < folded.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(folded[i]);
        if (!IsLeadByte(c) || i + 1 == folded.size()) {
            folded[i] = AsciiUpper(folded[i]);
            continue;
        }
        const unsigned char trail = static_cast<unsigned char>(folded[++i]);
        for (const GbkCaseRange& range : kGbkCase)
            if (c == range.lead && trail >= range.first && trail <= range.last)
                folded[i] = static_cast<char>(trail - range.toUpper);
    }
    return folded;
}

bool AddFixedEntries(XC_ExeTailHelper* payload, const std::function<FixedSource(const char* source)>& sourceOf,
                     std::vector<std::string>* missing, std::string* failure) {
    // The installer's window opens on the language archive while the rest is still unpacking.
    payload->PutFirst(PayloadKey::Language);
    for (const PayloadFixedEntry& entry : kPayloadFixedEntries) {
        const FixedSource source = sourceOf(entry.source);
        if (!source.present) {
            missing->push_back(entry.source);
        } else if (!payload->AddFileForSaving(entry.key, source.path.c_str())) {
            *failure = "cannot read " + source.path;
            return false;
        }
    }
    return true;
}

bool PackApplicationTree(XC_ExeTailHelper* payload, const std::string& root, const ListAppFolder& list,
                         std::string* failure, std::vector<std::string>* notes) {
    XC_Xml info;
    int pathCount = 0, fileCount = 0;
    bool hasInkscape = false;
    // Each queued folder with its path relative to the root ("" for the root itself).
    std::deque<std::pair<std::string, std::string>> queue{{root, std::string()}};
    while (!queue.empty()) {
        const std::pair<std::string, std::string> folder = std::move(queue.front());
        queue.pop_front();
        std::vector<AppTreeEntry> entries;
        if (!list(folder.first, &entries)) {
            *failure = "cannot list the folder " + folder.first;
            return false;
        }
        std::sort(entries.begin(), entries.end(),
                  [](const AppTreeEntry& l, const AppTreeEntry& r) { return AppTreeNameLess(l.name, r.name); });
        // Every refusal is decided before a byte of this folder is read.
        std::set<std::string> folded;
        bool hasApplication = false;
        for (const AppTreeEntry& entry : entries) {
            const std::string relative = folder.second + "\\" + entry.name;
            const char* problem = nullptr;
            if (!IsSafePathPart(entry.name))
                problem = "name Windows cannot create: ";
            else if (!folded.insert(WindowsFoldedName(entry.name)).second)
                problem = "two names that are one on Windows (they differ only in case): ";
            else if (!FitsInstallFolder(
                         relative, entry.kind == AppEntryKind::kFile ? InstalledKind::File : InstalledKind::Folder))
                problem =
                    "path too long to install (over 259 characters under C:\\Program Files (x86), a file's part "
                    "file included): ";
            else if (entry.kind == AppEntryKind::kLink)
                problem = "symbolic link to a folder, or one that leads nowhere (not followed): ";
            else if (entry.kind == AppEntryKind::kSpecial)
                problem = "neither a file nor a folder: ";
            if (problem) {
                *failure = problem + entry.path;
                return false;
            }
            hasApplication = hasApplication || (entry.kind == AppEntryKind::kFile && NamesFile(relative, kApplication));
        }
        if (folder.second.empty() && !hasApplication) {
            *failure = "no Emberlin.exe at the top of the application folder " + root;
            return false;
        }
        for (const AppTreeEntry& entry : entries) {
            const std::string relative = folder.second + "\\" + entry.name;
            if (entry.kind == AppEntryKind::kFolder) {
                queue.emplace_back(entry.path, relative);
                info.SetValue(PayloadKey::PathName(pathCount).c_str(), relative.c_str());
                info.SetValueInt(PayloadKey::PathCount, ++pathCount);
            } else if (!MatchPatternList(entry.name.c_str(), kSkippedFiles)) {
                const std::string key = PayloadKey::FileName(fileCount);
                info.SetValue(key.c_str(), relative.c_str());
                info.SetValueInt(PayloadKey::FileCount, ++fileCount);
                if (!payload->AddFileForSaving(key.c_str(), entry.path.c_str())) {
                    *failure = "cannot read the file " + entry.path;
                    return false;
                }
                hasInkscape = hasInkscape || NamesFile(relative, kInkscape);
            }
        }
    }
    if (!hasInkscape) notes->push_back("no inkscape\\inkscape.exe in " + root + ": the installer carries no Inkscape");
    // The text and exactly one zero byte: the allocation is zero-filled.
    XC_MemSpace block(info.GetTextLength() + 1);
    if (block.data == nullptr) {
        *failure = "out of memory for the file list";
        return false;
    }
    std::memcpy(block.data, info.GetText(), info.GetTextLength());
    if (!payload->AddMemory(PayloadKey::FilesInfo, &block)) {
        *failure = "cannot add the file list";
        return false;
    }
    return true;
}
