// The result document: each operation is one walk from the top of the document to
// "ExFastInfo" or one of its records, then one attribute read or write.
#include "xc_xml.h"

#include <climits>

#include "textformat.h"

namespace {

// Leading whitespace, an optional sign, decimal digits up to the first other byte; 0 when
// there are none. Saturates instead of overflowing.
int DecimalValue(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > int64_t(INT_MAX) + 1) value = int64_t(INT_MAX) + 1;
    }
    if (negative) value = -value;
    return value > INT_MAX ? INT_MAX : int(value);
}

std::string RecordName(int index) { return FormatText("R%02d", index); }

}  // namespace

XC_Xml::XC_Xml() {
    LoadDocument(nullptr);
    LoadDocument(kTemplate);
}

bool XC_Xml::FindResultElement() {
    Rewind();
    return FindNext(nullptr) && Descend() && FindNext("ExFastInfo");
}

bool XC_Xml::FindRecord(const char* record, MissingRecord missing) {
    return FindResultElement() && (FindNextChild(record) || (missing == MissingRecord::Append && AppendChild(record)));
}

std::string XC_Xml::GetValue(const char* name) {
    if (!FindResultElement()) return std::string();
    return GetAttribute(CurrentPosition(), name);
}

int XC_Xml::GetValueInt(const char* name) { return DecimalValue(GetValue(name)); }

bool XC_Xml::SetValue(const char* name, const char* text) {
    return FindResultElement() && SetAttribute(CurrentPosition(), name, text);
}

bool XC_Xml::SetValueInt(const char* name, int32_t value) {
    return FindResultElement() && SetAttribute(CurrentPosition(), name, value);
}

std::string XC_Xml::GetRecordValue(const char* record, const char* field) {
    if (!FindRecord(record, MissingRecord::Fail)) return std::string();
    return GetAttribute(ChildPosition(), field);
}

int XC_Xml::GetRecordValueInt(const char* record, const char* field) {
    return DecimalValue(GetRecordValue(record, field));
}

bool XC_Xml::SetRecordValue(const char* record, const char* field, const char* text) {
    return FindRecord(record, MissingRecord::Append) && SetAttribute(ChildPosition(), field, text);
}

bool XC_Xml::SetRecordValueInt(const char* record, const char* field, int32_t value) {
    return SetRecordValue(record, field, std::to_string(value).c_str());
}

std::string XC_Xml::GetRecord(int index, const char* field) { return GetRecordValue(RecordName(index).c_str(), field); }

bool XC_Xml::SetRecord(int index, const char* field, const char* text) {
    return SetRecordValue(RecordName(index).c_str(), field, text);
}

bool XC_Xml::LoadText(const char* text) {
    if (text == nullptr) return false;
    return ReplaceDocument(text);
}
