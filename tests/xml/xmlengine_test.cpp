// Tests of the XML engine: the index a load builds, navigation, the problem records of
// damaged input, attribute reading and writing, appended elements, and the agreement of
// every edited index (and of the attribute name index) with a fresh load of the same text.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "xc_xmlengine.h"
#include "xml_reload_check.h"

namespace {

const char kTemplate[] =
    "<?xml version=\"1.0\" encoding=\"gb2312\"?><zxmlInfo><ExFastInfo xResult=\"1\"></ExFastInfo></zxmlInfo>";

// Makes `entry` the current position (or its parent current and it the child position).
bool GoTo(XC_XmlEngine& xml, int32_t entry, bool asChild) {
    std::vector<int32_t> path;
    for (int32_t e = entry; e != 0; e = xml.Entry(e).parent) path.insert(path.begin(), e);
    if (asChild) path.pop_back();
    xml.Rewind();
    for (size_t level = 0; level < path.size(); ++level) {
        if (level > 0 && !xml.Descend()) return false;
        int32_t first = level == 0 ? xml.Entry(0).firstChild : xml.Entry(path[level - 1]).firstChild;
        for (int32_t e = first;; e = xml.Entry(e).nextSibling) {
            if (!xml.FindNext(nullptr)) return false;
            if (e == path[level]) break;
        }
    }
    if (asChild) {
        int32_t first = path.empty() ? xml.Entry(0).firstChild : xml.Entry(path.back()).firstChild;
        for (int32_t e = first;; e = xml.Entry(e).nextSibling) {
            if (!xml.FindNextChild(nullptr)) return false;
            if (e == entry) break;
        }
    }
    return xml.CurrentPosition() == (asChild ? path.back() : entry) && (!asChild || xml.ChildPosition() == entry);
}

int32_t EntryNamed(XC_XmlEngine& xml, const char* top, const char* child) {
    xml.Rewind();
    if (!xml.FindNext(top)) return 0;
    if (child == nullptr) return xml.CurrentPosition();
    return xml.FindNextChild(child) ? xml.ChildPosition() : 0;
}

}  // namespace

// ---- Loading ----

TEST(XmlEngineLoad, TemplateIndexIsByteExact) {
    XC_XmlEngine xml;
    ASSERT_TRUE(xml.LoadDocument(kTemplate));
    EXPECT_EQ(xml.Entry(0).length, 97);
    EXPECT_EQ(xml.Entry(0).firstChild, 1);
    const ElementEntry& root = xml.Entry(1);
    EXPECT_EQ(root.start, 39);
    EXPECT_EQ(root.length, 58);
    EXPECT_EQ(root.StartTagLength(), 10);
    EXPECT_EQ(root.EndTagLength(), 11);
    EXPECT_EQ(root.Level(), 0);
    const ElementEntry& info = xml.Entry(2);
    EXPECT_EQ(info.start, 49);
    EXPECT_EQ(info.length, 37);
    EXPECT_EQ(info.StartTagLength(), 24);
    EXPECT_EQ(info.EndTagLength(), 13);
    EXPECT_EQ(info.Level(), 1);
    EXPECT_EQ(info.parent, 1);
    EXPECT_EQ(info.prevSibling, 2);
    EXPECT_NE(info.flags & ElementEntry::kFirstChild, 0u);
    EXPECT_EQ(xml.NextFreeEntry(), 3);
    EXPECT_EQ(xml.ProblemLog(), "");
}

TEST(XmlEngineLoad, NewAndEmptyDocumentsAreNotWellFormed) {
    XC_XmlEngine xml;
    EXPECT_FALSE(xml.CheckWellFormed());
    EXPECT_FALSE(xml.FindNext(nullptr));
    EXPECT_FALSE(xml.FindNextChild(nullptr));
    EXPECT_FALSE(xml.LoadDocument(""));
    EXPECT_EQ(xml.ProblemLog(), "");
    EXPECT_FALSE(xml.LoadDocument(nullptr));
    EXPECT_EQ(xml.DocumentLength(), 0);
    EXPECT_FALSE(xml.FindNext(nullptr));
}

struct DamageCase {
    const char* text;
    const char* log;
    uint32_t docFlags;
};

class XmlEngineDamage : public ::testing::TestWithParam<DamageCase> {};

TEST_P(XmlEngineDamage, RecordsTheProblemAndKeepsIndexing) {
    const DamageCase& c = GetParam();
    XC_XmlEngine xml;
    EXPECT_FALSE(xml.LoadDocument(c.text));
    EXPECT_EQ(xml.ProblemLog(), c.log);
    EXPECT_EQ(xml.Entry(0).flags & ElementEntry::kIllFormed, c.docFlags);
    EXPECT_EQ(xml.Entry(0).length, int32_t(std::strlen(c.text)));
}

