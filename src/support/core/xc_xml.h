// The result document: a small key-value XML document in a fixed frame through which the
// parts of the program hand results to one another and store them in the payload. Named
// values are attributes of "ExFastInfo"; records are its child elements, fields their
// attributes. Portable, no platform calls.
#pragma once

#include <cstdint>
#include <string>

#include "xc_xmlengine.h"

class XC_Xml : public XC_XmlEngine {
public:
    // The text every document starts from (97 bytes).
    static constexpr const char* kTemplate =
        "<?xml version=\"1.0\" encoding=\"gb2312\"?><zxmlInfo><ExFastInfo "
        "xResult=\"1\"></ExFastInfo></zxmlInfo>";

    XC_Xml();

    // Missing values read as "" (or 0 from the integer getters).
    std::string GetValue(const char* name);
    int GetValueInt(const char* name);
    // False only when there is no "ExFastInfo" under the first top-level element.
    bool SetValue(const char* name, const char* text);
    bool SetValueInt(const char* name, int32_t value);

    // Records are child elements of "ExFastInfo"; a setter creates a missing record.
    std::string GetRecordValue(const char* record, const char* field);
    int GetRecordValueInt(const char* record, const char* field);
    bool SetRecordValue(const char* record, const char* field, const char* text);
    bool SetRecordValueInt(const char* record, const char* field, int32_t value);

    // Numbered records named "R%02d" (R00, R07, R123).
    std::string GetRecord(int index, const char* field);
    bool SetRecord(int index, const char* field, const char* text);

    // Null: false and no change. Otherwise replaces the document and returns the
    // well-formed check.
    bool LoadText(const char* text);
    // Valid until the next edit.
    const char* GetText() const { return DocumentText(); }
    uint32_t GetTextLength() const { return uint32_t(DocumentLength()); }

private:
    // From a cleared position to "ExFastInfo" among the first top-level element's children,
    // which becomes the current position; false when there is none.
    bool FindResultElement();
    // What finding a missing record does.
    enum class MissingRecord { Fail, Append };
    // On to the first record of that name, which becomes the child position.
    bool FindRecord(const char* record, MissingRecord missing);
};
