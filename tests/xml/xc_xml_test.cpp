// Tests of the result document: the template, named values, records, the byte-exact shape
// of a finished document, and documents loaded from elsewhere.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "xc_xml.h"

TEST(XcXml, NewDocumentHoldsTheTemplate) {
    XC_Xml xml;
    EXPECT_EQ(xml.GetTextLength(), 97u);
    EXPECT_STREQ(xml.GetText(), XC_Xml::kTemplate);
    EXPECT_EQ(std::strlen(XC_Xml::kTemplate), 97u);
    EXPECT_EQ(xml.GetValue("xResult"), "1");
    EXPECT_EQ(xml.GetValueInt("xResult"), 1);
    EXPECT_EQ(xml.GetValue("Count"), "");
    EXPECT_EQ(xml.GetValueInt("Count"), 0);
}

TEST(XcXml, DeviceReportExampleIsByteExact) {
    XC_Xml xml;
    EXPECT_TRUE(xml.SetRecord(0, "HardwareId", "USB\\VID_1A86&PID_7523"));
    EXPECT_TRUE(xml.SetRecord(0, "PortName", "COM3"));
    EXPECT_TRUE(xml.SetRecord(1, "HardwareId", "USB\\Vid_067b&Pid_2303"));
    EXPECT_TRUE(xml.SetValueInt("Count", 2));
    const char expected[] =
        "<?xml version=\"1.0\" encoding=\"gb2312\"?><zxmlInfo><ExFastInfo xResult=\"1\" Count=\"2\">\r\n"
        "<R00 HardwareId=\"USB\\VID_1A86&amp;PID_7523\" PortName=\"COM3\"/>\r\n"
        "<R01 HardwareId=\"USB\\Vid_067b&amp;Pid_2303\"/>\r\n"
        "</ExFastInfo></zxmlInfo>";
    EXPECT_EQ(xml.GetTextLength(), 219u);
    EXPECT_EQ(std::string(xml.GetText(), xml.GetTextLength()), expected);
    EXPECT_EQ(xml.GetRecord(0, "HardwareId"), "USB\\VID_1A86&PID_7523");
    EXPECT_EQ(xml.GetRecordValue("R01", "HardwareId"), "USB\\Vid_067b&Pid_2303");
    EXPECT_EQ(xml.GetValueInt("Count"), 2);
    // Read back the way the installer does: from a copy of the text.
    XC_Xml copy;
    EXPECT_TRUE(copy.LoadText(std::string(xml.GetText()).c_str()));
    EXPECT_EQ(copy.GetRecord(0, "PortName"), "COM3");
}

TEST(XcXml, SettingAValueTwiceKeepsOneAttribute) {
    XC_Xml xml;
    EXPECT_TRUE(xml.SetValue("Name", "first"));
    EXPECT_TRUE(xml.SetValue("Name", "second"));
    EXPECT_EQ(xml.GetValue("Name"), "second");
    const std::string text = xml.GetText();
    EXPECT_EQ(text.find("Name="), text.rfind("Name="));
}

TEST(XcXml, RecordNamesHaveAtLeastTwoDigits) {
    XC_Xml xml;
    EXPECT_TRUE(xml.SetRecord(0, "f", "a"));
    EXPECT_TRUE(xml.SetRecord(7, "f", "b"));
    EXPECT_TRUE(xml.SetRecord(100, "f", "c"));
    const std::string text = xml.GetText();
    EXPECT_NE(text.find("<R00 f=\"a\"/>"), std::string::npos);
    EXPECT_NE(text.find("<R07 f=\"b\"/>"), std::string::npos);
    EXPECT_NE(text.find("<R100 f=\"c\"/>"), std::string::npos);
    EXPECT_EQ(xml.GetRecordValue("R100", "f"), "c");
}

TEST(XcXml, ReadingAMissingRecordCreatesNothing) {
    XC_Xml xml;
    EXPECT_EQ(xml.GetRecord(3, "f"), "");
    EXPECT_EQ(xml.GetRecordValueInt("R03", "f"), 0);
    EXPECT_STREQ(xml.GetText(), XC_Xml::kTemplate);
}