const DamageCase kDamageCases[] = {
    // b opened in a and never closed: closed at the "/" of a's end tag.
    {"<a><b></a>", "<unended_start_tag tagname=\"b\" offset=\"3\" offset2=\"7\"/>", ElementEntry::kIllFormed},
    {"<a></b></a>", "<lone_end_tag tagname=\"b\" offset=\"3\"/>", ElementEntry::kIllFormed},
    {"<a/><b/>", "<root_has_sibling/>", 0},
    {"just text", "<no_root_element/>", 0},
    {"<!-- only a comment -->", "<no_root_element/>", 0},
    {"<a x=1/>", "<unended_start_tag tagname=\"a\" offset=\"0\" offset2=\"8\"/>", ElementEntry::kIllFormed},
    {"<a>< b/></a>", "<first_tag_syntax offset=\"3\"/>", ElementEntry::kIllFormed},
    {"<a><!x></a>", "<exclamation_tag_syntax offset=\"3\"/>", ElementEntry::kIllFormed},
    {"<a><!-x></a>", "<comment_tag_syntax offset=\"3\"/>", ElementEntry::kIllFormed},
    {"<a><![x]></a>", "<cdata_section_syntax offset=\"3\"/>", ElementEntry::kIllFormed},
    {"<a><!--x",
     "<unterminated_tag_syntax type=\"comment\" offset=\"3\"/>"
     "<unended_start_tag tagname=\"a\" offset=\"0\" offset2=\"8\"/>",
     ElementEntry::kIllFormed},
    {"<a><b x=\"1",
     "<unterminated_tag_syntax type=\"start_tag\" offset=\"3\"/>"
     "<unended_start_tag tagname=\"a\" offset=\"0\" offset2=\"10\"/>",
     ElementEntry::kIllFormed},
    {"<a></a",
     "<unterminated_tag_syntax type=\"end_tag\" offset=\"3\"/>"
     "<unended_start_tag tagname=\"a\" offset=\"0\" offset2=\"6\"/>",
     ElementEntry::kIllFormed},
    {"<a/><", "<unterminated_tag_syntax type=\"tag\" offset=\"4\"/>", ElementEntry::kIllFormed},
    {"<!DOCTYPE a [<!ELEMENT a ANY><!Q>]><a/>", "<doctype_tag_syntax offset=\"0\"/>", ElementEntry::kIllFormed},
    {"<!DOCTYPE a [", "<unterminated_tag_syntax type=\"document_type\" offset=\"0\"/><no_root_element/>",
     ElementEntry::kIllFormed},
};
INSTANTIATE_TEST_SUITE_P(Cases, XmlEngineDamage, ::testing::ValuesIn(kDamageCases));

TEST(XmlEngineLoad, UnendedChildIsClosedAndItsChildrenBecomeSiblings) {
    XC_XmlEngine xml;
    EXPECT_FALSE(xml.LoadDocument("<a><b><c/><d/></a>"));
    const ElementEntry& b = xml.Entry(2);
    EXPECT_EQ(b.length, 3);
    EXPECT_EQ(b.StartTagLength(), 3);
    EXPECT_EQ(b.EndTagLength(), 0);
    EXPECT_NE(b.flags & ElementEntry::kUnended, 0u);
    EXPECT_EQ(b.firstChild, 0);
    EXPECT_EQ(b.nextSibling, 3);
    EXPECT_EQ(xml.Entry(3).parent, 1);
    EXPECT_EQ(xml.Entry(3).flags & ElementEntry::kFirstChild, 0u);
    EXPECT_EQ(xml.Entry(4).parent, 1);
    EXPECT_EQ(xml.Entry(1).length, 18);
    EXPECT_EQ(xml.Entry(xml.Entry(1).firstChild).prevSibling, 4);
}

TEST(XmlEngineLoad, LoneEndTagFlagsItsParentWhichStillCompletes) {
    XC_XmlEngine xml;
    EXPECT_FALSE(xml.LoadDocument("<a></b></a>"));
    EXPECT_NE(xml.Entry(1).flags & ElementEntry::kStrayMarkup, 0u);
    EXPECT_EQ(xml.Entry(1).length, 11);
    EXPECT_EQ(xml.Entry(1).EndTagLength(), 4);
}

TEST(XmlEngineLoad, StrayMarkupFlagMovesUpWhenItsElementIsClosedAsUnended) {
    XC_XmlEngine xml;
    EXPECT_FALSE(xml.LoadDocument("<a><b></x></a>"));
    EXPECT_EQ(xml.Entry(2).flags & ElementEntry::kStrayMarkup, 0u);
    EXPECT_NE(xml.Entry(2).flags & ElementEntry::kUnended, 0u);
    EXPECT_NE(xml.Entry(1).flags & ElementEntry::kStrayMarkup, 0u);
    EXPECT_EQ(xml.ProblemLog(),
              "<lone_end_tag tagname=\"x\" offset=\"6\"/>"
              "<unended_start_tag tagname=\"b\" offset=\"3\" offset2=\"11\"/>");
}

TEST(XmlEngineLoad, RootSiblingsAreNavigable) {
    XC_XmlEngine xml;
    EXPECT_FALSE(xml.LoadDocument("<a/><b/>"));
    xml.Rewind();
    ASSERT_TRUE(xml.FindNext("b"));
    EXPECT_EQ(xml.CurrentPosition(), 2);
    EXPECT_EQ(xml.Entry(2).parent, 0);
}

TEST(XmlEngineLoad, QuotedGreaterThanDoesNotEndTheTag) {
    XC_XmlEngine xml;
    ASSERT_TRUE(xml.LoadDocument("<a x=\"1>2\" y='>'/>"));
    EXPECT_EQ(xml.Entry(1).StartTagLength(), 18);
    EXPECT_EQ(xml.Entry(1).length, 18);
    xml.Rewind();
    ASSERT_TRUE(xml.FindNext(nullptr));
    EXPECT_EQ(xml.GetAttribute(1, "x"), "1>2");
    EXPECT_EQ(xml.GetAttribute(1, "y"), ">");
}

