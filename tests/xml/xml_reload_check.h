// The check behind every edit of the XML engine: the index the edits kept must equal the one
// a fresh load of the edited text builds. Shared by the engine's tests and its fuzzer.
#pragma once

#include <string>

#include "xc_xmlengine.h"

// Walks both indexes in document order and reports the first difference in offsets,
// lengths, levels or links; entry numbers themselves may differ.
inline std::string CompareTrees(const XC_XmlEngine& a, int32_t ea, const XC_XmlEngine& b, int32_t eb) {
    const ElementEntry& x = a.Entry(ea);
    const ElementEntry& y = b.Entry(eb);
    std::string where = "element at " + std::to_string(y.start);
    if (x.start != y.start || x.length != y.length || x.tagLengths != y.tagLengths)
        return where + ": offsets or lengths differ (edited start " + std::to_string(x.start) + ")";
    if (ea != 0 && x.Level() != y.Level()) return where + ": level differs";
    int32_t ca = x.firstChild;
    int32_t cb = y.firstChild;
    int32_t prevA = 0;
    while (ca != 0 && cb != 0) {
        const ElementEntry& c = a.Entry(ca);
        if (c.parent != ea) return where + ": child with wrong parent";
        if (((c.flags & ElementEntry::kFirstChild) != 0) != (prevA == 0)) return where + ": first-child flag misplaced";
        if (prevA != 0 && c.prevSibling != prevA) return where + ": previous-sibling link broken";
        std::string inner = CompareTrees(a, ca, b, cb);
        if (!inner.empty()) return inner;
        prevA = ca;
        ca = c.nextSibling;
        cb = b.Entry(cb).nextSibling;
    }
    if (ca != 0 || cb != 0) return where + ": different number of children";
    if (x.firstChild != 0 && a.Entry(x.firstChild).prevSibling != prevA)
        return where + ": first child does not name the last child";
    return std::string();
}

inline std::string CompareWithReload(const XC_XmlEngine& edited) {
    XC_XmlEngine fresh;
    fresh.LoadDocument(edited.DocumentText());
    if (fresh.DocumentLength() != edited.DocumentLength()) return "text length differs";
    return CompareTrees(edited, 0, fresh, 0);
}