TEST(XcXml, FirstOfTwoSameNamedRecordsIsReadAndWritten) {
    XC_Xml xml;
    ASSERT_TRUE(xml.LoadText("<zxmlInfo><ExFastInfo><F01 n=\"1\"/><F01 n=\"2\"/></ExFastInfo></zxmlInfo>"));
    EXPECT_EQ(xml.GetRecordValue("F01", "n"), "1");
    EXPECT_TRUE(xml.SetRecordValueInt("F01", "n", -5));
    EXPECT_STREQ(xml.GetText(), "<zxmlInfo><ExFastInfo><F01 n=\"-5\"/><F01 n=\"2\"/></ExFastInfo></zxmlInfo>");
}

TEST(XcXml, WithoutExFastInfoSettersFailAndChangeNothing) {
    const char other[] = "<root><Other a=\"1\"/></root>";
    XC_Xml xml;
    EXPECT_TRUE(xml.LoadText(other));
    EXPECT_FALSE(xml.SetValue("a", "2"));
    EXPECT_FALSE(xml.SetValueInt("a", 2));
    EXPECT_FALSE(xml.SetRecordValue("R00", "a", "2"));
    EXPECT_FALSE(xml.SetRecord(0, "a", "2"));
    EXPECT_EQ(xml.GetValue("a"), "");
    EXPECT_STREQ(xml.GetText(), other);
}

// Values and records live in the first "ExFastInfo" among the first top-level element's
// children, wherever it stands among its siblings; one nested deeper or under a later
// top-level element is not the result element.
TEST(XcXml, ValuesAndRecordsShareTheOneResultElement) {
    XC_Xml xml;
    EXPECT_TRUE(
        xml.LoadText("<zxmlInfo><Head><ExFastInfo v=\"deep\"><R00 f=\"deep\"/></ExFastInfo></Head>"
                     "<ExFastInfo v=\"top\"><R00 f=\"top\"/></ExFastInfo></zxmlInfo>"));
    EXPECT_EQ(xml.GetValue("v"), "top");
    EXPECT_EQ(xml.GetRecord(0, "f"), "top");
    EXPECT_TRUE(xml.SetValue("w", "1"));
    EXPECT_TRUE(xml.SetRecord(1, "g", "2"));
    EXPECT_EQ(xml.GetValue("w"), "1");
    EXPECT_EQ(xml.GetRecord(1, "g"), "2");
    const std::string text = xml.GetText();
    const std::string head = "<zxmlInfo><Head><ExFastInfo v=\"deep\"><R00 f=\"deep\"/></ExFastInfo></Head>";
    EXPECT_EQ(text.substr(0, head.size()), head);
    EXPECT_NE(text.find("<ExFastInfo v=\"top\" w=\"1\">", head.size()), std::string::npos) << text;

    const char nestedOnly[] = "<a><b><ExFastInfo v=\"1\"/></b></a>";
    EXPECT_TRUE(xml.LoadText(nestedOnly));
    EXPECT_EQ(xml.GetValue("v"), "");
    EXPECT_EQ(xml.GetRecord(0, "f"), "");
    EXPECT_FALSE(xml.SetValue("v", "2"));
    EXPECT_FALSE(xml.SetRecord(0, "f", "2"));
    EXPECT_STREQ(xml.GetText(), nestedOnly);
}

TEST(XcXml, LoadTextWithNothingKeepsTheDocument) {
    XC_Xml xml;
    xml.SetValue("k", "v");
    const std::string before = xml.GetText();
    EXPECT_FALSE(xml.LoadText(nullptr));
    EXPECT_EQ(xml.GetText(), before);
    EXPECT_EQ(xml.GetValue("k"), "v");
}

TEST(XcXml, DamagedTextStillReplacesTheDocumentAndKeepsTheLog) {
    XC_Xml xml;
    EXPECT_FALSE(xml.LoadText("<zxmlInfo><ExFastInfo a=\"1\"></x></ExFastInfo></zxmlInfo>"));
    EXPECT_EQ(xml.GetValue("a"), "1");
    EXPECT_FALSE(xml.LoadText("<zxmlInfo><ExFastInfo a=\"2\"></y></ExFastInfo></zxmlInfo>"));
    EXPECT_EQ(xml.GetValue("a"), "2");
    const std::string log = xml.ProblemLog();
    EXPECT_NE(log.find("tagname=\"x\""), std::string::npos);
    EXPECT_NE(log.find("tagname=\"y\""), std::string::npos);
    EXPECT_TRUE(xml.LoadText(XC_Xml::kTemplate));
    EXPECT_EQ(xml.GetValue("a"), "");
}

