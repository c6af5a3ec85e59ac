// Test payloads: application trees packed as the builder packs them.
#include "test_payload.h"

#include <cstring>

#include "payloadkeys.h"
#include "xc_memspace.h"
#include "xc_xml.h"

namespace {

bool AddBytes(XC_ExeTailHelper& payload, const std::string& key, const std::string& bytes) {
    XC_MemSpace block;
    if (!bytes.empty() && !block.Allocate(uint32_t(bytes.size()), 0)) return false;
    if (!bytes.empty()) memcpy(block.data, bytes.data(), bytes.size());
    return payload.AddMemory(key.c_str(), &block);
}

}  // namespace

bool AddAppTree(XC_ExeTailHelper& payload, const AppTree& tree) {
    XC_Xml list;
    list.SetValueInt("PathCount", int32_t(tree.folders.size()));
    for (size_t i = 0; i < tree.folders.size(); ++i)
        list.SetValue(("PATH" + std::to_string(i)).c_str(), tree.folders[i].c_str());
    list.SetValueInt("FileCount", int32_t(tree.files.size()));
    for (size_t i = 0; i < tree.files.size(); ++i) {
        const std::string key = "FILE" + std::to_string(i);
        list.SetValue(key.c_str(), tree.files[i].path.c_str());
        if (!AddBytes(payload, key, tree.files[i].bytes)) return false;
    }
    // Every built installer carries the uninstaller; a test that runs it adds the real one first.
    if (!payload.HasEntry(PayloadKey::Uninstaller) &&
        !AddBytes(payload, PayloadKey::Uninstaller, "MZ uninstaller stand-in"))
        return false;
    // Stored with its terminating zero, as the builder stores it.
    return AddBytes(payload, PayloadKey::FilesInfo, std::string(list.GetText(), list.GetTextLength() + 1));
}

AppTree GeneratedTree(int files, int version) {
    AppTree tree;
    const int folders = 20;
    for (int f = 0; f < folders; ++f) tree.folders.push_back("\\part" + std::to_string(f));
    for (int i = 0; i < files; ++i) {
        // Every 50th file is 1 MiB and more, the others up to 12 KiB; sizes change with the version.
        const size_t size =
            i % 50 == 0 ? (1u << 20) + size_t(version) * 4096 : size_t((i * 37 + version * 101) % 12288);
        AppFile file;
        file.path = tree.folders[size_t(i % folders)] + "\\file" + std::to_string(i) + ".dat";
        file.bytes.resize(size);
        const char seed = char('A' + version % 26);
        for (size_t at = 0; at < size; ++at) file.bytes[at] = char(seed + char(at % 251) + char(i));
        tree.files.push_back(std::move(file));
    }
    if (version == 0) {
        tree.files.push_back({"\\tool", "the older tool"});
    } else {
        if (!tree.files.empty()) tree.files.pop_back();
        tree.files.push_back({"\\added.dat", "added in version " + std::to_string(version)});
        tree.folders.push_back("\\tool");
        tree.files.push_back({"\\tool\\inside.dat", "the newer tool"});
    }
    return tree;
}
