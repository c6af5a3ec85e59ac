// The payload archive appended behind the executable image: keyed entries held in memory,
// loaded from and saved to "stub + header + sealed body".
#pragma once
#include <map>
#include <memory>
#include <string>
#include "xc_memspace.h"

class XC_ExeTailHelper {
public:
    bool LoadFromExe(const char* path);
    bool IsEmpty() const { return entries_.empty(); }
    bool AddFile(const char* key, const char* path);
    bool AddMemory(const char* key, const XC_MemSpace* block);
    bool GetEntry(const char* key, XC_MemSpace* block) const;
    bool ExtractToFile(const char* key, const char* path) const;
    bool SaveToExe(const char* path) const;

    const XC_MemSpace& Stub() const { return stub_; }
    // Keys in archive order, for inspection.
    template <typename Visit>
    void ForEachEntry(Visit visit) const {
        for (const auto& entry : entries_) visit(entry.first, *entry.second);
    }

private:
    // std::string compares as unsigned bytes, shorter first on a common prefix: the record order.
    std::map<std::string, std::unique_ptr<XC_MemSpace>> entries_;
    XC_MemSpace stub_;
};
