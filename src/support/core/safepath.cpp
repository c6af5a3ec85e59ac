// The one rule for stored relative paths; byte-level, no platform calls.
#include "safepath.h"

#include <cstring>

#include "asciicase.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Control bytes, the stream and drive colon, and the characters Windows refuses in names.
bool IsRefusedByte(unsigned char c) { return c < 0x20 || c == 0x7F || std::strchr(":*?\"<>|", c) != nullptr; }

bool StemIs(const char* stem, size_t length, const char* device) {
    if (std::strlen(device) != length) return false;
    for (size_t i = 0; i < length; ++i)
        if (AsciiUpper(stem[i]) != device[i]) return false;
    return true;
}

// The Windows 1252 superscripts one, two and three: "COM\xB9" opens a port too.
bool IsPortDigit(unsigned char c) { return (c >= '1' && c <= '9') || c == 0xB9 || c == 0xB2 || c == 0xB3; }

// A part that opens a device instead of a file: its text before the first dot, trailing blanks
// dropped, is a device name in any case ("nul", "Com3.ini", "aux .txt").
bool IsDevicePart(const char* begin, const char* end) {
    const char* stemEnd = begin;
    while (stemEnd != end && *stemEnd != '.') ++stemEnd;
    while (stemEnd != begin && stemEnd[-1] == ' ') --stemEnd;
    const size_t length = static_cast<size_t>(stemEnd - begin);
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (StemIs(begin, length, device)) return true;
    return length == 4 && (StemIs(begin, 3, "COM") || StemIs(begin, 3, "LPT")) &&
           IsPortDigit(static_cast<unsigned char>(begin[3]));
}

// Windows drops a part's trailing dots and blanks, so such a part names another file than it
// says, or ".." itself ("... " and ". " included).
bool IsSafePart(const char* begin, const char* end) {
    if (begin == end || end[-1] == '.' || end[-1] == ' ' || IsDevicePart(begin, end)) return false;
    for (const char* p = begin; p != end; ++p)
        if (IsRefusedByte(static_cast<unsigned char>(*p))) return false;
    return true;
}

}  // namespace

bool IsSafeRelativePath(const std::string& path, PathStart start) {
    const char* part = path.data();
    const char* const end = path.data() + path.size();
    if (start == PathStart::OneBackslash) {
        if (part == end || *part != '\\') return false;
        ++part;
    }
    for (const char* p = part;; ++p) {
        if (p == end || IsSeparator(*p)) {
            if (!IsSafePart(part, p)) return false;
            if (p == end) return true;
            part = p + 1;
        }
    }
}

bool IsSafePathPart(const std::string& name) {
    for (char c : name)
        if (IsSeparator(c)) return false;
    return IsSafePart(name.data(), name.data() + name.size());
}

bool FitsInstallFolder(const std::string& relative, InstalledKind kind) {
    static constexpr char kLongestInstallFolder[] = "C:\\Program Files (x86)\\MiniTarvik";
    constexpr size_t kMaxPathCharacters = 259;
    size_t characters = sizeof(kLongestInstallFolder) - 1;
    if (kind == InstalledKind::File) characters += sizeof(kPartFileSuffix) - 1;
    for (size_t i = 0; i < relative.size(); ++i, ++characters)
        if (IsLeadByte(static_cast<unsigned char>(relative[i])) && i + 1 < relative.size()) ++i;
    return characters <= kMaxPathCharacters;
}
