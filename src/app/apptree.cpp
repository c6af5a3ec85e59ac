// The platform-independent half of the builder: fixed entries, breadth-first walk, numbering
// and the "FilesInfo" document.
#include "apptree.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <utility>

#include "asciicase.h"
#include "payloadkeys.h"
#include "wildcard.h"
#include "xc_exetailhelper.h"
#include "xc_memspace.h"
#include "xc_xml.h"

namespace {

// Build leftovers that never ship; folders are walked whatever their name.
const char kSkippedFiles[] = "*.tds|*.log";

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

std::vector<std::string> AddFixedEntries(XC_ExeTailHelper* payload,
                                         const std::function<std::string(const char* source)>& sourcePath) {
    std::vector<std::string> missing;
    for (const PayloadFixedEntry& entry : kPayloadFixedEntries)
        if (!payload->AddFile(entry.key, sourcePath(entry.source).c_str())) missing.push_back(entry.source);
    return missing;
}

bool PackApplicationTree(XC_ExeTailHelper* payload, const std::string& root, const ListAppFolder& list,
                         std::string* failure) {
    XC_Xml info;
    int pathCount = 0, fileCount = 0;
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
        for (const AppTreeEntry& entry : entries) {
            const std::string relative = folder.second + "\\" + entry.name;
            if (entry.isFolder) {
                queue.emplace_back(entry.path, relative);
                info.SetValue(PayloadKey::PathName(pathCount).c_str(), relative.c_str());
                info.SetValueInt(PayloadKey::PathCount, ++pathCount);
            } else if (!MatchPatternList(entry.name.c_str(), kSkippedFiles)) {
                const std::string key = PayloadKey::FileName(fileCount);
                info.SetValue(key.c_str(), relative.c_str());
                info.SetValueInt(PayloadKey::FileCount, ++fileCount);
                if (!payload->AddFile(key.c_str(), entry.path.c_str())) {
                    *failure = "cannot read the file " + entry.path;
                    return false;
                }
            }
        }
    }
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