TEST(XmlEngineLoad, GbkNamesScanAsNameBytes) {
    const char text[] = "<\xBC\xA4\xB9\xE2><\xC9\xE8 \xC3\xFB=\"\xD6\xB5\"/></\xBC\xA4\xB9\xE2>";
    XC_XmlEngine xml;
    ASSERT_TRUE(xml.LoadDocument(text));
    xml.Rewind();
    ASSERT_TRUE(xml.FindNext("\xBC\xA4\xB9\xE2"));
    ASSERT_TRUE(xml.FindNextChild("\xC9\xE8"));
    EXPECT_EQ(xml.GetAttribute(xml.ChildPosition(), "\xC3\xFB"), "\xD6\xB5");
}

TEST(XmlEngineLoad, ProblemLogStopsGrowingPast999Bytes) {
    std::string text = "<a>";
    for (int i = 0; i < 200; ++i) text += "</zz>";
    text += "</a>";
    XC_XmlEngine xml;
    EXPECT_FALSE(xml.LoadDocument(text.c_str()));
    const std::string& log = xml.ProblemLog();
    const size_t record = std::strlen("<lone_end_tag tagname=\"zz\" offset=\"3\"/>");
    EXPECT_GT(log.size(), 999u);
    EXPECT_LT(log.size(), 999u + 2 * record);
    EXPECT_EQ(log.compare(log.size() - 2, 2, "/>"), 0);
    EXPECT_EQ(xml.Entry(1).length, int32_t(text.size()));
}

TEST(XmlEngineLoad, IndexGrowsPastOnePage) {
    const int count = 3 * ElementIndex::kPageSize / 2;
    std::string text = "<r>";
    for (int i = 0; i < count; ++i) text += "<e/>";
    text += "</r>";
    XC_XmlEngine xml;
    ASSERT_TRUE(xml.LoadDocument(text.c_str()));
    EXPECT_EQ(xml.NextFreeEntry(), count + 2);
    const ElementEntry& last = xml.Entry(count + 1);
    EXPECT_EQ(last.start, 3 + 4 * (count - 1));
    EXPECT_EQ(last.parent, 1);
    EXPECT_EQ(xml.Entry(xml.Entry(1).firstChild).prevSibling, count + 1);
    // Appending keeps growing the index one page at a time, and the result re-loads alike.
    xml.Rewind();
    ASSERT_TRUE(xml.FindNext(nullptr));
    for (int i = 0; i < ElementIndex::kPageSize; ++i) ASSERT_TRUE(xml.AppendChild("n"));
    EXPECT_EQ(CompareWithReload(xml), "");
}

// ---- Navigation ----

TEST(XmlEngineNavigation, FindNextChildKeepsTheCurrentElement) {
    XC_XmlEngine xml;
    xml.LoadDocument(kTemplate);
    xml.Rewind();
    ASSERT_TRUE(xml.FindNext(nullptr));
    EXPECT_EQ(xml.CurrentPosition(), 1);
    ASSERT_TRUE(xml.FindNextChild("ExFastInfo"));
    EXPECT_EQ(xml.ChildPosition(), 2);
    EXPECT_EQ(xml.CurrentPosition(), 1);
    EXPECT_FALSE(xml.FindNextChild("ExFastInfo"));
    EXPECT_EQ(xml.ChildPosition(), 2);
}

TEST(XmlEngineNavigation, DescendThenFindNextSearchesTheChildren) {
    XC_XmlEngine xml;
    xml.LoadDocument("<r><a/><b/><a n=\"2\"/></r>");
    xml.Rewind();
    ASSERT_TRUE(xml.FindNext(nullptr));
    ASSERT_TRUE(xml.Descend());
    EXPECT_EQ(xml.ParentPosition(), 1);
    EXPECT_EQ(xml.CurrentPosition(), 0);
    ASSERT_TRUE(xml.FindNext("a"));
    EXPECT_EQ(xml.CurrentPosition(), 2);
    ASSERT_TRUE(xml.FindNext("a"));
    EXPECT_EQ(xml.CurrentPosition(), 4);
    EXPECT_FALSE(xml.FindNext("a"));
    EXPECT_EQ(xml.CurrentPosition(), 4);
    xml.Rewind();
    EXPECT_FALSE(xml.Descend());
}

TEST(XmlEngineNavigation, NamesMatchWholeTokensOnly) {
    XC_XmlEngine xml;
    xml.LoadDocument("<r><ab/><a/></r>");
    xml.Rewind();
    ASSERT_TRUE(xml.FindNextChild("a"));
    EXPECT_EQ(xml.ChildPosition(), 3);
    xml.Rewind();
    EXPECT_FALSE(xml.FindNextChild("A"));
}

// ---- Attributes ----

TEST(XmlEngineAttributes, CountIsAddedThenReplacedInPlace) {
    XC_XmlEngine xml;
    xml.LoadDocument(kTemplate);
    int32_t info = EntryNamed(xml, nullptr, "ExFastInfo");
    ASSERT_TRUE(xml.SetAttribute(info, "Count", 2));
    EXPECT_STREQ(xml.DocumentText(),
                 "<?xml version=\"1.0\" encoding=\"gb2312\"?><zxmlInfo><ExFastInfo xResult=\"1\" "
                 "Count=\"2\"></ExFastInfo></zxmlInfo>");
    EXPECT_EQ(xml.Entry(info).StartTagLength(), 34);
    ASSERT_TRUE(xml.SetAttribute(info, "Count", 3));
    EXPECT_EQ(xml.Entry(info).StartTagLength(), 34);
    EXPECT_EQ(xml.DocumentLength(), 107);
    EXPECT_EQ(xml.GetAttribute(info, "Count"), "3");
    EXPECT_EQ(CompareWithReload(xml), "");
}

