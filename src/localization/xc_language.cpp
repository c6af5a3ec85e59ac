// Language pack lookup: an in-memory map filled from the file once, with the private-profile
// functions as the fallback for texts the preload did not supply.
#include "xc_language.h"

#include <windows.h>

#include <cstdlib>

#include "linkcheck.h"
#include "paths.h"
#include "wholefile.h"

XC_Language ProgramLanguage;

namespace {

// The longest file path the pack keeps (a Win32 MAX_PATH field without its terminator).
const size_t kMaxFilePath = 259;

// The longest translation taken, in bytes, as the private-profile reading gives it: a language
// file lying beside the installer is anybody's, and the window measures and draws its texts on
// every paint, so a megabyte of text would freeze it.
const size_t kMaxTextBytes = 4095;

// text cut to kMaxTextBytes, never inside a double-byte character.
std::string Bounded(std::string text) {
    if (text.size() <= kMaxTextBytes) return text;
    size_t end = 0;
    while (end < kMaxTextBytes) {
        const size_t next = end + (IsDBCSLeadByte(static_cast<BYTE>(text[end])) ? 2 : 1);
        if (next > kMaxTextBytes) break;
        end = next;
    }
    text.resize(end);
    return text;
}

// A text the file format cannot hold: a line break would split its line, and "}=" would end
// the key early, so that writing it would damage other entries.
bool IsExpressible(const std::string& text) {
    return text.find_first_of("\r\n") == std::string::npos && text.find("}=") == std::string::npos;
}

}  // namespace

XC_Language::XC_Language() : LanguageId(GetSystemDefaultLangID()) {}

std::string XC_Language::CacheKey(const std::string& text) const { return std::to_string(LanguageId) + "_" + text; }

bool XC_Language::Load(const char* folder) {
    const std::string name = "Language_" + std::to_string(LanguageId) + ".txt";
    const std::string path =
        folder != nullptr && folder[0] != '\0' ? std::string(folder) + "\\" + name : ModulePath(name.c_str());
    // An unknown executable folder would put the file in the root of the current drive. Missing
    // texts are written back into the file as administrator: never through a link put there.
    if (path.empty() || path.size() > kMaxFilePath ||
        !FirstLinkOnTheWay(path.substr(0, path.rfind('\\')), name).empty()) {
        FilePath.clear();
        FontName = "Tahoma";
        FontSize = 8;
        return true;
    }
    FilePath = path;
    FontName = ReadIniString(FilePath.c_str(), "Setting", "FontName", "Tahoma");
    const std::string size = ReadIniString(FilePath.c_str(), "Setting", "FontSize", "8");
    FontSize = static_cast<int32_t>(std::strtol(size.c_str(), nullptr, 10));
    Preload(ReadTextFile(FilePath.c_str()));
    return true;
}

void XC_Language::Preload(const std::string& contents) {
    size_t position = 0;
    for (;;) {
        const size_t open = contents.find('{', position);
        if (open == std::string::npos) return;
        const size_t close = contents.find("}=", open + 1);
        if (close == std::string::npos) return;
        const size_t valueStart = close + 2;
        const size_t lineEnd = contents.find("\r\n", valueStart);
        if (lineEnd == std::string::npos) return;
        const std::string key = contents.substr(open + 1, close - open - 1);
        const std::string value = Bounded(contents.substr(valueStart, lineEnd - valueStart));
        if (key.empty() || value.empty()) return;
        Texts[CacheKey(key)] = value;
        position = lineEnd + 2;
    }
}

std::string XC_Language::Translate(const char* text) {
    if (text == nullptr || text[0] == '\0') return std::string();
    // Code that asks is the installer's own; its English texts are short.
    std::string& value = Texts[CacheKey(text)];
    if (!value.empty()) return value;
    if (!FilePath.empty() && IsExpressible(text)) {
        const std::string key = std::string("{") + text + "}";
        value = ReadIniString(FilePath.c_str(), "Strings", key.c_str(), text);
    } else {
        value = text;
    }
    return value;
}
