// The XML engine: one document kept as a single byte string plus an index of element
// entries that record where each element lies in it. Edits splice the text and shift the
// recorded offsets; there is no node tree and no serializer. Bytes from 0x80 up pass through
// untouched and no encoding is ever converted. Portable, no platform calls.
//
// The parts: xml_scanner (nodes of the text and the one rule for where a name ends),
// xml_index (building the index, linking and shifting entries), xml_attributes (attribute
// lookup with its name index), xml_values (value encoding and character references), and
// xc_xmlengine.cpp (loading, navigation, appending).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One element of the document, found by its offsets into the document text.
struct ElementEntry {
    int32_t start;        // offset of the element's "<"
    int32_t length;       // from "<" through the end of the end tag (start-tag length if none)
    uint32_t tagLengths;  // low 22 bits: start-tag length; high 10 bits: end-tag length
    uint32_t flags;       // bits 0-15 level, plus the flag bits below
    int32_t parent;
    int32_t firstChild;
    int32_t nextSibling;
    int32_t prevSibling;  // the first child's field names the last child

    static constexpr uint32_t kStartTagMask = 0x3FFFFF;
    static constexpr uint32_t kEndTagShift = 22;
    static constexpr uint32_t kEndTagMax = 0x3FF;
    static constexpr uint32_t kLevelMask = 0xFFFF;
    static constexpr uint32_t kFirstChild = 1u << 19;
    static constexpr uint32_t kUnended = 1u << 20;
    static constexpr uint32_t kStrayMarkup = 1u << 21;
    static constexpr uint32_t kIllFormed = 1u << 23;

    int32_t StartTagLength() const { return int32_t(tagLengths & kStartTagMask); }
    int32_t EndTagLength() const { return int32_t(tagLengths >> kEndTagShift); }
    int32_t Level() const { return int32_t(flags & kLevelMask); }
    void SetStartTagLength(int32_t n) { tagLengths = (tagLengths & ~kStartTagMask) | (uint32_t(n) & kStartTagMask); }
    void SetEndTagLength(int32_t n) { tagLengths = (tagLengths & kStartTagMask) | (uint32_t(n) << kEndTagShift); }
};

// Element entries in pages of 65536; entry n lives in page n >> 16, slot n & 0xFFFF. Entries
// never move between pages, and a growth step adds at most one page.
class ElementIndex {
public:
    ElementIndex() = default;
    ElementIndex(const ElementIndex&) = delete;
    ElementIndex& operator=(const ElementIndex&) = delete;

    static constexpr int32_t kPageBits = 16;
    static constexpr int32_t kPageSize = 1 << kPageBits;

    ElementEntry& operator[](int32_t n) { return pages_[n >> kPageBits][n & (kPageSize - 1)]; }
    const ElementEntry& operator[](int32_t n) const { return pages_[n >> kPageBits][n & (kPageSize - 1)]; }
    int32_t Capacity() const { return capacity_; }
    bool Allocated() const { return pages_ != nullptr; }

    // Grows towards `capacity` entries, at most one new page per call; never shrinks.
    void Grow(int32_t capacity);
    void Release();

private:
    std::unique_ptr<std::unique_ptr<ElementEntry[]>[]> pages_;
    int32_t pageTableCapacity_ = 0;
    int32_t capacity_ = 0;
};

class XC_XmlEngine {
public:
    XC_XmlEngine() = default;
    XC_XmlEngine(const XC_XmlEngine&) = delete;
    XC_XmlEngine& operator=(const XC_XmlEngine&) = delete;

    // Replaces the document with a copy of text (or with nothing), empties the problem log
    // and parses. Returns CheckWellFormed().
    bool LoadDocument(const char* text);
    const char* DocumentText() const { return text_.c_str(); }
    int32_t DocumentLength() const { return int32_t(text_.size()); }
    bool CheckWellFormed() const;

    // Navigation by entry numbers; 0 means none.
    void Rewind();
    bool FindNext(const char* name);
    bool FindNextChild(const char* name);
    bool Descend();

