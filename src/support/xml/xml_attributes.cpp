// Attributes of the XML engine: finding one in a start tag, reading and writing its value,
// and the name index that keeps lookups in long start tags from rescanning the whole tag.
#include <cstring>
#include <string>

#include "xc_xmlengine.h"
#include "xml_scanner.h"

namespace {

// Start tags at least this long get a name index on their first lookup; shorter ones are
// cheaper to scan than to index.
constexpr int32_t kAttributeIndexMinTag = 512;

uint32_t HashName(const char* name, size_t length) {
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < length; ++i) hash = (hash ^ uint8_t(name[i])) * 16777619u;
    return hash;
}

}  // namespace

bool XC_XmlEngine::FindAttribute(int32_t pos, const char* name, AttributeSpot& spot, bool& found, int32_t& listEnd,
                                 AttributeIndex* collect) const {
    const ElementEntry& e = index_[pos];
    const char* t = text_.data();
    // The scan never leaves the start tag: a splice beyond it would break the index.
    const int32_t end = e.start + e.StartTagLength();
    const size_t wantedLength = name != nullptr ? std::strlen(name) : 0;
    found = false;
    bool elementName = true;
    bool valueNext = false;
    bool emptyValue = false;  // the last token was an unquoted value with nothing in it
    int32_t nameStart = -1;   // the attribute name waiting for its value
    int32_t nameLength = 0;
    int32_t next = e.start + 1;
    for (;;) {
        const int32_t pre = next;  // just after the previous token: where a new attribute goes
        int32_t i = pre;
        while (i < end && xml::IsSpace(uint8_t(t[i]))) ++i;
        if (i >= end) return false;
        const char c = t[i];
        const bool quoted = c == '"' || c == '\'';
        // The start tag's own scan opens quotes only after "=". A quote where a name is
        // expected is no attribute list that scan would agree on: nothing is read from it.
        if (quoted && !valueNext) return false;
        int32_t tokenStart = i;
        int32_t tokenEnd;
        if (quoted) {
            const char* close = static_cast<const char*>(std::memchr(t + i + 1, c, size_t(end - i - 1)));
            if (close == nullptr) return false;
            tokenStart = i + 1;
            tokenEnd = int32_t(close - t) - 1;
            next = int32_t(close - t) + 1;
        } else {
            int32_t j = i;
            if (valueNext) {
                // An unquoted value; "=" straight before ">" gives an empty one.
                while (j < end && t[j] != 0 && !xml::IsSpace(uint8_t(t[j])) && t[j] != '>') ++j;
            } else {
                j = xml::NameEnd(t, end, i);
                if (j == i) ++j;
            }
            tokenEnd = j - 1;
            next = j;
        }
        const bool afterEmptyValue = emptyValue;
        emptyValue = valueNext && !quoted && tokenEnd < tokenStart;
        if (valueNext) {
            valueNext = false;
            if (nameStart >= 0) {
                spot = AttributeSpot{nameStart - e.start, nameLength, tokenStart - e.start, tokenEnd - e.start, quoted};
                if (collect != nullptr) {
                    collect->spots.push_back(spot);
                } else if (size_t(nameLength) == wantedLength && std::memcmp(t + nameStart, name, wantedLength) == 0) {
                    found = true;
                    return true;
                }
            }
            nameStart = -1;
            continue;
        }
        if (tokenEnd == tokenStart && (c == '/' || c == '>' || c == '?')) {
            // After an "=" with no value, an attribute added here would be read as that
            // value: the list has no end to add to.
            listEnd = pre - e.start;
            return !afterEmptyValue;
        }
        if (tokenEnd == tokenStart && c == '=') {
            valueNext = true;
            continue;
        }
        if (elementName) {
            elementName = false;
            continue;
        }
        nameStart = i;
        nameLength = tokenEnd - tokenStart + 1;
    }
}

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
    AttributeSpot spot{};
    bool found = false;
    if (!FindAttribute(pos, nullptr, spot, found, attributes_.listEnd, &attributes_)) return;
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
    return FindAttribute(pos, name, spot, found, listEnd, nullptr);
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
    return SetAttribute(pos, name, std::to_string(value).c_str());
}

bool XC_XmlEngine::SetAttribute(int32_t pos, const char* name, const char* value) {
    if (pos <= 0 || pos >= nextFree_ || current_ == 0 || value == nullptr || !xml::IsName(name, false)) return false;
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
