// The scanner of the XML engine: one node of the document text at a time, with the problem
// records of damaged markup, and name tokens by the one name rule.
#include "xml_scanner.h"

#include <string>

#include "xc_xmlengine.h"

namespace xml {

namespace {

// "<!D...": runs to the ">" that closes it, skipping the declarations, comments, instructions
// and tags nested inside. Any problem inside makes the whole node a markup error.
void ScanDocType(const char* t, int32_t n, TokenCursor& cursor, NodeInfo& node, int32_t from) {
    bool error = false;
    auto skipQuoted = [&](int32_t i) {
        const char* close = static_cast<const char*>(std::memchr(t + i + 1, t[i], size_t(n - i - 1)));
        return close != nullptr ? int32_t(close - t) + 1 : n;
    };
    // From i, the offset just past the next ">" outside quotes, or n.
    auto skipTag = [&](int32_t i) {
        while (i < n && t[i] != '>') i = (t[i] == '"' || t[i] == '\'') ? skipQuoted(i) : i + 1;
        return i < n ? i + 1 : n;
    };
    int32_t i = from;
    while (i < n) {
        char c = t[i];
        if (c == '>') {
            node.kind = error ? NodeInfo::kMarkupError : NodeInfo::kOther;
            cursor.next = i + 1;
            node.length = cursor.next - node.start;
            return;
        }
        if (c == '"' || c == '\'') {
            i = skipQuoted(i);
        } else if (c == '<' && i + 1 < n && t[i + 1] == '!') {
            if (i + 3 < n && t[i + 2] == '-' && t[i + 3] == '-') {
                const char* end = std::strstr(t + i + 4, "-->");
                i = end != nullptr ? int32_t(end - t) + 3 : n;
            } else if (i + 2 < n && (t[i + 2] == 'A' || t[i + 2] == 'E' || t[i + 2] == 'N')) {
                i = skipTag(i + 2);
            } else {
                if (!error) RecordProblem(node.problems, "doctype_tag_syntax", nullptr, nullptr, node.start, -1);
                error = true;
                i = skipTag(i + 2);
            }
        } else if (c == '<' && i + 1 < n && t[i + 1] == '?') {
            const char* end = std::strstr(t + i + 2, "?>");
            i = end != nullptr ? int32_t(end - t) + 2 : n;
        } else if (c == '<') {
            i = skipTag(i + 1);
        } else {
            ++i;
        }
    }
    RecordProblem(node.problems, "unterminated_tag_syntax", "type", "document_type", node.start, -1);
    node.kind = NodeInfo::kMarkupError;
    cursor.next = n;
    node.length = n - node.start;
}

// A tag's name ends where a name ends; only whitespace, "/" or ">" may follow it.
bool NameEndsTag(unsigned char b) { return IsSpace(b) || b == '/' || b == '>'; }

}  // namespace

void ScanNode(const char* t, int32_t n, TokenCursor& cursor, NodeInfo& node) {
    int32_t p = cursor.next;
    node.start = p;
    node.length = 0;
    node.emptyElement = false;
    node.problems.clear();
    if (p >= n) {
        node.kind = NodeInfo::kEndOfText;
        return;
    }
    auto finish = [&](int32_t next) {
        cursor.next = next;
        node.length = next - node.start;
    };
    auto unterminated = [&](const char* type) {
        RecordProblem(node.problems, "unterminated_tag_syntax", "type", type, node.start, -1);
        node.kind = NodeInfo::kMarkupError;
        finish(n);
    };
    if (t[p] != '<') {
        const char* next = static_cast<const char*>(std::memchr(t + p, '<', size_t(n - p)));
        node.kind = NodeInfo::kOther;
        finish(next != nullptr ? int32_t(next - t) : n);
        return;
    }
    // Runs to the ">" that ends a construct opened at from: the first one whose preceding
    // bytes are `closing`, and not earlier than `from`.
    auto findClose = [&](int32_t from, const char* closing) {
        int32_t need = int32_t(std::strlen(closing));
        for (int32_t i = from + need; i < n; ++i) {
            if (t[i] == '>' && std::memcmp(t + i - need, closing, size_t(need)) == 0) return i;
        }
        return int32_t(-1);
    };
    // The name of a tag from `from`; false when something other than whitespace, "/" or ">"
    // follows it. A name still open at the end of the text leaves the token as it was.
    auto takeName = [&](int32_t from) {
        int32_t end = NameEnd(t, n, from);
        if (end >= n) return true;
        cursor.tokenStart = from;
        cursor.tokenEnd = end - 1;
        return NameEndsTag(uint8_t(t[end]));
    };
    int32_t q = p + 1;
    const char* syntax = nullptr;
    if (q >= n) {
        unterminated("tag");
        return;
    }
    unsigned char b = uint8_t(t[q]);
    if (b == '/') {
        bool named = takeName(q + 1);
        const char* end = static_cast<const char*>(std::memchr(t + q, '>', size_t(n - q)));
        if (end == nullptr) {
            unterminated("end_tag");
            return;
        }
        if (named) {
            node.kind = NodeInfo::kEndTag;
        } else {
            RecordProblem(node.problems, "tag_name_syntax", nullptr, nullptr, node.start, -1);
            node.kind = NodeInfo::kMarkupError;
        }
        finish(int32_t(end - t) + 1);
        return;
    }
    if (b == '?') {
        int32_t end = findClose(q, "?");
        if (end < 0) {
            unterminated("processing_instruction");
            return;
        }
        node.kind = NodeInfo::kOther;
        finish(end + 1);
        return;
    }
    if (b == '!') {
        if (q + 1 >= n) {
            unterminated("tag");
            return;
        }
        // "<!--" ... "-->" and "<![C" ... "]]>": the third byte decides, the closing marker ends
        // the node. False, with the syntax problem set, when the third byte is another one.
        auto delimited = [&](char third, const char* closing, const char* type, const char* wrongThird) {
            if (q + 2 >= n) {
                unterminated("tag");
                return true;
            }
            if (t[q + 2] != third) {
                syntax = wrongThird;
                return false;
            }
            int32_t end = findClose(q + 3, closing);
            if (end < 0) {
                unterminated(type);
                return true;
            }
            node.kind = NodeInfo::kOther;
            finish(end + 1);
            return true;
        };
        unsigned char c = uint8_t(t[q + 1]);
        if (c == '-') {
            if (delimited('-', "--", "comment", "comment_tag_syntax")) return;
        } else if (c == '[') {
            if (delimited('C', "]]", "cdata_section", "cdata_section_syntax")) return;
        } else if (c == 'D') {
            ScanDocType(t, n, cursor, node, q + 2);
            return;
        } else {
            syntax = "exclamation_tag_syntax";
        }
    } else if (!IsNameStart(b)) {
        syntax = "first_tag_syntax";
    } else if (!takeName(q)) {
        syntax = "tag_name_syntax";
    }
    bool error = syntax != nullptr;
    if (error) RecordProblem(node.problems, syntax, nullptr, nullptr, node.start, -1);
    // A start tag, or a markup error read the same way but also ending before a "<".
    bool afterEquals = false;
    bool slash = false;
    for (int32_t i = q; i < n;) {
        unsigned char c = uint8_t(t[i]);
        if (afterEquals) {
            if (IsSpace(c)) {
                ++i;
                continue;
            }
            afterEquals = false;
            slash = false;
            if (c == '"' || c == '\'') {
                const char* close = static_cast<const char*>(std::memchr(t + i + 1, c, size_t(n - i - 1)));
                i = close != nullptr ? int32_t(close - t) + 1 : n;
                continue;
            }
            while (i < n && !IsSpace(uint8_t(t[i])) && t[i] != '>' && !(error && t[i] == '<')) ++i;
            continue;
        }
        if (c == '>') {
            node.kind = error ? NodeInfo::kMarkupError : NodeInfo::kStartTag;
            node.emptyElement = slash && !error;
            finish(i + 1);
            return;
        }
        if (error && c == '<') {
            node.kind = NodeInfo::kMarkupError;
            finish(i);
            return;
        }
        afterEquals = c == '=';
        slash = c == '/';
        ++i;
    }
    unterminated(error ? "tag" : "start_tag");
}

bool ScanName(const char* t, int32_t n, TokenCursor& cursor) {
    int32_t i = cursor.next;
    while (i < n && IsSpace(uint8_t(t[i]))) ++i;
    if (i >= n) return false;
    int32_t end = NameEnd(t, n, i);
    if (end == i) ++end;
    cursor.tokenStart = i;
    cursor.tokenEnd = end - 1;
    cursor.next = end;
    return true;
}

void RecordProblem(std::string& log, const char* problem, const char* valueName, const char* value, int32_t offset,
                   int32_t offset2) {
    if (log.size() > 999) return;
    // The bytes a scratch document would hold after appending <problem/> and setting the
    // attributes on it one by one.
    log += '<';
    log += problem;
    if (value != nullptr) {
        log += ' ';
        log += valueName;
        log += "=\"";
        log += XC_XmlEngine::EncodeValue(value);
        log += '"';
    }
    if (offset != -1) log += " offset=\"" + std::to_string(offset) + '"';
    if (offset2 != -1) log += " offset2=\"" + std::to_string(offset2) + '"';
    log += "/>";
}

}  // namespace xml
