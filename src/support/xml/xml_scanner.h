// The scanner of the XML engine: where a node of the document text begins and ends, and the
// one rule for where a name ends, shared by loading, searching and the edits. Internal to the
// engine; pure byte work over a text and its length.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace xml {

inline bool IsSpace(unsigned char b) { return b == ' ' || b == '\t' || b == '\n' || b == '\r'; }

// "A"-"Z", "_", ":" and every byte above 0x60, which takes in all bytes from 0x80 up.
inline bool IsNameStart(unsigned char b) { return (b >= 'A' && b <= 'Z') || b == '_' || b == ':' || b > 0x60; }

// A name runs up to the first of these bytes. Element names, attribute names, end-tag names
// and search names all end by this rule, so a name the edits write scans back as itself.
inline bool EndsName(unsigned char b) { return b == 0 || std::strchr(" \t\n\r\"'\\!/;<=>?&", b) != nullptr; }

// The first offset from `from` on that ends a name (n when the text ends first).
inline int32_t NameEnd(const char* t, int32_t n, int32_t from) {
    while (from < n && !EndsName(uint8_t(t[from]))) ++from;
    return from;
}

// A name the edits may write and a search may match: non-empty, and nothing in it ends a
// name. An element name must also begin as a start tag's name does.
inline bool IsName(const char* name, bool element) {
    if (name == nullptr || name[0] == 0 || (element && !IsNameStart(uint8_t(name[0])))) return false;
    for (const char* p = name; *p; ++p) {
        if (EndsName(uint8_t(*p))) return false;
    }
    return true;
}

// Scanning cursor over the document text.
struct TokenCursor {
    int32_t tokenStart = 0;
    int32_t tokenEnd = -1;  // inclusive
    int32_t next = 0;
};

// What ScanNode reports for one node. Text, whitespace, comments, CDATA sections,
// instructions and document types all leave the index alone and are one kind here.
struct NodeInfo {
    enum Kind : int32_t { kEndTag = 0, kStartTag = 1, kOther = 2, kMarkupError = -1, kEndOfText = -2 };

    Kind kind = kEndOfText;
    int32_t start = 0;
    int32_t length = 0;
    bool emptyElement = false;  // a start tag ending in "/>"
    std::string problems;       // records made while scanning this node
};

// Scans the node at cursor.next and moves the cursor past it. For a start or end tag the
// cursor's token is its name.
void ScanNode(const char* text, int32_t length, TokenCursor& cursor, NodeInfo& node);

// Skips whitespace and takes one name at cursor.next, or the single byte there when it ends
// names. False at the end of the text.
bool ScanName(const char* text, int32_t length, TokenCursor& cursor);

// Appends one record <problem value="..." offset="..." offset2="..."/> to a problem log, as
// long as the log is at most 999 bytes. valueName/value are left out when value is null, an
// offset when it is -1.
void RecordProblem(std::string& log, const char* problem, const char* valueName, const char* value, int32_t offset,
                   int32_t offset2);

}  // namespace xml