TEST(XmlEngineAttributes, SpecialBytesAreEscapedAndReadBack) {
    XC_XmlEngine xml;
    xml.LoadDocument("<a/>");
    int32_t a = EntryNamed(xml, nullptr, nullptr);
    const char value[] = "x<y & \"z\" 'w' > \xD6\xD0\xCE\xC4";
    ASSERT_TRUE(xml.SetAttribute(a, "v", value));
    EXPECT_STREQ(xml.DocumentText(), "<a v=\"x&lt;y &amp; &quot;z&quot; &apos;w&apos; &gt; \xD6\xD0\xCE\xC4\"/>");
    EXPECT_EQ(xml.GetAttribute(a, "v"), value);
}

struct DecodeCase {
    const char* written;
    const char* read;
};

class XmlEngineDecode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(XmlEngineDecode, ReferencesBecomeUtf8) {
    std::string text = std::string("<a v=\"") + GetParam().written + "\"/>";
    XC_XmlEngine xml;
    ASSERT_TRUE(xml.LoadDocument(text.c_str()));
    EXPECT_EQ(xml.GetAttribute(EntryNamed(xml, nullptr, nullptr), "v"), GetParam().read);
}

const DecodeCase kDecodeCases[] = {
    {"&#x41;&#169;&eacute;", "A\xC2\xA9\xC3\xA9"},
    {"&#X41;&EACUTE;&Eacute;", "A\xC3\x89\xC3\x89"},
    {"&lt;&amp;&gt;&quot;&apos;", "<&>\"'"},
    {"&euro;&thetasym;&nbsp;", "\xE2\x82\xAC\xCF\x91\xC2\xA0"},
    {"&#128512;", "\xF0\x9F\x98\x80"},
    {"a & b", "a & b"},
    {"&nosuch;&#0;&#x110000;&;", "&nosuch;&#0;&#x110000;&;"},
    {"&amp", "&amp"},
    {"&abcdefghij;", "&abcdefghij;"},
    {"&\xB0\xA1;", "&\xB0\xA1;"},
    // A name is taken in its exact case first; case is folded only when no name matches exactly.
    {"&eacute;&Eacute;&EACUTE;", "\xC3\xA9\xC3\x89\xC3\x89"},
    {"&oslash;&Oslash;&dArr;&darr;&DARR;", "\xC3\xB8\xC3\x98\xE2\x87\x93\xE2\x86\x93\xE2\x87\x93"},
    {"&ETH;&eth;&AElig;&aelig;&Prime;&prime;&Amp;", "\xC3\x90\xC3\xB0\xC3\x86\xC3\xA6\xE2\x80\xB3\xE2\x80\xB2&"},
};
INSTANTIATE_TEST_SUITE_P(Cases, XmlEngineDecode, ::testing::ValuesIn(kDecodeCases));

TEST(XmlEngineAttributes, SingleQuotedAndUnquotedValuesAreRewrittenDoubleQuoted) {
    XC_XmlEngine xml;
    ASSERT_TRUE(xml.LoadDocument("<a p='1' q=2 r=\"3\"></a>"));
    int32_t a = EntryNamed(xml, nullptr, nullptr);
    EXPECT_EQ(xml.GetAttribute(a, "q"), "2");
    ASSERT_TRUE(xml.SetAttribute(a, "p", "one"));
    ASSERT_TRUE(xml.SetAttribute(a, "q", "two"));
    EXPECT_STREQ(xml.DocumentText(), "<a p=\"one\" q=\"two\" r=\"3\"></a>");
    EXPECT_EQ(CompareWithReload(xml), "");
}

TEST(XmlEngineAttributes, MissingPositionsAndNamesChangeNothing) {
    XC_XmlEngine xml;
    xml.LoadDocument("<a x=\"1\"/>");
    EXPECT_FALSE(xml.SetAttribute(1, "x", "2"));  // no current position yet
    EXPECT_EQ(xml.GetAttribute(1, "x"), "");
    xml.Rewind();
    ASSERT_TRUE(xml.FindNext(nullptr));
    const char* badNames[] = {nullptr, "", "a b", "a>b", "a=b", "a\"b", "a/b", "a&b"};
    for (const char* name : badNames) EXPECT_FALSE(xml.SetAttribute(1, name, "v")) << (name ? name : "(null)");
    EXPECT_FALSE(xml.SetAttribute(0, "x", "2"));
    EXPECT_FALSE(xml.SetAttribute(7, "x", "2"));
    EXPECT_FALSE(xml.SetAttribute(1, "x", nullptr));
    EXPECT_EQ(xml.GetAttribute(7, "x"), "");
    EXPECT_STREQ(xml.DocumentText(), "<a x=\"1\"/>");
}

TEST(XmlEngineAttributes, EditsNeverReachBeyondTheStartTag) {
    // The quote does not follow "=", so the tag ends at the first ">"; the attribute scan
    // must not follow the quote into the text after it.
    const char text[] = "<r><a \"x>y\" b=\"1\"></a></r>";
    XC_XmlEngine xml;
    xml.LoadDocument(text);
    int32_t a = EntryNamed(xml, nullptr, "a");
    ASSERT_NE(a, 0);
    EXPECT_EQ(xml.GetAttribute(a, "b"), "");
    EXPECT_FALSE(xml.SetAttribute(a, "b", "2"));
    EXPECT_FALSE(xml.SetAttribute(a, "c", "3"));
    EXPECT_STREQ(xml.DocumentText(), text);
}