    // Attributes of the element at entry pos; pos 0 or no current position gives "" / false.
    std::string GetAttribute(int32_t pos, const char* name);
    bool SetAttribute(int32_t pos, const char* name, const char* value);
    bool SetAttribute(int32_t pos, const char* name, int32_t value);
    // Appends the empty element <name/> as a child of the current position, after the
    // current child or else after the last child; it becomes the child position. Names that
    // could not scan back as themselves are refused, here and by the searches and setters.
    bool AppendChild(const char* name);

    int32_t ParentPosition() const { return parent_; }
    int32_t CurrentPosition() const { return current_; }
    int32_t ChildPosition() const { return child_; }
    int32_t NextFreeEntry() const { return nextFree_; }
    // Entry n, for n below NextFreeEntry() after a load; entry 0 is the document entry.
    const ElementEntry& Entry(int32_t n) const { return index_[n]; }
    const std::string& ProblemLog() const { return problems_; }

    // Start tags with many attributes are looked up through a name index built on first use
    // and kept in step with every splice. Off, every lookup scans the start tag from its
    // beginning: the reference the index is checked and measured against.
    void UseAttributeIndex(bool on);

    static std::string EncodeValue(const char* value);
    static std::string DecodeValue(const char* text, int32_t length);

protected:
    // Replaces the text and parses it as LoadDocument does, but keeps the problem log.
    bool ReplaceDocument(const char* text);

private:
    // Where one attribute's name and value lie, relative to its element's start.
    struct AttributeSpot {
        int32_t nameStart;
        int32_t nameLength;
        int32_t valueStart;
        int32_t valueEnd;  // inclusive; valueStart - 1 for an empty value
        bool quoted;
    };
    // The attributes of one long start tag in order, with an open-addressing table of the
    // first occurrence of each name; kept in step with every splice.
    struct AttributeIndex {
        int32_t entry = 0;    // 0: holds nothing
        int32_t listEnd = 0;  // where a new attribute goes, relative to the start
        std::vector<AttributeSpot> spots;
        std::vector<int32_t> slots;  // spot numbers, -1 for a free slot; size a power of two
        int32_t named = 0;           // used slots
    };

    bool Parse();

    // Building and editing the index (xml_index.cpp).
    int32_t NewEntry();
    int32_t BuildElements();
    void CloseUnended(const std::string& name, int32_t& current, int32_t closingOffset);
    void LinkEntry(int32_t entry, int32_t parent, int32_t after);
    void ShiftEntries(int32_t from, int32_t delta);
    int32_t PlaceNewElement(int32_t parent, int32_t& after, const std::string& element, const std::string& parentName,
                            std::string& insert, int32_t& at, int32_t& replaced) const;

    // Navigation (xc_xmlengine.cpp).
    bool NameAt(int32_t entry, const char* name) const;
    int32_t FindAmong(int32_t first, const char* name) const;

    // Attributes (xml_attributes.cpp). FindAttribute walks the attribute list of the start
    // tag of pos. Stops at the attribute named `name` (found), or at the end of the list
    // (listEnd); with `collect`, records every attribute instead. False when there is no list
    // an edit could safely extend: it does not end inside the start tag, a quote stands where
    // a name is expected, or it ends after an "=" with no value.
    bool FindAttribute(int32_t pos, const char* name, AttributeSpot& spot, bool& found, int32_t& listEnd,
                       AttributeIndex* collect) const;
    void BuildAttributeIndex(int32_t pos);
    int32_t IndexedAttribute(const char* name, size_t length) const;
    void AddIndexedAttribute(int32_t spot);
    bool LocateAttribute(int32_t pos, const char* name, AttributeSpot& spot, bool& found, int32_t& listEnd,
                         int32_t& slot);

    std::string text_;
    std::string problems_;
    int32_t parent_ = 0;
    int32_t current_ = 0;
    int32_t child_ = 0;
    int32_t nextFree_ = 1;
    ElementIndex index_;

    bool useAttributeIndex_ = true;
    AttributeIndex attributes_;
};
