// Fuzzes the XML engine with the result document on top. Input: edit script bytes, a zero
// byte, then the document text. Any text loads with every entry inside the text; the edits
// keep it so. For a text that loaded well-formed, every edit must leave a text that reloads
// well-formed to exactly the index the edits kept. A value written reads back as itself, and
// the attribute name index agrees with the plain scan of the start tag.
#include <cstdint>
#include <cstring>
#include <string>

#include "../tests/xml/xml_reload_check.h"
#include "xc_xml.h"

namespace {

void CheckBounds(const XC_Xml& xml) {
    const int32_t length = xml.DocumentLength();
    if (int32_t(std::strlen(xml.DocumentText())) != length || xml.Entry(0).length != length) __builtin_trap();
    for (int32_t n = 1; n < xml.NextFreeEntry(); ++n) {
        const ElementEntry& e = xml.Entry(n);
        if (e.start < 0 || e.length < 0 || e.start + e.length > length) __builtin_trap();
        if (e.StartTagLength() > e.length || xml.DocumentText()[e.start] != '<') __builtin_trap();
    }
}

void CheckReload(const XC_Xml& xml) {
    XC_XmlEngine fresh;
    if (!fresh.LoadDocument(xml.DocumentText()) || !CompareTrees(xml, 0, fresh, 0).empty()) __builtin_trap();
}

// Plain names, names the name rule refuses, and names at the end-tag length limit.
const std::string& Name(uint8_t pick) {
    static const std::string names[] = {
        "",
        "a",
        "b",
        "r",
        "x",
        "FILE0",
        "ExFastInfo",
        "R00",
        "_:q",
        "1a",
        "a\\b",
        "a;b",
        "a!",
        "a//",
        "a b",
        "a&b",
        "a=b",
        "a>",
        "a\"",
        "\xD6\xD0\xCE\xC4",
        std::string(1020, 'n'),
        std::string(1021, 'n'),
    };
    constexpr size_t count = sizeof names / sizeof names[0];
    return names[pick % count];
}

std::string Value(uint8_t pick) {
    static const char* const pieces[] = {"v", "&", "<", ">", "\"", "'", " ", "\xD6\xD0", "&amp;", "/>", "&eacute;"};
    std::string value;
    for (int i = 0; i < pick % 4; ++i) value += pieces[(pick / 4 + i * 3) % 11];
    return value;
}

// Applies one step to both documents; the second one scans start tags without the index.
void Step(XC_Xml& xml, XC_Xml& plain, uint8_t op, uint8_t arg) {
    const char* name = (arg & 0x80) ? nullptr : Name(arg).c_str();
    const int32_t pos = int32_t(arg % unsigned(xml.NextFreeEntry() + 1));
    const std::string value = Value(arg);
    switch (op % 10) {
        case 0:
            xml.Rewind();
            plain.Rewind();
            break;
        case 1:
            xml.FindNext(name);
            plain.FindNext(name);
            break;
        case 2:
            xml.FindNextChild(name);
            plain.FindNextChild(name);
            break;
        case 3:
            xml.Descend();
            plain.Descend();
            break;
        case 4: {
            // A value written reads back as itself, through either lookup.
            const char* attribute = Name(op >> 3).c_str();
            const bool set = xml.SetAttribute(pos, attribute, value.c_str());
            if (set != plain.SetAttribute(pos, attribute, value.c_str())) __builtin_trap();
            if (set && (xml.GetAttribute(pos, attribute) != value || plain.GetAttribute(pos, attribute) != value))
                __builtin_trap();
            break;
        }
        case 5: {
            const char* attribute = Name(op >> 3).c_str();
            const int32_t number = int32_t(uint32_t(arg) * 0x01010101u);
            const bool set = xml.SetAttribute(pos, attribute, number);
            if (set != plain.SetAttribute(pos, attribute, number)) __builtin_trap();
            if (set && xml.GetAttribute(pos, attribute) != std::to_string(number)) __builtin_trap();
            break;
        }
        case 6:
            if (xml.AppendChild(Name(arg).c_str()) != plain.AppendChild(Name(arg).c_str())) __builtin_trap();
            break;
        case 7:
            if (xml.GetAttribute(pos, Name(op >> 3).c_str()) != plain.GetAttribute(pos, Name(op >> 3).c_str()))
                __builtin_trap();
            break;
        case 8:
            xml.SetRecord(arg % 120, Name(op >> 3).c_str(), value.c_str());
            plain.SetRecord(arg % 120, Name(op >> 3).c_str(), value.c_str());
            break;
        default:
            xml.SetRecordValue(Name(arg).c_str(), Name(op >> 3).c_str(), value.c_str());
            plain.SetRecordValue(Name(arg).c_str(), Name(op >> 3).c_str(), value.c_str());
            break;
    }
    if (xml.ParentPosition() != plain.ParentPosition() || xml.CurrentPosition() != plain.CurrentPosition() ||
        xml.ChildPosition() != plain.ChildPosition())
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t* split = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    const std::string script = split ? std::string(reinterpret_cast<const char*>(data), split - data) : "";
    const std::string text = split ? std::string(reinterpret_cast<const char*>(split + 1), data + size - split - 1)
                                   : std::string(reinterpret_cast<const char*>(data), size);
    XC_Xml xml;
    XC_Xml plain;
    plain.UseAttributeIndex(false);
    const bool wellFormed = xml.LoadText(text.c_str());
    plain.LoadText(text.c_str());
    CheckBounds(xml);
    if (wellFormed) CheckReload(xml);
    for (size_t i = 0; i + 1 < script.size(); i += 2) {
        Step(xml, plain, uint8_t(script[i]), uint8_t(script[i + 1]));
        CheckBounds(xml);
        if (wellFormed) CheckReload(xml);
    }
    if (std::strcmp(xml.DocumentText(), plain.DocumentText()) != 0) __builtin_trap();
    return 0;
}