TEST(XmlEngineAttributes, EmptyUnquotedValueIsReplacedWithoutTouchingTheTagEnd) {
    XC_XmlEngine xml;
    xml.LoadDocument("<a x=></a>");
    int32_t a = EntryNamed(xml, nullptr, nullptr);
    EXPECT_EQ(xml.GetAttribute(a, "x"), "");
    ASSERT_TRUE(xml.SetAttribute(a, "x", "1"));
    EXPECT_STREQ(xml.DocumentText(), "<a x=\"1\"></a>");
    EXPECT_EQ(CompareWithReload(xml), "");
}

TEST(XmlEngineAttributes, QuoteWhereANameIsExpectedStopsTheAttributeScan) {
    // The start tag's own scan opens quotes only after "=": here the ">" in "1>2" lies inside
    // a value for it, so an attribute scan that took the quote after b as opening one would
    // end the list inside that value and splice there.
    const char* const texts[] = {"<r><a k=\"1\" 'x'=\"y>z\"></a></r>", "<r><a \"c=\"1>2\"/></r>",
                                 "<r><a b\"c=\"1>2\"/></r>"};
    for (const char* text : texts) {
        XC_XmlEngine xml;
        ASSERT_TRUE(xml.LoadDocument(text)) << text;
        int32_t a = EntryNamed(xml, nullptr, "a");
        ASSERT_NE(a, 0);
        EXPECT_FALSE(xml.SetAttribute(a, "d", "v")) << text;
        EXPECT_EQ(xml.GetAttribute(a, "c"), "") << text;
        EXPECT_STREQ(xml.DocumentText(), text);
    }
    XC_XmlEngine xml;
    xml.LoadDocument(texts[0]);
    int32_t a = EntryNamed(xml, nullptr, "a");
    ASSERT_TRUE(xml.SetAttribute(a, "k", "2"));
    EXPECT_EQ(xml.GetAttribute(a, "k"), "2");
    EXPECT_EQ(CompareWithReload(xml), "");
}

TEST(XmlEngineAttributes, NoAttributeIsAddedWhereItWouldBecomeAnEmptyValue) {
    // After "x=" with nothing before the tag's end, " y=..." would be read as x's value.
    for (const char* text : {"<a x= ></a>", "<a x=></a>", "<a k=\"1\" x=\t></a>"}) {
        XC_XmlEngine xml;
        xml.LoadDocument(text);
        int32_t a = EntryNamed(xml, nullptr, nullptr);
        EXPECT_FALSE(xml.SetAttribute(a, "y", "v")) << text;
        EXPECT_STREQ(xml.DocumentText(), text);
        ASSERT_TRUE(xml.SetAttribute(a, "x", "1")) << text;
        ASSERT_TRUE(xml.SetAttribute(a, "y", "v")) << text;
        EXPECT_EQ(xml.GetAttribute(a, "x"), "1") << text;
        EXPECT_EQ(xml.GetAttribute(a, "y"), "v") << text;
        EXPECT_EQ(CompareWithReload(xml), "") << text;
    }
}

// ---- Appending ----

struct AppendCase {
    const char* before;
    int children;
    const char* after;
};

class XmlEngineAppend : public ::testing::TestWithParam<AppendCase> {};

TEST_P(XmlEngineAppend, LayoutMatchesAndIndexReloadsAlike) {
    const AppendCase& c = GetParam();
    XC_XmlEngine xml;
    xml.LoadDocument(c.before);
    xml.Rewind();
    ASSERT_TRUE(xml.FindNext(nullptr));
    int32_t a = xml.CurrentPosition();
    for (int i = 0; i < c.children; ++i) {
        ASSERT_TRUE(xml.AppendChild("b"));
        EXPECT_EQ(xml.CurrentPosition(), a);
        EXPECT_EQ(xml.Entry(xml.ChildPosition()).parent, a);
    }
    EXPECT_STREQ(xml.DocumentText(), c.after);
    EXPECT_EQ(xml.Entry(a).flags & ElementEntry::kUnended, 0u);
    EXPECT_EQ(CompareWithReload(xml), "");
}

const AppendCase kAppendCases[] = {
    {"<a/>", 1, "<a>\r\n<b/>\r\n</a>"},
    {"<a x=\"1\" />", 1, "<a x=\"1\" >\r\n<b/>\r\n</a>"},
    {"<a>", 1, "<a>\r\n<b/>\r\n</a>"},
    {"<a></a>", 1, "<a>\r\n<b/>\r\n</a>"},
    {"<a></a>", 2, "<a>\r\n<b/>\r\n<b/>\r\n</a>"},
    {"<a>\r\n<c/>\r\n</a>", 1, "<a>\r\n<c/>\r\n<b/>\r\n</a>"},
    {"<a>text</a>", 1, "<a>text<b/>\r\n</a>"},
    {"<a>\xD6\xD0</a>", 1, "<a>\xD6\xD0<b/>\r\n</a>"},
};
INSTANTIATE_TEST_SUITE_P(Cases, XmlEngineAppend, ::testing::ValuesIn(kAppendCases));