TEST(XcXml, GbkTextRoundTrips) {
    const char path[] = "\\\xBC\xA4\xB9\xE2\\\xD6\xD0\xCE\xC4 \xCE\xC4\xBC\xFE.txt";
    XC_Xml xml;
    EXPECT_TRUE(xml.SetValue("FILE0", path));
    EXPECT_TRUE(xml.SetRecord(0, "Name", path));
    EXPECT_NE(std::string(xml.GetText()).find(path), std::string::npos);
    XC_Xml copy;
    EXPECT_TRUE(copy.LoadText(xml.GetText()));
    EXPECT_EQ(copy.GetValue("FILE0"), path);
    EXPECT_EQ(copy.GetRecord(0, "Name"), path);
}

struct IntCase {
    const char* text;
    int value;
};

class XcXmlInt : public ::testing::TestWithParam<IntCase> {};

TEST_P(XcXmlInt, DecimalConversion) {
    XC_Xml xml;
    ASSERT_TRUE(xml.SetValue("n", GetParam().text));
    EXPECT_EQ(xml.GetValueInt("n"), GetParam().value);
    ASSERT_TRUE(xml.SetRecordValue("R00", "n", GetParam().text));
    EXPECT_EQ(xml.GetRecordValueInt("R00", "n"), GetParam().value);
}

const IntCase kIntCases[] = {
    {"42", 42},
    {"  -17", -17},
    {"+8", 8},
    {"12abc", 12},
    {"abc", 0},
    {"", 0},
    {"- 3", 0},
    {"2147483647", 2147483647},
    {"-2147483648", -2147483647 - 1},
    {"99999999999", 2147483647},
    {"-99999999999", -2147483647 - 1},
};
INSTANTIATE_TEST_SUITE_P(Cases, XcXmlInt, ::testing::ValuesIn(kIntCases));

TEST(XcXml, IntegerSettersWriteDecimal) {
    XC_Xml xml;
    EXPECT_TRUE(xml.SetValueInt("a", -2147483647 - 1));
    EXPECT_TRUE(xml.SetRecordValueInt("R00", "b", 2147483647));
    EXPECT_EQ(xml.GetValue("a"), "-2147483648");
    EXPECT_EQ(xml.GetRecordValue("R00", "b"), "2147483647");
}

TEST(XcXml, FileInformationDocumentWithAttributeIndexMatchesThePlainScan) {
    // The builder's pattern: one attribute per file on "ExFastInfo", with the count beside.
    XC_Xml fast;
    XC_Xml plain;
    plain.UseAttributeIndex(false);
    for (XC_Xml* xml : {&fast, &plain}) {
        for (int i = 0; i < 300; ++i) {
            int c = xml->GetValueInt("FileCount");
            std::string key = "FILE" + std::to_string(c);
            std::string path = "\\inkscape\\share\\" + std::to_string(i) + "&\xD6\xD0.svg";
            ASSERT_TRUE(xml->SetValue(key.c_str(), path.c_str()));
            ASSERT_TRUE(xml->SetValueInt("FileCount", c + 1));
            if (i % 50 == 0) {
                ASSERT_TRUE(xml->SetValueInt("PathCount", i));
            }
        }
    }
    ASSERT_STREQ(fast.GetText(), plain.GetText());
    XC_Xml loaded;
    ASSERT_TRUE(loaded.LoadText(fast.GetText()));
    ASSERT_EQ(loaded.GetValueInt("FileCount"), 300);
    for (int i = 0; i < 300; ++i) {
        std::string key = "FILE" + std::to_string(i);
        std::string path = "\\inkscape\\share\\" + std::to_string(i) + "&\xD6\xD0.svg";
        ASSERT_EQ(loaded.GetValue(key.c_str()), path);
    }
    EXPECT_EQ(loaded.GetValueInt("PathCount"), 250);
}
