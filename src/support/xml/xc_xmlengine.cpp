// The XML engine's public face: loading a text into the index, the well-formed check,
// navigation by entry numbers, and appending child elements. The scanner, the index, the
// attributes and the value coding each live in their own file beside this one.
#include "xc_xmlengine.h"

#include <cstring>

#include "xml_scanner.h"

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
            xml::RecordProblem(problems_, "no_root_element", nullptr, nullptr, -1, -1);
        } else {
            index_[0].firstChild = first;
            if (index_[first].nextSibling != 0)
                xml::RecordProblem(problems_, "root_has_sibling", nullptr, nullptr, -1, -1);
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

// ---- Navigation ----

void XC_XmlEngine::Rewind() {
    parent_ = 0;
    current_ = 0;
    child_ = 0;
}

// A search name matches an element whose name is exactly that name. No name matches any
// element.
bool XC_XmlEngine::NameAt(int32_t entry, const char* name) const {
    if (name == nullptr || name[0] == 0) return true;
    xml::TokenCursor cursor;
    cursor.next = index_[entry].start + 1;
    if (!xml::ScanName(text_.data(), int32_t(text_.size()), cursor)) return false;
    const size_t length = size_t(cursor.tokenEnd - cursor.tokenStart + 1);
    return std::strlen(name) == length && std::memcmp(name, text_.data() + cursor.tokenStart, length) == 0;
}

int32_t XC_XmlEngine::FindAmong(int32_t first, const char* name) const {
    // A name the name rule refuses is the name of no element.
    if (name != nullptr && name[0] != 0 && !xml::IsName(name, true)) return 0;
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
    return true;
}

bool XC_XmlEngine::AppendChild(const char* name) {
    if (current_ == 0 || !xml::IsName(name, true)) return false;
    const int32_t parent = current_;
    const std::string element = std::string("<") + name + "/>";
    std::string parentName;
    {
        const ElementEntry& p = index_[parent];
        if (p.length == p.StartTagLength()) {
            xml::TokenCursor cursor;
            cursor.next = p.start + 1;
            if (!xml::ScanName(text_.data(), int32_t(text_.size()), cursor)) return false;
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
            p.SetStartTagLength(p.StartTagLength() - replaced);
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