TEST(XmlEngineAppend, EmptyTagParentLosesItsSlashAndGetsAnEndTag) {
    XC_XmlEngine xml;
    xml.LoadDocument("<r><abc/><z/></r>");
    ASSERT_NE(EntryNamed(xml, nullptr, nullptr), 0);
    ASSERT_TRUE(xml.Descend());
    ASSERT_TRUE(xml.FindNext("abc"));
    int32_t abc = xml.CurrentPosition();
    ASSERT_TRUE(xml.AppendChild("b"));
    EXPECT_EQ(xml.Entry(abc).StartTagLength(), 5);
    EXPECT_EQ(xml.Entry(abc).EndTagLength(), 6);
    EXPECT_STREQ(xml.DocumentText(), "<r><abc>\r\n<b/>\r\n</abc><z/></r>");
    EXPECT_EQ(CompareWithReload(xml), "");
}

TEST(XmlEngineAppend, AfterTheCurrentChildGoesOnTheNextLine) {
    XC_XmlEngine xml;
    xml.LoadDocument("<a>\r\n<c/>\r\n<d/>\r\n</a>");
    xml.Rewind();
    ASSERT_TRUE(xml.FindNextChild("c"));
    ASSERT_TRUE(xml.AppendChild("b"));
    EXPECT_STREQ(xml.DocumentText(), "<a>\r\n<c/>\r\n<b/>\r\n<d/>\r\n</a>");
    EXPECT_EQ(xml.Entry(xml.Entry(1).firstChild).prevSibling, 3);
    EXPECT_EQ(CompareWithReload(xml), "");
}

TEST(XmlEngineAppend, RefusedWithoutCurrentPositionOrWithABadName) {
    XC_XmlEngine xml;
    xml.LoadDocument("<a/>");
    EXPECT_FALSE(xml.AppendChild("b"));
    xml.Rewind();
    ASSERT_TRUE(xml.FindNext(nullptr));
    const char* badNames[] = {nullptr, "", "1b", "b c", "b/", "b>"};
    for (const char* name : badNames) EXPECT_FALSE(xml.AppendChild(name)) << (name ? name : "(null)");
    EXPECT_STREQ(xml.DocumentText(), "<a/>");
}

// ---- Names ----

namespace {

struct NameCase {
    const char* label;
    std::string text;      // the element under test is the root's first child
    std::string refusal;   // the record a load makes; empty when the text loads well-formed
    std::string appended;  // the text once <b/> is appended to the element; empty: refused
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.label; }

std::vector<NameCase> NameCases() {
    const std::string n1020(1020, 'n');
    const std::string n1021(1021, 'n');
    return {
        {"Backslash", "<r><a\\b/></r>", "<tag_name_syntax offset=\"3\"/>", ""},
        {"Semicolon", "<r><a;b/></r>", "<tag_name_syntax offset=\"3\"/>", ""},
        {"Exclamation", "<r><a!/></r>", "<tag_name_syntax offset=\"3\"/>", ""},
        {"QuestionMark", "<r><a?></a?></r>", "<tag_name_syntax offset=\"3\"/>", ""},
        {"Ampersand", "<r><a&b></a&b></r>", "<tag_name_syntax offset=\"3\"/>", ""},
        {"EndTagSemicolon", "<r><a></a;></r>", "<tag_name_syntax offset=\"6\"/>", ""},
        {"DoubleSlash", "<r><a//></r>", "", "<r><a>\r\n<b/>\r\n</a></r>"},
        {"SlashRunAfterValue", "<r><a x=\"1\" ///></r>", "", "<r><a x=\"1\" >\r\n<b/>\r\n</a></r>"},
        {"SpacedSlashes", "<r><a/ /></r>", "", "<r><a/ >\r\n<b/>\r\n</a></r>"},
        {"SlashInUnquotedValue", "<r><a x=1/ ></a></r>", "", "<r><a x=1/ >\r\n<b/>\r\n</a></r>"},
        {"GbkName", "<r><\xD6\xD0/></r>", "", "<r><\xD6\xD0>\r\n<b/>\r\n</\xD6\xD0></r>"},
        // The end tag an append writes for a name of 1020 bytes is 1023 bytes, the most an
        // entry holds; one byte more is refused at load and by the append alike.
        {"Name1020", "<r><" + n1020 + "/></r>", "", "<r><" + n1020 + ">\r\n<b/>\r\n</" + n1020 + "></r>"},
        {"Name1021Empty", "<r><" + n1021 + "/></r>", "", ""},
        {"Name1021Ended", "<r><" + n1021 + "></" + n1021 + "></r>", "<tag_length_limit offset=\"1026\"/>", ""},
    };
}

class XmlEngineNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(XmlEngineNames, RefusedAtLoadOrEditedIntoATextThatReloadsAlike) {
    const NameCase& c = GetParam();
    XC_XmlEngine xml;
    const bool wellFormed = xml.LoadDocument(c.text.c_str());
    if (!c.refusal.empty()) {
        EXPECT_FALSE(wellFormed);
        EXPECT_NE(xml.ProblemLog().find(c.refusal), std::string::npos) << xml.ProblemLog();
        return;
    }
    ASSERT_TRUE(wellFormed) << xml.ProblemLog();
    xml.Rewind();
    ASSERT_TRUE(xml.FindNext(nullptr));
    ASSERT_TRUE(xml.FindNextChild(nullptr));
    ASSERT_TRUE(xml.Descend());
    if (c.appended.empty()) {
        EXPECT_FALSE(xml.AppendChild("b"));
        EXPECT_EQ(xml.DocumentText(), c.text);
        return;
    }
    ASSERT_TRUE(xml.AppendChild("b"));
    EXPECT_EQ(xml.DocumentText(), c.appended);
    ASSERT_TRUE(xml.SetAttribute(xml.ChildPosition(), "k", "v"));
    XC_XmlEngine fresh;
    EXPECT_TRUE(fresh.LoadDocument(xml.DocumentText())) << fresh.ProblemLog();
    EXPECT_EQ(CompareWithReload(xml), "");
}

INSTANTIATE_TEST_SUITE_P(Cases, XmlEngineNames, ::testing::ValuesIn(NameCases()),
                         [](const ::testing::TestParamInfo<NameCase>& info) { return std::string(info.param.label); });

}  // namespace

