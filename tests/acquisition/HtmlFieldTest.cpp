// Field look-up in adapter pages.
#include <gtest/gtest.h>

#include "../TestPrinters.h"
#include "HtmlField.h"
#include "Pages.h"
#include "StreamingFieldLookup.h"

namespace tarnwick::test {

using Lookup = std::optional<QString> (*)(const QByteArray&, const QString&);

// Every rule below holds for the look-up the cycle uses (the streaming reader,
// the tree where that cannot be sure) and for the tree alone.
class HtmlFieldLookup : public ::testing::TestWithParam<Lookup> {
  protected:
    static std::optional<QString> findFieldValue(const QByteArray& html, const QString& name) {
        return GetParam()(html, name);
    }
};

INSTANTIATE_TEST_SUITE_P(Cycle, HtmlFieldLookup, ::testing::Values(&tarnwick::findFieldValue));
INSTANTIATE_TEST_SUITE_P(Tree, HtmlFieldLookup, ::testing::Values(&tarnwick::findFieldValueInTree));

TEST_P(HtmlFieldLookup, ReadsInputValuesWhateverTheCase) {
    const QByteArray page =
        "<HTML><BODY><FORM><INPUT TYPE=\"hidden\" NAME=\"Other\" VALUE=\"x\">"
        "Lock: <INPUT TYPE=\"TEXT\" NAME=\"LockID_0\" VALUE=\"4711\"></FORM></BODY></HTML>";
    EXPECT_EQ(findFieldValue(page, "LockID_0"), QString("4711"));
    EXPECT_EQ(findFieldValue(page, "Other"), QString("x"));
    EXPECT_EQ(findFieldValue(page, "lockid_0"), std::nullopt) << "names compare exactly";
    EXPECT_EQ(findFieldValue(page, "ResultData_0"), std::nullopt);
}

TEST_P(HtmlFieldLookup, FirstElementInDocumentOrderWins) {
    const QByteArray page =
        "<div><p><input name=R value=first></p></div><input name=R value=second>";
    EXPECT_EQ(findFieldValue(page, "R"), QString("first"));
    const QByteArray divFirst = "<div name=R>text</div><input name=R value=v>";
    EXPECT_EQ(findFieldValue(divFirst, "R"), std::nullopt) << "a div has no value";
}

TEST_P(HtmlFieldLookup, KindsOfElements) {
    EXPECT_EQ(findFieldValue("<input name=F>", "F"), QString(""));
    EXPECT_EQ(findFieldValue("<button name=F value=b>label</button>", "F"), QString("b"));
    EXPECT_EQ(findFieldValue("<textarea name=F>BE00&amp;11</textarea>", "F"), QString("BE00&11"));
    EXPECT_EQ(
        findFieldValue("<select name=F><option value=1>a<option value=2 selected>b</select>", "F"),
        QString("2"));
    EXPECT_EQ(findFieldValue("<select name=F><option>  x  y </option><option>z</select>", "F"),
              QString("x y"));
    EXPECT_EQ(findFieldValue("<select name=F></select>", "F"), QString(""));
    EXPECT_EQ(findFieldValue("<img name=F src=a.png>", "F"), std::nullopt);
    EXPECT_EQ(findFieldValue("<a name=F>anchor</a>", "F"), std::nullopt);
}

TEST_P(HtmlFieldLookup, EntitiesAndEncodings) {
    EXPECT_EQ(findFieldValue("<input name=F value=\"a&amp;b&#65;\">", "F"), QString("a&bA"));
    // Latin-1 bytes that are not valid UTF-8.
    EXPECT_EQ(findFieldValue(QByteArray("<input name=F value=\"\xe9t\xe9\">"), "F"),
              QString::fromUtf8("\xc3\xa9t\xc3\xa9"));
    EXPECT_EQ(findFieldValue(QByteArray("<input name=F value=\"\xc3\xa9\">"), "F"),
              QString::fromUtf8("\xc3\xa9"));
    // A page whose last byte could start a UTF-8 sequence is Latin-1 too; the
    // byte is not dropped.
    EXPECT_EQ(findFieldValue(QByteArray("<textarea name=F>caf\xe9"), "F"),
              QString::fromUtf8("caf\xc3\xa9"));
}

TEST_P(HtmlFieldLookup, SurvivesBrokenAndHostilePages) {
    EXPECT_EQ(findFieldValue("", "F"), std::nullopt);
    EXPECT_EQ(findFieldValue("<input name=F value=\"unterminated", "F"), std::nullopt);
    EXPECT_EQ(findFieldValue("<<<>>><input name=F value=ok", "F"), std::nullopt);
    EXPECT_EQ(findFieldValue(QByteArray("\0\0", 2) + "<input name=F value=z>", "F"), QString("z"));
    QByteArray deep;
    for (int i = 0; i < 900; ++i) deep += "<div>";
    deep += "<input name=F value=deep>";
    EXPECT_EQ(findFieldValue(deep, "F"), QString("deep"));
}

// Pages whose markup no adapter sends are not parsed (parsing them costs time
// that grows with the square of their nesting or attributes): no field.
TEST_P(HtmlFieldLookup, PagesBeyondAnAdapterPagesBoundsHaveNoFields) {
    const QByteArray field = "<input name=F value=v>";
    // The field's tag with `n` attributes in all.
    auto withAttributes = [](int n) {
        QByteArray tag = "<input name=F value=v";
        for (int i = 2; i < n; ++i) tag += " a" + QByteArray::number(i);
        return tag + ">";
    };
    // `tags` tags of 21 attributes each: 4,200 attributes for 200 tags,
    // over the 4,000 a page may hold, though each tag and the tag count are
    // within their own bounds.
    auto manyAttributes = [](int tags) {
        QByteArray page;
        for (int t = 0; t < tags; ++t) {
            page += "<p";
            for (int i = 0; i < 21; ++i) page += " a" + QByteArray::number(i);
            page += ">";
        }
        return page;
    };
    QByteArray nested, quoted = "<a x=\">\"";
    for (int i = 0; i < 20000; ++i) nested += "<div>";
    for (int i = 0; i < 33; ++i) quoted += " a" + QByteArray::number(i);
    struct Case {
        QByteArray page;
        std::optional<QString> value;
    } cases[] = {
        {nested + field, std::nullopt},
        {withAttributes(33), std::nullopt},
        {withAttributes(32), QString("v")},
        {manyAttributes(200) + field, std::nullopt},
        {manyAttributes(190) + field, QString("v")},
        {"<div a=\"" + QByteArray(9000, 'x') + "\">" + field, std::nullopt},
        // A '>' inside a quoted value does not end the tag.
        {quoted + ">" + field, std::nullopt},
        // A large page with few tags, such as a padded status page, is read;
        // a long text keeps its first 1 KiB.
        {"<pre>" + QByteArray(1000000, 'x') + "</pre>" + field, QString("v")},
        {"<textarea name=F>" + QByteArray(5000, 'y') + "</textarea>", QString(1024, 'y')},
    };
    for (const Case& c : cases)
        EXPECT_EQ(findFieldValue(c.page, "F"), c.value) << c.page.left(40).toStdString();
}

// The adapter's pages are read without a tree, and read right.
TEST(StreamingFieldReader, DecidesOnTheAdaptersPages) {
    namespace pages = sim::pages;
    const std::string writeBlock = pages::writeBlockPage(
        "9C000000B4A89828", "BEFFFFFFFFFFFFFFFFFF", "122865", std::string("BE90014B467FFF0C1033"));
    const struct {
        std::string page;
        const char* name;
        std::optional<QString> value;
    } cases[] = {
        {writeBlock, "ResultData_0", QString("BE90014B467FFF0C1033")},
        {pages::padded(writeBlock, 65536), "ResultData_0", QString("BE90014B467FFF0C1033")},
        {writeBlock, "LockID", QString("122865")},
        {writeBlock, "WriteBlock", std::nullopt},  // the form
        {pages::writeBlockPage("9C", "BE", "1", std::nullopt), "ResultData_0", std::nullopt},
        {pages::lockPage(std::string("4711")), "LockID_0", QString("4711")},
        {pages::lockPage(std::nullopt), "LockID_0", std::nullopt},
        {pages::releasePage("4711"), "LockID", QString("4711")},
        {pages::errorPage(403, "Locked by <another> & \"co\""), "Status", QString("403")},
        {pages::errorPage(403, "x"), "Submit", QString("Get Lock")},
    };
    for (const auto& c : cases) {
        const QByteArray page = QByteArray::fromStdString(c.page);
        const StreamedField streamed = findFieldValueStreaming(page, c.name);
        EXPECT_TRUE(streamed.decided) << c.name << " in " << c.page.substr(0, 80);
        EXPECT_EQ(streamed.value, c.value) << c.name << " in " << c.page.substr(0, 80);
        EXPECT_EQ(findFieldValueInTree(page, c.name), c.value) << c.name;
    }
}

// Pages that libxml2 and an HTML5 parser read differently are left to the
// tree, which gives the value shown; a page of plain markup is decided.
TEST(StreamingFieldReader, LeavesToTheTreeWhatParsersReadDifferently) {
    const struct {
        QByteArray page;
        std::optional<QString> value;  // the tree's
        bool decided;
    } cases[] = {
        // libxml2 reads tags in a textarea or title; HTML5 reads text.
        {"<textarea name=F><b>x</b></textarea>", QString("<b>x</b>"), false},
        {"<title><input name=F value=t></title><input name=F value=v>", QString("v"), false},
        {"<xmp><input name=F value=x></xmp><input name=F value=v>", QString("v"), false},
        {"<plaintext><input name=F value=p>", std::nullopt, false},
        // References that HTML5 maps or ends differently.
        {"<input name=F value=\"&#128;\">", QString::fromUtf8("\xe2\x82\xac"), false},
        {"<input name=F value=\"a&amp\">", QString("a&"), false},
        {"<input name=F value=\"&euro;\">", QString::fromUtf8("\xe2\x82\xac"), false},
        // HTML5 turns CRs into LFs and a NUL into U+FFFD.
        {"<input name=F value=\"x\ry\">", QString("x\ny"), false},
        {"<textarea name=F>\r\nx</textarea>", QString("x"), false},
        {QByteArray("<input name=F value=\"a\0b\">", 26),
         QString::fromUtf8("a\xef\xbf\xbd"
                           "b"),
         false},
        // HTML5 reads C1 controls (here from a Latin-1 page) as U+FFFD.
        {"<input name=F value=\"\x92\">", QString::fromUtf8("\xef\xbf\xbd"), false},
        // HTML5 tree building moves, drops or merges elements.
        {"<table><tr><td><input name=F value=1></td></tr><input name=F value=2></table>",
         QString("2"), false},
        {"<form><form name=F></form><input name=F value=v>", QString("v"), false},
        {"<input name=G><body name=F><input name=F value=v>", std::nullopt, false},
        {"<input name=G><html name=F><input name=F value=v>", std::nullopt, false},
        {"<select name=G><select name=F><option>x</select>", std::nullopt, false},
        {"<select name=G><button name=F value=b></select>", std::nullopt, false},
        {"<li></li></html><select name=F multiple>", QString(""), false},
        {"<frameset><input name=F value=v>", std::nullopt, false},
        {"<isindex name=F value=x>", std::nullopt, false},
        {"<input@ name=F value=v>", std::nullopt, false},
        {"<!-- <input name=F value=c> --!><input name=F value=v>", QString("v"), false},
        // Plain markup.
        {"<!DOCTYPE html><html><head><title>t &amp; u</title></head><body><form><table><tr>"
         "<td><input name=F value=v></td></tr></table></form></body></html>",
         QString("v"), true},
        {"<textarea name=F>\nx &lt; y</textarea>", QString("x < y"), true},
        {"<select name=F><option value=a>x<option selected>  y  z </option></select>",
         QString("y z"), true},
        {"<select name=F multiple><optgroup><option>x</option></optgroup></select>", QString(""),
         true},
        {"<p><a name=F>anchor</a></p><input name=F value=v>", std::nullopt, true},
        {"<!-- c --><input name=F value='q\"'>", QString("q\""), true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(findFieldValueStreaming(c.page, "F").decided, c.decided) << c.page.toStdString();
        EXPECT_EQ(findFieldValue(c.page, "F"), c.value) << c.page.toStdString();
        EXPECT_EQ(findFieldValueInTree(c.page, "F"), c.value) << c.page.toStdString();
    }
}

}  // namespace tarnwick::test
