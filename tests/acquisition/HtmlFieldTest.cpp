// Field look-up in adapter pages.
#include <gtest/gtest.h>

#include "../TestPrinters.h"
#include "HtmlField.h"

namespace tarnwick::test {

TEST(HtmlFieldLookup, ReadsInputValuesWhateverTheCase) {
    const QByteArray page =
        "<HTML><BODY><FORM><INPUT TYPE=\"hidden\" NAME=\"Other\" VALUE=\"x\">"
        "Lock: <INPUT TYPE=\"TEXT\" NAME=\"LockID_0\" VALUE=\"4711\"></FORM></BODY></HTML>";
    EXPECT_EQ(findFieldValue(page, "LockID_0"), QString("4711"));
    EXPECT_EQ(findFieldValue(page, "Other"), QString("x"));
    EXPECT_EQ(findFieldValue(page, "lockid_0"), std::nullopt) << "names compare exactly";
    EXPECT_EQ(findFieldValue(page, "ResultData_0"), std::nullopt);
}

TEST(HtmlFieldLookup, FirstElementInDocumentOrderWins) {
    const QByteArray page =
        "<div><p><input name=R value=first></p></div><input name=R value=second>";
    EXPECT_EQ(findFieldValue(page, "R"), QString("first"));
    const QByteArray divFirst = "<div name=R>text</div><input name=R value=v>";
    EXPECT_EQ(findFieldValue(divFirst, "R"), std::nullopt) << "a div has no value";
}

TEST(HtmlFieldLookup, KindsOfElements) {
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

TEST(HtmlFieldLookup, EntitiesAndEncodings) {
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

TEST(HtmlFieldLookup, SurvivesBrokenAndHostilePages) {
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
TEST(HtmlFieldLookup, PagesBeyondAnAdapterPagesBoundsHaveNoFields) {
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

}  // namespace tarnwick::test