TEST(XmlEngineNames, EveryEntryPointRefusesWhatTheRuleRefuses) {
    const char text[] = "<r><a k=\"1\"/></r>";
    const char* const refused[] = {"a\\b", "a;b", "a!", "a//", "a/ /", "a b", "a&b",
                                   "a\"",  "a'",  "a<", "a=b", "a?",   "a>"};
    XC_XmlEngine xml;
    ASSERT_TRUE(xml.LoadDocument(text));
    for (const char* name : refused) {
        xml.Rewind();
        ASSERT_TRUE(xml.FindNext(nullptr));
        // A search name is matched whole: "a b" once found the element "a".
        EXPECT_FALSE(xml.FindNextChild(name)) << name;
        ASSERT_TRUE(xml.FindNextChild("a"));
        EXPECT_FALSE(xml.AppendChild(name)) << name;
        EXPECT_FALSE(xml.SetAttribute(xml.ChildPosition(), name, "v")) << name;
        EXPECT_EQ(xml.GetAttribute(xml.ChildPosition(), name), "") << name;
    }
    EXPECT_STREQ(xml.DocumentText(), text);
}

// ---- Edit sequences ----

namespace {

struct Editor {
    std::mt19937 rng;
    explicit Editor(unsigned seed) : rng(seed) {}

    int Pick(int n) { return int(rng() % unsigned(n)); }

    std::string Value() {
        static const char* const pieces[] = {"a", "&", "<", ">", "\"", "'", " ", "\xD6\xD0", "&amp;", "7", "/>"};
        std::string v;
        int n = Pick(4) == 0 ? 60 + Pick(120) : Pick(6);
        for (int i = 0; i < n; ++i) v += pieces[Pick(11)];
        return v;
    }

    std::string Document() {
        static const char* const docs[] = {
            "<r/>",
            "<r><a/><b x='1' y=2></b>text<c>\r\n<d/>\r\n</c></r>",
            "<?xml version=\"1.0\"?><r>\r\n<a p=\"1\" />\r\n<!-- c --><b>t&amp;t</b>\r\n</r>",
            "<r><a><b><c/></b></a><e></e>tail</r>",
        };
        return docs[Pick(4)];
    }

    // Applies one random edit to both engines, the same way.
    void Step(XC_XmlEngine& fast, XC_XmlEngine& plain) {
        static const char* const names[] = {"x", "y", "p", "FILE1", "Count", "n2"};
        int32_t entries = fast.NextFreeEntry();
        int32_t target = 1 + Pick(entries - 1);
        int op = Pick(3);
        if (op == 2) {
            bool asChild = fast.Entry(target).parent != 0 && Pick(2) == 0;
            ASSERT_TRUE(GoTo(fast, target, asChild));
            ASSERT_TRUE(GoTo(plain, target, asChild));
            std::string name = names[Pick(6)];
            ASSERT_TRUE(fast.AppendChild(name.c_str()));
            ASSERT_TRUE(plain.AppendChild(name.c_str()));
        } else {
            fast.Rewind();
            plain.Rewind();
            ASSERT_TRUE(fast.FindNext(nullptr));
            ASSERT_TRUE(plain.FindNext(nullptr));
            const char* name = names[Pick(6)];
            if (op == 0) {
                std::string v = Value();
                ASSERT_TRUE(fast.SetAttribute(target, name, v.c_str()));
                ASSERT_TRUE(plain.SetAttribute(target, name, v.c_str()));
            } else {
                int32_t v = int32_t(rng() & 0x7FFFFFFF) - 0x40000000;
                ASSERT_TRUE(fast.SetAttribute(target, name, v));
                ASSERT_TRUE(plain.SetAttribute(target, name, v));
            }
        }
    }
};

}  // namespace

TEST(XmlEngineEdits, EveryEditedIndexEqualsAFreshLoad) {
    for (unsigned seed = 1; seed <= 40; ++seed) {
        Editor editor(seed);
        XC_XmlEngine fast;
        XC_XmlEngine plain;
        plain.UseAttributeIndex(false);
        std::string doc = editor.Document();
        ASSERT_TRUE(fast.LoadDocument(doc.c_str()));
        plain.LoadDocument(doc.c_str());
        for (int step = 0; step < 60; ++step) {
            editor.Step(fast, plain);
            if (HasFatalFailure()) return;
            ASSERT_EQ(CompareWithReload(fast), "") << "seed " << seed << " step " << step;
            ASSERT_STREQ(fast.DocumentText(), plain.DocumentText()) << "seed " << seed << " step " << step;
            fast.Rewind();
            plain.Rewind();
            ASSERT_TRUE(fast.FindNext(nullptr));
            ASSERT_TRUE(plain.FindNext(nullptr));
            for (int32_t e = 1; e < fast.NextFreeEntry(); ++e) {
                for (const char* name : {"x", "y", "p", "FILE1", "Count", "n2", "zz"})
                    ASSERT_EQ(fast.GetAttribute(e, name), plain.GetAttribute(e, name)) << "seed " << seed;
            }
        }
        EXPECT_TRUE(fast.CheckWellFormed());
    }
}

