// The element index of the XML engine: its paged entries, building it from the nodes of a
// loaded text, linking entries among their siblings, and shifting the recorded offsets after
// a splice so that the index always equals what a fresh load of the text would build.
#include <cstring>
#include <vector>

#include "xc_xmlengine.h"
#include "xml_scanner.h"

using xml::NodeInfo;
using xml::RecordProblem;

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

int32_t XC_XmlEngine::NewEntry() {
    if (nextFree_ >= index_.Capacity()) index_.Grow(nextFree_ + nextFree_ / 2);
    int32_t entry = nextFree_++;
    index_[entry] = ElementEntry{};
    return entry;
}

int32_t XC_XmlEngine::BuildElements() {
    // The names of the elements open around the scan position, innermost last.
    std::vector<std::string> open;
    open.reserve(7);
    int32_t current = 0;
    int32_t first = 0;
    xml::TokenCursor cursor;
    NodeInfo node;
    auto markDamage = [this](int32_t element) {
        index_[0].flags |= ElementEntry::kIllFormed;
        index_[element].flags |= ElementEntry::kStrayMarkup;
    };
    auto closeUnended = [&](int32_t closingOffset) {
        CloseUnended(open.back(), current, closingOffset);
        open.pop_back();
    };
    for (;;) {
        xml::ScanNode(text_.data(), int32_t(text_.size()), cursor, node);
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
                      uint32_t(open.size() < ElementEntry::kLevelMask ? open.size() : ElementEntry::kLevelMask);
            e.start = node.start;
            e.length = node.length;
            e.SetStartTagLength(node.length);
            if (!node.emptyElement) {
                open.push_back(
                    text_.substr(size_t(cursor.tokenStart), size_t(cursor.tokenEnd - cursor.tokenStart + 1)));
                current = entry;
            }
        } else if (node.kind == NodeInfo::kEndTag) {
            const std::string name =
                text_.substr(size_t(cursor.tokenStart), size_t(cursor.tokenEnd - cursor.tokenStart + 1));
            size_t depth = open.size();
            while (depth > 0 && open[depth - 1] != name) --depth;
            if (depth == 0) {
                markDamage(current);
                RecordProblem(problems_, "lone_end_tag", "tagname", name.c_str(), node.start, -1);
                continue;
            }
            while (open.size() > depth) closeUnended(node.start + 1);
            ElementEntry& e = index_[current];
            e.length = node.start + node.length - e.start;
            e.SetEndTagLength(node.length);
            open.pop_back();
            current = e.parent;
        } else if (node.kind == NodeInfo::kMarkupError) {
            markDamage(current);
            if (problems_.size() <= 999) problems_ += node.problems;
        } else if (node.kind == NodeInfo::kEndOfText) {
            while (!open.empty()) closeUnended(int32_t(text_.size()));
            return first;
        }
    }
}

// The element `current`, named `name`, has no end tag: it ends with its start tag, and its
// children become its following siblings. Its parent becomes current.
void XC_XmlEngine::CloseUnended(const std::string& name, int32_t& current, int32_t closingOffset) {
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
    RecordProblem(problems_, "unended_start_tag", "tagname", name.c_str(), e.start, closingOffset);
    current = parent;
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

// Where the new element `element` goes among the children of `parent` (after `after`, or
// else last): the text to splice in at `at` over `replaced` bytes. Returns the new element's
// offset once spliced; `after` becomes the sibling it follows (0 for none).
int32_t XC_XmlEngine::PlaceNewElement(int32_t parent, int32_t& after, const std::string& element,
                                      const std::string& parentName, std::string& insert, int32_t& at,
                                      int32_t& replaced) const {
    const ElementEntry& p = index_[parent];
    const int32_t startTag = p.StartTagLength();
    replaced = 0;
    if (p.length == startTag) {
        // A single tag becomes a start tag whose final ">" stays and closes the new end tag.
        // Every "/" in front of that ">" goes: one left behind would end the tag empty again.
        const int32_t close = p.start + startTag - 1;
        if ((p.flags & ElementEntry::kUnended) == 0) {
            while (replaced < startTag - 2 && text_[size_t(close - 1 - replaced)] == '/') ++replaced;
        }
        at = close - replaced;
        insert = ">\r\n" + element + "\r\n</" + parentName;
        return at + 3;
    }
    int32_t offset = after != 0 ? index_[after].start + index_[after].length : p.start + p.length - p.EndTagLength();
    const int32_t n = int32_t(text_.size());
    int32_t i = offset;
    while (i < n && xml::IsSpace(uint8_t(text_[size_t(i)]))) ++i;
    if (i >= n || text_[size_t(i)] == '<') offset = i;
    if (after == 0 && p.firstChild != 0) after = index_[p.firstChild].prevSibling;
    insert = element + "\r\n";
    at = offset;
    if (p.length - startTag == p.EndTagLength()) {
        // No content: the new element gets a line of its own after the start tag.
        insert = "\r\n" + insert;
        at = p.start + startTag;
        offset += 2;
    }
    return offset;
}
