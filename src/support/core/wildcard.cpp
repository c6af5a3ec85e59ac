// Wildcard matching for file-name filters. Names and patterns are ANSI bytes; only ASCII
// letters fold case, so the bytes of double-byte characters are compared exactly.
#include "wildcard.h"

#include <cstring>
#include <string_view>

#include "asciicase.h"

namespace {

bool CharMatches(char nameChar, char patternChar) {
    return patternChar == '?' || AsciiLower(nameChar) == AsciiLower(patternChar);
}

// The pattern's characters (no wildcard '*' among them) match name from position `at`.
bool MatchesAt(std::string_view name, size_t at, std::string_view part) {
    if (at > name.size() || name.size() - at < part.size()) return false;
    for (size_t i = 0; i < part.size(); ++i) {
        if (!CharMatches(name[at + i], part[i])) return false;
    }
    return true;
}

bool Match(std::string_view name, std::string_view pattern) {
    const size_t firstStar = pattern.find('*');
    if (firstStar == std::string_view::npos) return name.size() == pattern.size() && MatchesAt(name, 0, pattern);

    const size_t lastStar = pattern.rfind('*');
    const std::string_view head = pattern.substr(0, firstStar);
    const std::string_view tail = pattern.substr(lastStar + 1);
    if (name.size() < head.size() || name.size() < tail.size()) return false;
    // Head and tail are tested on their own; they may overlap in a short name.
    if (!MatchesAt(name, 0, head) || !MatchesAt(name, name.size() - tail.size(), tail)) return false;
    if (firstStar == lastStar) return true;

    const std::string_view middle = pattern.substr(firstStar + 1, lastStar - firstStar - 1);
    if (middle.empty()) return true;
    if (name.size() < tail.size() + middle.size()) return false;
    const size_t lastStart = name.size() - tail.size() - middle.size();
    for (size_t at = head.size(); at <= lastStart; ++at) {
        if (MatchesAt(name, at, middle)) return true;
    }
    return false;
}

}  // namespace

bool MatchPattern(const char* name, const char* pattern) {
    if (name == nullptr || pattern == nullptr) return false;
    return Match(name, pattern);
}

bool MatchPatternList(const char* name, const char* list) {
    if (name == nullptr || list == nullptr) return false;
    const std::string_view patterns(list);
    size_t start = 0;
    while (start <= patterns.size()) {
        size_t end = patterns.find_first_of(";|", start);
        if (end == std::string_view::npos) end = patterns.size();
        if (end > start && Match(name, patterns.substr(start, end - start))) return true;
        start = end + 1;
    }
    return false;
}
