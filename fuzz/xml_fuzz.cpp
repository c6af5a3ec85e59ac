// Fuzzes the XML engine: any text loads, and edits driven by the input keep every entry
// inside the text. Input: edit script bytes, a zero byte, then the document text.
#include <cstdint>
#include <cstring>
#include <string>

#include "xc_xml.h"

namespace {

void CheckIndex(const XC_Xml& xml) {
    const int32_t length = xml.GetTextLength();
    for (int32_t n = 1; n < xml.NextFreeEntry(); ++n) {
        const ElementEntry& e = xml.Entry(n);
        if (e.start < 0 || e.length < 0 || e.start + e.length > length) __builtin_trap();
        if (e.StartTagLength() > e.length) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t* split = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    const std::string script = split ? std::string(reinterpret_cast<const char*>(data), split - data) : "";
    const std::string text = split ? std::string(reinterpret_cast<const char*>(split + 1), data + size - split - 1)
                                   : std::string(reinterpret_cast<const char*>(data), size);
    XC_Xml xml;
    xml.LoadText(text.c_str());
    CheckIndex(xml);
    static const char* names[] = {"Count", "FILE0", "PathCount", "a", "xResult", "ExFastInfo", "R00"};
    for (size_t i = 0; i + 1 < script.size(); i += 2) {
        const char* name = names[uint8_t(script[i]) % 7];
        const std::string value(1 + uint8_t(script[i + 1]) % 5, script[i + 1]);
        switch (uint8_t(script[i]) >> 5) {
            case 0:
                xml.SetValue(name, value.c_str());
                break;
            case 1:
                xml.SetValueInt(name, uint8_t(script[i + 1]));
                break;
            case 2:
                xml.SetRecord(uint8_t(script[i + 1]) % 120, name, value.c_str());
                break;
            case 3:
                xml.GetValue(name);
                break;
            case 4:
                xml.GetRecord(uint8_t(script[i + 1]) % 120, name);
                break;
            case 5:
                xml.SetRecordValue(name, "f", value.c_str());
                break;
            default:
                xml.GetValueInt(name);
                break;
        }
        CheckIndex(xml);
    }
    return 0;
}