TEST(XmlEngineEdits, AttributeIndexAgreesWithThePlainScanOnOneLongTag) {
    // Duplicated names, single quotes and unquoted values in a tag long enough to be indexed.
    std::string text = "<r><e a=1 b='2' a=\"3\"";
    for (int i = 0; i < 100; ++i) text += " k" + std::to_string(i) + "=\"" + std::to_string(i) + "\"";
    text += " z=x/></r>";
    XC_XmlEngine fast;
    XC_XmlEngine plain;
    plain.UseAttributeIndex(false);
    fast.LoadDocument(text.c_str());
    plain.LoadDocument(text.c_str());
    int32_t e = EntryNamed(fast, nullptr, "e");
    EntryNamed(plain, nullptr, "e");
    ASSERT_GE(fast.Entry(e).StartTagLength(), 512);
    std::mt19937 rng(7);
    for (int step = 0; step < 400; ++step) {
        std::string name = rng() % 4 == 0 ? "n" + std::to_string(rng() % 50) : "k" + std::to_string(rng() % 120);
        if (rng() % 3 == 0) name = rng() % 2 ? "a" : "z";
        std::string value(rng() % 12, char('A' + rng() % 26));
        ASSERT_TRUE(fast.SetAttribute(e, name.c_str(), value.c_str()));
        ASSERT_TRUE(plain.SetAttribute(e, name.c_str(), value.c_str()));
        ASSERT_EQ(fast.GetAttribute(e, name.c_str()), plain.GetAttribute(e, name.c_str()));
        ASSERT_EQ(fast.GetAttribute(e, "b"), "2");
    }
    EXPECT_STREQ(fast.DocumentText(), plain.DocumentText());
    EXPECT_EQ(CompareWithReload(fast), "");
}

TEST(XmlEngineEdits, DamagedTextsNeverLeadOutsideTheText) {
    static const char alphabet[] = "<>/=\"' !-[]?DCa\r\n&;\xD6";
    std::mt19937 rng(11);
    for (int round = 0; round < 3000; ++round) {
        std::string text = "<r a=\"1\"><b x='2'/>t<c>\r\n<d/>\r\n</c><!-- k --></r>";
        for (int k = int(rng() % 6); k >= 0; --k) {
            size_t at = rng() % (text.size() + 1);
            if (rng() % 2 != 0 && at < text.size())
                text.erase(at, 1);
            else
                text.insert(at, 1, alphabet[rng() % (sizeof alphabet - 1)]);
        }
        XC_XmlEngine xml;
        xml.LoadDocument(text.c_str());
        for (int step = 0; step < 6 && xml.NextFreeEntry() > 1; ++step) {
            int32_t target = 1 + int32_t(rng() % unsigned(xml.NextFreeEntry() - 1));
            if (rng() % 2 != 0) {
                if (GoTo(xml, target, false)) xml.AppendChild("n");
            } else {
                xml.Rewind();
                if (xml.FindNext(nullptr)) {
                    xml.SetAttribute(target, rng() % 2 ? "a" : "x", "v<&");
                    xml.GetAttribute(target, "x");
                }
            }
            const int32_t length = xml.DocumentLength();
            ASSERT_EQ(int32_t(std::strlen(xml.DocumentText())), length) << text;
            ASSERT_EQ(xml.Entry(0).length, length) << text;
            for (int32_t e = 1; e < xml.NextFreeEntry(); ++e) {
                const ElementEntry& x = xml.Entry(e);
                ASSERT_TRUE(x.start >= 0 && x.StartTagLength() <= x.length && x.start + x.length <= length)
                    << "entry " << e << " of " << text;
                ASSERT_EQ(xml.DocumentText()[x.start], '<') << text;
            }
        }
    }
}

TEST(XmlEngineIndex, GrowthAddsAtMostOnePageAndKeepsEntries) {
    const int32_t page = ElementIndex::kPageSize;
    ElementIndex index;
    index.Grow(10);
    EXPECT_EQ(index.Capacity(), 10);
    index[9].start = 99;
    // The partial first page is filled up and one more page added, not two.
    index.Grow(4 * page);
    EXPECT_EQ(index.Capacity(), 2 * page);
    EXPECT_EQ(index[9].start, 99);
    index[2 * page - 1].start = 7;
    index.Grow(2 * page + 5);
    EXPECT_EQ(index.Capacity(), 2 * page + 5);
    index[2 * page + 4].start = 5;
    index.Grow(2 * page + 9);
    EXPECT_EQ(index.Capacity(), 2 * page + 9);
    EXPECT_EQ(index[9].start, 99);
    EXPECT_EQ(index[2 * page - 1].start, 7);
    EXPECT_EQ(index[2 * page + 4].start, 5);
    EXPECT_EQ(index[2 * page + 8].start, 0);
    index.Grow(4);
    EXPECT_EQ(index.Capacity(), 2 * page + 9);
}
