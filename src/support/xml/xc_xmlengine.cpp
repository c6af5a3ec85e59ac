// The XML engine: parsing a text into the element index, navigation by entry numbers, and
// the edits that splice attributes and child elements into the text while keeping the index
// exactly in step with it.
#include "xc_xmlengine.h"

#include <cstdio>
#include <cstring>

namespace {

bool IsSpace(unsigned char b) { return b == ' ' || b == '\t' || b == '\n' || b == '\r'; }

// "A"-"Z", "_", ":" and every byte above 0x60, which takes in all bytes from 0x80 up.
bool IsNameStart(unsigned char b) { return (b >= 'A' && b <= 'Z') || b == '_' || b == ':' || b > 0x60; }

// Bytes that end a name token (ScanName): the zero byte and these.
bool EndsName(unsigned char b) { return b == 0 || std::strchr(" \t\n\r\"'\\!/;<=>?", b) != nullptr; }

// Bytes that end an attribute name in a start tag: the zero byte and these.
bool EndsAttributeName(unsigned char b) { return b == 0 || std::strchr(" \t\n\r/=>?", b) != nullptr; }

// A name written into the text must scan back as exactly itself, or the edit would change
// the document's structure.
bool IsPlainName(const char* name, bool element) {
    if (name == nullptr || name[0] == 0 || (element && !IsNameStart(uint8_t(name[0])))) return false;
    for (const char* p = name; *p; ++p) {
        if (EndsName(uint8_t(*p)) || *p == '&') return false;
    }
    return true;
}

// Search names may continue with one of these after the compared bytes.
bool EndsSearchName(char c) { return c == 0 || c == ' ' || c == '/' || c == '=' || c == '[' || c == ']'; }

// The character entity names of HTML 4 and "apos", in lower case, hashed by the sum of their
// bytes modulo 130. Each entry: 0x30 + name length, four decimal digits of the code point,
// the name. Of two names that differ only in case, the capital one comes first and wins.
const char* const kEntityBuckets[130] = {
    "60216oslash60248oslash60217ugrave60249ugrave",
    "58968lceil50937omega50969omega60221yacute60253yacute",
    "50916delta50948delta50206icirc50238icirc68472weierp",
    "40185sup1",
    "68970lfloor40178sup2",
    "60164curren50922kappa50954kappa58212mdash40179sup3",
    "59830diams58211ndash",
    "68855otimes58969rceil",
    "50212ocirc50244ocirc50338oelig50339oelig58482trade",
    "50197aring50229aring50931sigma50963sigma",
    "50180acute68971rfloor50732tilde",
    "68249lsaquo",
    "58734infin68201thinsp",
    "50161iexcl",
    "50920theta50952theta50219ucirc50251ucirc",
    "58254oline",
    "58260frasl68727lowast",
    "59827clubs60191iquest68250rsaquo",
    "58629crarr50181micro",
    "58222bdquo",
    "",
    "60177plusmn58243prime58242prime",
    "40914beta40946beta",
    "",
    "",
    "",
    "50171laquo50215times",
    "40710circ",
    "49001lang",
    "58220ldquo40175macr",
    "40182para50163pound48476real",
    "",
    "58713notin50187raquo",
    "48773cong50223szlig50978upsih",
    "58776asymp58801equiv49002rang58218sbquo",
    "48659darr48595darr40402fnof58221rdquo50222thorn50254thorn",
    "40162cent58722minus",
    "58707exist40170ordf",
    "",
    "58709empty48660harr48596harr40921iota40953iota",
    "",
    "40196auml40228auml48226bull40167sect48838sube",
    "",
    "48656larr48592larr58853oplus",
    "30176deg58216lsquo40186ordm",
    "40039apos40203euml40235euml48712isin40160nbsp",
    "40918zeta40950zeta",
    "38743and48195emsp48719prod",
    "38745cap30935chi30967chi48194ensp",
    "40207iuml40239iuml48706part48869perp48658rarr48594rarr",
    "38736ang48836nsub58217rsquo",
    "",
    "48901sdot48657uarr48593uarr",
    "40169copy48364euro",
    "30919eta30951eta",
    "40214ouml40246ouml48839supe",
    "",
    "",
    "30038amp30174reg",
    "48733prop",
    "",
    "30208eth30240eth30934phi30966phi40220uuml40252uuml",
    "",
    "",
    "",
    "40376yuml40255yuml",
    "",
    "40034quot48204zwnj",
    "38746cup68756there4",
    "30929rho30961rho38764sim",
    "38834sub30932tau30964tau",
    "38747int38206lrm38207rlm",
    "30936psi30968psi30165yen",
    "",
    "28805ge30168uml",
    "30982piv",
    "",
    "30172not",
    "",
    "28804le",
    "30173shy",
    "39674loz28800ne38721sum",
    "",
    "",
    "38835sup",
    "28715ni",
    "",
    "20928pi20960pi38205zwj",
    "",
    "20062gt60923lambda60955lambda",
    "",
    "",
    "60199ccedil60231ccedil",
    "",
    "20060lt",
    "28744or20926xi20958xi",
    "20924mu20956mu",
    "20925nu20957nu",
    "68225dagger68224dagger",
    "80977thetasym",
    "",
    "",
    "",
    "78501alefsym",
    "",
    "",
    "",
    "60193aacute60225aacute60195atilde60227atilde",
    "",
    "60247divide70927omicron70959omicron",
    "60192agrave60224agrave",
    "60201eacute60233eacute60962sigmaf",
    "70917epsilon70949epsilon",
    "",
    "60200egrave60232egrave",
    "60205iacute60237iacute",
    "",
    "",
    "68230hellip60204igrave60236igrave",
    "60166brvbar",
    "68704forall58711nabla60209ntilde60241ntilde69824spades",
    "60189frac1260183middot60211oacute60243oacute60213otilde60245otilde",
    "",
    "50184cedil60188frac14",
    "50194acirc50226acirc50198aelig50230aelig60210ograve60242ograve",
    "60190frac3450915gamma50947gamma58465image58730radic",
    "60352scaron60353scaron",
    "69829hearts60218uacute60250uacute",
    "50913alpha50945alpha50202ecirc50234ecirc70933upsilon70965upsilon",
    "68240permil",
};

uint32_t LookupEntity(const std::string& name) {
    unsigned sum = 0;
    for (unsigned char b : name) sum += b;
    for (const char* p = kEntityBuckets[sum % 130]; *p;) {
        size_t length = size_t(p[0] - 0x30);
        if (length == name.size() && std::memcmp(p + 5, name.data(), length) == 0)
            return uint32_t((p[1] - '0') * 1000 + (p[2] - '0') * 100 + (p[3] - '0') * 10 + (p[4] - '0'));
        p += 5 + length;
    }
    return 0;
}

// Digits as far as they go; 0 (no reference) when there are none or the value is no code point.
uint32_t ParseCodePoint(const std::string& digits, unsigned base) {
    uint32_t code = 0;
    size_t i = 0;
    for (; i < digits.size(); ++i) {
        char c = digits[i];
        unsigned d;
        if (c >= '0' && c <= '9')
            d = unsigned(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = unsigned(c - 'a' + 10);
        else
            break;
        code = code * base + d;
        if (code > 0x10FFFF) return 0;
    }
    return code;
}

void AppendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

// Start tags at least this long get a name index on their first lookup; shorter ones are
// cheaper to scan than to index.
constexpr int32_t kAttributeIndexMinTag = 512;

}  // namespace

// ---- Element index ----

void ElementIndex::Grow(int32_t capacity) {
    if (capacity <= capacity_) return;
    int32_t lastPage = capacity_ > 0 ? (capacity_ - 1) >> kPageBits : -1;
    int32_t needPage = (capacity - 1) >> kPageBits;
    if (needPage > lastPage + 1) {
        capacity = (lastPage + 2) << kPageBits;
        needPage = lastPage + 1;
    }
    if (needPage >= pageTableCapacity_) {
        int32_t tableCapacity = 2 * needPage + 4;
        auto table = std::make_unique<std::unique_ptr<ElementEntry[]>[]>(size_t(tableCapacity));
        for (int32_t i = 0; i < pageTableCapacity_; ++i) table[i] = std::move(pages_[i]);
        pages_ = std::move(table);
        pageTableCapacity_ = tableCapacity;
    }
    auto resize = [this](int32_t page, int32_t oldCount, int32_t newCount) {
        auto entries = std::make_unique<ElementEntry[]>(size_t(newCount));
        if (oldCount > 0) std::memcpy(entries.get(), pages_[page].get(), size_t(oldCount) * sizeof(ElementEntry));
        pages_[page] = std::move(entries);
    };
    int32_t lastCount = lastPage >= 0 ? capacity_ - lastPage * kPageSize : 0;
    if (needPage > lastPage) {
        if (lastPage >= 0 && lastCount < kPageSize) resize(lastPage, lastCount, kPageSize);
        resize(needPage, 0, capacity - (needPage << kPageBits));
    } else {
        resize(lastPage, lastCount, capacity - (lastPage << kPageBits));
    }
    capacity_ = capacity;
}

void ElementIndex::Release() {
    pages_.reset();
    pageTableCapacity_ = 0;
    capacity_ = 0;
}

// ---- Loading ----

bool XC_XmlEngine::LoadDocument(const char* text) {
    if (text != nullptr) {
        text_ = text;
    } else {
        text_.clear();
        index_.Release();
    }
    problems_.clear();
    return Parse();
}

bool XC_XmlEngine::ReplaceDocument(const char* text) {
    text_ = text;
    return Parse();
}

bool XC_XmlEngine::Parse() {
    attributes_.entry = 0;
    Rewind();
    nextFree_ = 1;
    int32_t length = int32_t(text_.size());
    int32_t needed = length / 64 + 8;
    while (index_.Capacity() < needed) index_.Grow(needed);
    index_[0] = ElementEntry{};
    if (length > 0) {
        int32_t first = BuildElements();
        index_[0].length = length;
        if (first == 0) {
            RecordProblem(problems_, "no_root_element", nullptr, nullptr, -1, -1);
        } else {
            index_[0].firstChild = first;
            if (index_[first].nextSibling != 0) RecordProblem(problems_, "root_has_sibling", nullptr, nullptr, -1, -1);
        }
    }
    Rewind();
    return CheckWellFormed();
}

bool XC_XmlEngine::CheckWellFormed() const {
    if (!index_.Allocated()) return false;
    const ElementEntry& doc = index_[0];
    return (doc.flags & ElementEntry::kIllFormed) == 0 && doc.firstChild != 0 &&
           index_[doc.firstChild].nextSibling == 0;
}

int32_t XC_XmlEngine::NewEntry() {
    if (nextFree_ >= index_.Capacity()) index_.Grow(nextFree_ + nextFree_ / 2);
    int32_t entry = nextFree_++;
    index_[entry] = ElementEntry{};
    return entry;
}

// ---- Scanning ----

void XC_XmlEngine::ScanNode(TokenCursor& cursor, NodeInfo& node) const {
    const char* t = text_.data();
    const int32_t n = int32_t(text_.size());
    int32_t p = cursor.next;
    node.start = p;
    node.length = 0;
    node.nodeFlags = 0;
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
        bool blank = true;
        for (; p < n && t[p] != '<'; ++p) blank = blank && IsSpace(uint8_t(t[p]));
        node.kind = blank ? NodeInfo::kWhitespace : NodeInfo::kText;
        finish(p);
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
    auto setName = [&](int32_t from) {
        int32_t i = from;
        while (i < n && !IsSpace(uint8_t(t[i])) && t[i] != '/' && t[i] != '>') ++i;
        if (i < n) {
            cursor.tokenStart = from;
            cursor.tokenEnd = i - 1;
        }
    };
    int32_t q = p + 1;
    const char* syntax = nullptr;
    if (q >= n) {
        unterminated("tag");
        return;
    }
    unsigned char b = uint8_t(t[q]);
    if (b == '/') {
        setName(q + 1);
        const char* end = static_cast<const char*>(std::memchr(t + q, '>', size_t(n - q)));
        if (end == nullptr) {
            unterminated("end_tag");
            return;
        }
        node.kind = NodeInfo::kEndTag;
        finish(int32_t(end - t) + 1);
        return;
    }
    if (b == '?') {
        setName(q + 1);
        int32_t end = findClose(q, "?");
        if (end < 0) {
            unterminated("processing_instruction");
            return;
        }
        node.kind = NodeInfo::kInstruction;
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
        auto delimited = [&](char third, const char* closing, const char* type, int32_t kind, const char* wrongThird) {
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
            node.kind = kind;
            finish(end + 1);
            return true;
        };
        unsigned char c = uint8_t(t[q + 1]);
        if (c == '-') {
            if (delimited('-', "--", "comment", NodeInfo::kComment, "comment_tag_syntax")) return;
        } else if (c == '[') {
            if (delimited('C', "]]", "cdata_section", NodeInfo::kCData, "cdata_section_syntax")) return;
        } else if (c == 'D') {
            ScanDocType(cursor, node, q + 2);
            return;
        } else {
            syntax = "exclamation_tag_syntax";
        }
    } else if (!IsNameStart(b)) {
        syntax = "first_tag_syntax";
    }
    bool error = syntax != nullptr;
    if (error) {
        RecordProblem(node.problems, syntax, nullptr, nullptr, node.start, -1);
    } else {
        setName(q);
    }
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
            if (slash && !error) node.nodeFlags |= NodeInfo::kEmptyElement;
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

// "<!D...": runs to the ">" that closes it, skipping the declarations, comments, instructions
// and tags nested inside. Any problem inside makes the whole node a markup error.
void XC_XmlEngine::ScanDocType(TokenCursor& cursor, NodeInfo& node, int32_t from) const {
    const char* t = text_.data();
    const int32_t n = int32_t(text_.size());
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
            node.kind = error ? NodeInfo::kMarkupError : NodeInfo::kDocType;
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

bool XC_XmlEngine::ScanName(TokenCursor& cursor, int32_t textLength) {
    const char* t = cursor.text;
    int32_t i = cursor.next;
    while (i < textLength && IsSpace(uint8_t(t[i]))) ++i;
    if (i >= textLength) return false;
    int32_t end = i;
    while (end < textLength && !EndsName(uint8_t(t[end]))) ++end;
    if (end == i) ++end;
    cursor.tokenStart = i;
    cursor.tokenEnd = end - 1;
    cursor.next = end;
    return true;
}

void XC_XmlEngine::RecordProblem(std::string& log, const char* problem, const char* valueName, const char* value,
                                 int32_t offset, int32_t offset2) {
    if (log.size() > 999) return;
    // The bytes a scratch document would hold after appending <problem/> and setting the
    // attributes on it one by one.
    log += '<';
    log += problem;
    if (value != nullptr) {
        log += ' ';
        log += valueName;
        log += "=\"";
        log += EncodeValue(value);
        log += '"';
    }
    char number[32];
    if (offset != -1) {
        std::snprintf(number, sizeof number, " offset=\"%d\"", int(offset));
        log += number;
    }
    if (offset2 != -1) {
        std::snprintf(number, sizeof number, " offset2=\"%d\"", int(offset2));
        log += number;
    }
    log += "/>";
}

// ---- Building the index ----

int32_t XC_XmlEngine::BuildElements() {
    OpenElementStack stack;
    stack.reserve(7);
    int32_t current = 0;
    int32_t first = 0;
    TokenCursor cursor;
    cursor.text = text_.data();
    NodeInfo node;
    auto markDamage = [this](int32_t element) {
        index_[0].flags |= ElementEntry::kIllFormed;
        index_[element].flags |= ElementEntry::kStrayMarkup;
    };
    for (;;) {
        ScanNode(cursor, node);
        // Lengths the entry fields cannot hold would spill into their neighbours.
        if ((node.kind == NodeInfo::kStartTag && node.length > int32_t(ElementEntry::kStartTagMask)) ||
            (node.kind == NodeInfo::kEndTag && node.length > int32_t(ElementEntry::kEndTagMax))) {
            node.kind = NodeInfo::kMarkupError;
            RecordProblem(node.problems, "tag_length_limit", nullptr, nullptr, node.start, -1);
        }
        if (node.kind == NodeInfo::kStartTag) {
            int32_t entry = NewEntry();
            if (first == 0) first = entry;
            int32_t firstChild = index_[current].firstChild;
            LinkEntry(entry, current, firstChild != 0 ? index_[firstChild].prevSibling : 0);
            ElementEntry& e = index_[entry];
            e.flags = (e.flags & ~ElementEntry::kLevelMask) |
                      uint32_t(stack.size() < ElementEntry::kLevelMask ? stack.size() : ElementEntry::kLevelMask);
            e.start = node.start;
            e.length = node.length;
            e.SetStartTagLength(node.length);
            if ((node.nodeFlags & NodeInfo::kEmptyElement) == 0) {
                stack.push_back(OpenElement{
                    text_.substr(size_t(cursor.tokenStart), size_t(cursor.tokenEnd - cursor.tokenStart + 1))});
                current = entry;
            }
        } else if (node.kind == NodeInfo::kEndTag) {
            const char* name = text_.data() + cursor.tokenStart;
            size_t nameLength = size_t(cursor.tokenEnd - cursor.tokenStart + 1);
            size_t depth = stack.size();
            int32_t element = current;
            while (depth > 0) {
                const std::string& open = stack[depth - 1].name;
                if (open.size() >= nameLength && open.compare(0, nameLength, name, nameLength) == 0 &&
                    (open.size() == nameLength || std::strchr(" /=[]", open[nameLength]) != nullptr))
                    break;
                --depth;
                element = index_[element].parent;
            }
            if (depth == 0) {
                markDamage(current);
                RecordProblem(problems_, "lone_end_tag", "tagname", std::string(name, nameLength).c_str(), node.start,
                              -1);
                continue;
            }
            while (stack.size() > depth) CloseUnended(stack, current, node.start + 1);
            ElementEntry& e = index_[current];
            e.length = node.start + node.length - e.start;
            e.SetEndTagLength(node.length);
            stack.pop_back();
            current = e.parent;
        } else if (node.kind == NodeInfo::kMarkupError) {
            markDamage(current);
            if (problems_.size() <= 999) problems_ += node.problems;
        } else if (node.kind == NodeInfo::kEndOfText) {
            while (!stack.empty()) CloseUnended(stack, current, int32_t(text_.size()));
            return first;
        }
    }
}

// The element on top of the stack has no end tag: it ends with its start tag, and its
// children become its following siblings.
void XC_XmlEngine::CloseUnended(OpenElementStack& stack, int32_t& current, int32_t closingOffset) {
    int32_t entry = current;
    ElementEntry& e = index_[entry];
    index_[0].flags |= ElementEntry::kIllFormed;
    e.SetEndTagLength(0);
    e.length = e.StartTagLength();
    e.flags |= ElementEntry::kUnended;
    int32_t parent = e.parent;
    if (e.firstChild != 0) {
        int32_t firstMoved = e.firstChild;
        int32_t lastMoved = index_[firstMoved].prevSibling;
        for (int32_t child = firstMoved; child != 0; child = index_[child].nextSibling) index_[child].parent = parent;
        index_[firstMoved].flags &= ~ElementEntry::kFirstChild;
        index_[firstMoved].prevSibling = entry;
        index_[lastMoved].nextSibling = e.nextSibling;
        e.nextSibling = firstMoved;
        e.firstChild = 0;
        index_[index_[parent].firstChild].prevSibling = lastMoved;
    }
    if (e.flags & ElementEntry::kStrayMarkup) {
        e.flags &= ~ElementEntry::kStrayMarkup;
        index_[parent].flags |= ElementEntry::kStrayMarkup;
    }
    RecordProblem(problems_, "unended_start_tag", "tagname", stack.back().name.c_str(), e.start, closingOffset);
    stack.pop_back();
    current = parent;
}

// ---- Navigation ----

void XC_XmlEngine::Rewind() {
    parent_ = 0;
    current_ = 0;
    child_ = 0;
    currentKind_ = 0;
}

bool XC_XmlEngine::NameAt(int32_t entry, const char* name) const {
    if (name == nullptr || name[0] == 0) return true;
    TokenCursor cursor;
    cursor.text = text_.data();
    cursor.next = index_[entry].start + 1;
    if (!ScanName(cursor, int32_t(text_.size()))) return false;
    size_t length = size_t(cursor.tokenEnd - cursor.tokenStart + 1);
    // The token holds no zero byte, so equal bytes mean name is at least that long.
    return std::strncmp(name, text_.data() + cursor.tokenStart, length) == 0 && EndsSearchName(name[length]);
}

int32_t XC_XmlEngine::FindAmong(int32_t first, const char* name) const {
    for (int32_t entry = first; entry != 0; entry = index_[entry].nextSibling) {
        if (NameAt(entry, name)) return entry;
    }
    return 0;
}

bool XC_XmlEngine::FindNext(const char* name) {
    if (!index_.Allocated()) return false;
    int32_t found = FindAmong(current_ != 0 ? index_[current_].nextSibling : index_[parent_].firstChild, name);
    if (found == 0) return false;
    parent_ = index_[found].parent;
    current_ = found;
    child_ = 0;
    currentKind_ = 1;
    return true;
}

bool XC_XmlEngine::FindNextChild(const char* name) {
    if (!index_.Allocated()) return false;
    if (current_ == 0 && !FindNext(nullptr)) return false;
    int32_t found = FindAmong(child_ != 0 ? index_[child_].nextSibling : index_[current_].firstChild, name);
    if (found == 0) return false;
    child_ = found;
    parent_ = index_[current_].parent;
    return true;
}

bool XC_XmlEngine::Descend() {
    if (current_ == 0) return false;
    parent_ = current_;
    current_ = child_;
    child_ = 0;
    currentKind_ = current_ != 0 ? 1 : 0;
    return true;
}

// ---- Attributes ----

bool XC_XmlEngine::FindAttribute(int32_t pos, const char* name, TokenCursor& cursor, AttributeSpot& spot, bool& found,
                                 int32_t& listEnd, AttributeIndex* collect) const {
    const ElementEntry& e = index_[pos];
    const char* t = text_.data();
    // The scan never leaves the start tag: a splice beyond it would break the index.
    const int32_t end = e.start + e.StartTagLength();
    const size_t wantedLength = name != nullptr ? std::strlen(name) : 0;
    cursor.text = t;
    cursor.next = e.start + 1;
    cursor.tokenFlags = 0;
    found = false;
    bool elementName = true;
    bool valueNext = false;
    int32_t nameStart = -1;
    int32_t nameLength = 0;
    int32_t namePre = 0;
    for (;;) {
        int32_t pre = cursor.next;
        int32_t i = pre;
        while (i < end && IsSpace(uint8_t(t[i]))) ++i;
        if (i >= end) {
            cursor.next = end;
            return false;
        }
        char c = t[i];
        if (c == '"' || c == '\'') {
            const char* close = static_cast<const char*>(std::memchr(t + i + 1, c, size_t(end - i - 1)));
            if (close == nullptr) {
                cursor.next = end;
                return false;
            }
            cursor.tokenStart = i + 1;
            cursor.tokenEnd = int32_t(close - t) - 1;
            cursor.next = int32_t(close - t) + 1;
            cursor.tokenFlags = TokenCursor::kQuoted;
        } else {
            int32_t j = i;
            if (valueNext) {
                // An unquoted value; "=" straight before ">" gives an empty one.
                while (j < end && t[j] != 0 && !IsSpace(uint8_t(t[j])) && t[j] != '>') ++j;
            } else {
                while (j < end && !EndsAttributeName(uint8_t(t[j]))) ++j;
                if (j == i) ++j;
            }
            cursor.tokenStart = i;
            cursor.tokenEnd = j - 1;
            cursor.next = j;
            cursor.tokenFlags = 0;
        }
        bool quoted = (cursor.tokenFlags & TokenCursor::kQuoted) != 0;
        if (valueNext) {
            valueNext = false;
            if (nameStart >= 0) {
                spot = AttributeSpot{nameStart - e.start, nameLength, cursor.tokenStart - e.start,
                                     cursor.tokenEnd - e.start, quoted};
                if (collect != nullptr) {
                    collect->spots.push_back(spot);
                } else if (size_t(nameLength) == wantedLength && std::memcmp(t + nameStart, name, wantedLength) == 0) {
                    found = true;
                    cursor.preSpaceStart = namePre;
                    cursor.preSpaceLength = nameStart - namePre;
                    return true;
                }
            }
            nameStart = -1;
            continue;
        }
        if (quoted) {
            nameStart = -1;
            continue;
        }
        if (cursor.tokenEnd == cursor.tokenStart && (c == '/' || c == '>' || c == '?')) {
            cursor.next = pre;
            listEnd = pre - e.start;
            return true;
        }
        if (cursor.tokenEnd == cursor.tokenStart && c == '=') {
            valueNext = true;
            continue;
        }
        if (elementName) {
            elementName = false;
            continue;
        }
        nameStart = i;
        nameLength = cursor.tokenEnd - cursor.tokenStart + 1;
        namePre = pre;
    }
}

namespace {

uint32_t HashName(const char* name, size_t length) {
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < length; ++i) hash = (hash ^ uint8_t(name[i])) * 16777619u;
    return hash;
}

}  // namespace

int32_t XC_XmlEngine::IndexedAttribute(const char* name, size_t length) const {
    const char* base = text_.data() + index_[attributes_.entry].start;
    const size_t mask = attributes_.slots.size() - 1;
    for (size_t i = HashName(name, length) & mask;; i = (i + 1) & mask) {
        int32_t spot = attributes_.slots[i];
        if (spot < 0) return -1;
        const AttributeSpot& a = attributes_.spots[size_t(spot)];
        if (size_t(a.nameLength) == length && std::memcmp(base + a.nameStart, name, length) == 0) return spot;
    }
}

// Adds a spot to the name table unless its name is there already: lookups find the first.
void XC_XmlEngine::AddIndexedAttribute(int32_t spot) {
    const char* base = text_.data() + index_[attributes_.entry].start;
    const AttributeSpot& a = attributes_.spots[size_t(spot)];
    if (IndexedAttribute(base + a.nameStart, size_t(a.nameLength)) >= 0) return;
    if (size_t(attributes_.named + 1) * 2 > attributes_.slots.size()) {
        std::vector<int32_t> old;
        old.swap(attributes_.slots);
        attributes_.slots.assign(old.size() * 2, -1);
        const size_t mask = attributes_.slots.size() - 1;
        for (int32_t kept : old) {
            if (kept < 0) continue;
            const AttributeSpot& k = attributes_.spots[size_t(kept)];
            size_t i = HashName(base + k.nameStart, size_t(k.nameLength)) & mask;
            while (attributes_.slots[i] >= 0) i = (i + 1) & mask;
            attributes_.slots[i] = kept;
        }
    }
    const size_t mask = attributes_.slots.size() - 1;
    size_t i = HashName(base + a.nameStart, size_t(a.nameLength)) & mask;
    while (attributes_.slots[i] >= 0) i = (i + 1) & mask;
    attributes_.slots[i] = spot;
    ++attributes_.named;
}

void XC_XmlEngine::BuildAttributeIndex(int32_t pos) {
    attributes_.entry = 0;
    attributes_.spots.clear();
    attributes_.slots.assign(64, -1);
    attributes_.named = 0;
    TokenCursor cursor;
    AttributeSpot spot{};
    bool found = false;
    if (!FindAttribute(pos, nullptr, cursor, spot, found, attributes_.listEnd, &attributes_)) return;
    attributes_.entry = pos;
    for (size_t k = 0; k < attributes_.spots.size(); ++k) AddIndexedAttribute(int32_t(k));
}

bool XC_XmlEngine::LocateAttribute(int32_t pos, const char* name, AttributeSpot& spot, bool& found, int32_t& listEnd,
                                   int32_t& slot) {
    slot = -1;
    if (useAttributeIndex_) {
        if (attributes_.entry != pos && index_[pos].StartTagLength() >= kAttributeIndexMinTag) BuildAttributeIndex(pos);
        if (attributes_.entry == pos) {
            slot = IndexedAttribute(name, std::strlen(name));
            found = slot >= 0;
            if (found) spot = attributes_.spots[size_t(slot)];
            listEnd = attributes_.listEnd;
            return true;
        }
    }
    TokenCursor cursor;
    return FindAttribute(pos, name, cursor, spot, found, listEnd, nullptr);
}

void XC_XmlEngine::UseAttributeIndex(bool on) {
    useAttributeIndex_ = on;
    attributes_.entry = 0;
}

std::string XC_XmlEngine::GetAttribute(int32_t pos, const char* name) {
    if (pos <= 0 || pos >= nextFree_ || current_ == 0 || name == nullptr || name[0] == 0) return std::string();
    AttributeSpot spot{};
    bool found = false;
    int32_t listEnd = 0;
    int32_t slot = -1;
    if (!LocateAttribute(pos, name, spot, found, listEnd, slot) || !found) return std::string();
    return DecodeValue(text_.data() + index_[pos].start + spot.valueStart, spot.valueEnd - spot.valueStart + 1);
}

bool XC_XmlEngine::SetAttribute(int32_t pos, const char* name, int32_t value) {
    char number[16];
    std::snprintf(number, sizeof number, "%d", int(value));
    return SetAttribute(pos, name, number);
}

bool XC_XmlEngine::SetAttribute(int32_t pos, const char* name, const char* value) {
    if (pos <= 0 || pos >= nextFree_ || current_ == 0 || value == nullptr || !IsPlainName(name, false)) return false;
    AttributeSpot spot{};
    bool found = false;
    int32_t listEnd = 0;
    int32_t slot = -1;
    if (!LocateAttribute(pos, name, spot, found, listEnd, slot)) return false;
    std::string insert;
    int32_t at;
    int32_t replaced;
    if (found) {
        at = spot.quoted ? spot.valueStart - 1 : spot.valueStart;
        replaced = spot.valueEnd - spot.valueStart + 1 + (spot.quoted ? 2 : 0);
        insert = '"' + EncodeValue(value) + '"';
    } else {
        at = listEnd;
        replaced = 0;
        insert = std::string(" ") + name + "=\"" + EncodeValue(value) + '"';
    }
    int64_t delta = int64_t(insert.size()) - replaced;
    ElementEntry& e = index_[pos];
    if (e.StartTagLength() + delta > int64_t(ElementEntry::kStartTagMask) || int64_t(text_.size()) + delta > INT32_MAX)
        return false;
    text_.replace(size_t(e.start + at), size_t(replaced), insert);
    e.SetStartTagLength(e.StartTagLength() + int32_t(delta));
    e.length += int32_t(delta);
    if (delta != 0) ShiftEntries(pos, int32_t(delta));
    if (attributes_.entry == pos) {
        // Keep the name index in step with the splice instead of rebuilding it.
        if (found) {
            AttributeSpot& changed = attributes_.spots[size_t(slot)];
            changed.valueStart = at + 1;
            changed.valueEnd = at + int32_t(insert.size()) - 2;
            changed.quoted = true;
            for (size_t k = size_t(slot) + 1; delta != 0 && k < attributes_.spots.size(); ++k) {
                attributes_.spots[k].nameStart += int32_t(delta);
                attributes_.spots[k].valueStart += int32_t(delta);
                attributes_.spots[k].valueEnd += int32_t(delta);
            }
        } else {
            int32_t nameLength = int32_t(std::strlen(name));
            attributes_.spots.push_back(
                AttributeSpot{at + 1, nameLength, at + nameLength + 3, at + int32_t(insert.size()) - 2, true});
            AddIndexedAttribute(int32_t(attributes_.spots.size() - 1));
        }
        attributes_.listEnd += int32_t(delta);
    }
    return true;
}

std::string XC_XmlEngine::EncodeValue(const char* value) {
    std::string out;
    for (const char* p = value; *p; ++p) {
        switch (*p) {
            case '<':
                out += "&lt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                out += *p;
                break;
        }
    }
    return out;
}

std::string XC_XmlEngine::DecodeValue(const char* text, int32_t length) {
    std::string out;
    out.reserve(size_t(length > 0 ? length : 0));
    for (int32_t i = 0; i < length; ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        std::string name;
        int32_t j = i + 1;
        for (; j < length && name.size() < 9 && text[j] != ';' && uint8_t(text[j]) < 0x80; ++j)
            name += (text[j] >= 'A' && text[j] <= 'Z') ? char(text[j] - 'A' + 'a') : text[j];
        uint32_t code = 0;
        if (j < length && text[j] == ';' && !name.empty()) {
            if (name[0] != '#')
                code = LookupEntity(name);
            else if (name.size() > 1 && name[1] == 'x')
                code = ParseCodePoint(name.substr(2), 16);
            else
                code = ParseCodePoint(name.substr(1), 10);
        }
        if (code != 0) {
            AppendUtf8(out, code);
            i = j;
        } else {
            out += '&';
        }
    }
    return out;
}

// ---- Appending elements ----

int32_t XC_XmlEngine::PlaceNewElement(int32_t parent, int32_t& after, const std::string& element,
                                      const std::string& parentName, std::string& insert, int32_t& at,
                                      int32_t& replaced) const {
    const ElementEntry& p = index_[parent];
    const int32_t startTag = p.StartTagLength();
    const bool empty = p.length == startTag;
    const bool unended = (p.flags & ElementEntry::kUnended) != 0;
    const bool noContent = p.length - startTag == p.EndTagLength();
    int32_t offset;
    if (after != 0)
        offset = index_[after].start + index_[after].length;
    else if (empty)
        offset = unended ? p.start + startTag : p.start + startTag - 1;
    else
        offset = p.start + p.length - p.EndTagLength();
    if (!empty) {
        int32_t i = offset;
        const int32_t n = int32_t(text_.size());
        while (i < n && IsSpace(uint8_t(text_[size_t(i)]))) ++i;
        if (i >= n || text_[size_t(i)] == '<') offset = i;
    }
    if (after == 0 && p.firstChild != 0) after = index_[p.firstChild].prevSibling;
    insert = element + "\r\n";
    at = offset;
    replaced = 0;
    if (empty || noContent) offset += 2;
    if (empty) {
        insert = ">\r\n" + element + "\r\n</" + parentName;
        if (unended) {
            at = p.start + startTag - 1;
        } else {
            at = p.start + startTag - 2;
            replaced = 1;
        }
    } else if (noContent) {
        insert = "\r\n" + insert;
        at = p.start + startTag;
    }
    return offset;
}

void XC_XmlEngine::LinkEntry(int32_t entry, int32_t parent, int32_t after) {
    ElementEntry& e = index_[entry];
    e.parent = parent;
    if (after != 0) {
        ElementEntry& a = index_[after];
        e.nextSibling = a.nextSibling;
        if (a.nextSibling != 0)
            index_[a.nextSibling].prevSibling = entry;
        else
            index_[index_[parent].firstChild].prevSibling = entry;
        a.nextSibling = entry;
        e.prevSibling = after;
        e.flags &= ~ElementEntry::kFirstChild;
    } else {
        index_[parent].firstChild = entry;
        e.prevSibling = entry;
        e.nextSibling = 0;
        e.flags |= ElementEntry::kFirstChild;
    }
}

bool XC_XmlEngine::AppendChild(const char* name) {
    if (current_ == 0 || !IsPlainName(name, true)) return false;
    const int32_t parent = current_;
    const std::string element = std::string("<") + name + "/>";
    std::string parentName;
    {
        const ElementEntry& p = index_[parent];
        if (p.length == p.StartTagLength()) {
            TokenCursor cursor;
            cursor.text = text_.data();
            cursor.next = p.start + 1;
            if (!ScanName(cursor, int32_t(text_.size()))) return false;
            parentName = text_.substr(size_t(cursor.tokenStart), size_t(cursor.tokenEnd - cursor.tokenStart + 1));
            if (parentName.size() + 3 > ElementEntry::kEndTagMax) return false;
        }
    }
    if (element.size() > ElementEntry::kStartTagMask ||
        text_.size() + 2 * element.size() + parentName.size() + 8 > INT32_MAX)
        return false;
    int32_t after = child_;
    std::string insert;
    int32_t at = 0;
    int32_t replaced = 0;
    const int32_t offset = PlaceNewElement(parent, after, element, parentName, insert, at, replaced);
    text_.replace(size_t(at), size_t(replaced), insert);

    ElementEntry& p = index_[parent];
    if (!parentName.empty()) {
        if (p.flags & ElementEntry::kUnended)
            p.flags &= ~ElementEntry::kUnended;
        else
            p.SetStartTagLength(p.StartTagLength() - 1);
        p.SetEndTagLength(int32_t(parentName.size()) + 3);
    }
    const uint32_t level = uint32_t(p.Level()) + 1;
    const int32_t entry = NewEntry();
    ElementEntry& e = index_[entry];
    e.start = offset;
    e.length = int32_t(element.size());
    e.SetStartTagLength(e.length);
    e.flags = level < ElementEntry::kLevelMask ? level : ElementEntry::kLevelMask;
    LinkEntry(entry, parent, after);
    ShiftEntries(entry, int32_t(insert.size()) - replaced);
    child_ = entry;
    if (attributes_.entry == parent) attributes_.entry = 0;
    return true;
}

// After a splice of delta bytes in the start tag of `from` (or in the new element `from`):
// later entries move, enclosing ones grow, up to and including the document entry.
void XC_XmlEngine::ShiftEntries(int32_t from, int32_t delta) {
    int32_t at = from;
    int32_t top = index_[from].parent;
    for (;;) {
        const ElementEntry& e = index_[at];
        if (e.StartTagLength() == 0) break;
        int32_t next;
        if (at != top && e.firstChild != 0) {
            next = e.firstChild;
        } else {
            if (at == top) top = e.parent;
            next = e.nextSibling;
            for (int32_t up = at; next == 0;) {
                up = index_[up].parent;
                if (up == top) {
                    next = top;
                    break;
                }
                next = index_[up].nextSibling;
            }
        }
        if (next == top)
            index_[next].length += delta;
        else
            index_[next].start += delta;
        at = next;
    }
}
