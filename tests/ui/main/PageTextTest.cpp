#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

#include "PageText.h"

namespace tarnwick::test {
namespace {

TEST(PageText, LineBreaksAndSpacesAreHeldAsTheViewGivesThemBack) {
    const struct {
        QByteArray page;
        QString held;
    } cases[] = {
        {"<P>a</P>\r\n<P>b</P>\r\n", "<P>a</P>\n<P>b</P>\n"},
        {"a\rb\r\r\nc", "a\nb\n\nc"},
        {"a\xc2\xa0"
         "b\xe2\x80\xa8"
         "c\xe2\x80\xa9",
         "a b\nc\n"},
        // Not UTF-8, read as Latin-1; also when it ends in what could start
        // a UTF-8 sequence.
        {"caf\xe9", QStringLiteral("caf\u00e9")},
        {"\xe9t\xe9 ", QStringLiteral("\u00e9t\u00e9 ")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(pageViewText(c.page), c.held) << c.page.constData();
        // What the document gives back is what was held.
        QTextDocument document;
        replaceChangedLines(document, pageViewText(c.page));
        EXPECT_EQ(document.toPlainText(), c.held);
    }
}

TEST(PageText, EveryPageInTurnIsHeldWhole) {
    // Growing, shrinking, first and last lines, empty, a single line.
    const QString pages[] = {
        "<HTML>\n<INPUT NAME=\"LockID_0\" VALUE=\"1\">\n</HTML>\n",
        "<HTML>\n<INPUT NAME=\"LockID_0\" VALUE=\"22\">\n</HTML>\n",
        "<HTML>\n<INPUT NAME=\"LockID_0\" VALUE=\"22\">\n</HTML>",
        "<html>\n<INPUT NAME=\"LockID_0\" VALUE=\"22\">\n</HTML>",
        "<html>\n<P>extra</P>\n<INPUT NAME=\"LockID_0\" VALUE=\"22\">\n</HTML>",
        "<html>\n</HTML>",
        "",
        "one line",
        "one line, longer",
        "\n\n\n",
        "\n\nx\n",
        "<html>\n</HTML>",
    };
    QTextDocument document;
    QString before;
    for (const QString& page : pages) {
        const std::optional<int> from = replaceChangedLines(document, page);
        EXPECT_EQ(from.has_value(), page != before) << qPrintable(page);
        // Nothing before the reported start changed.
        if (from) {
            EXPECT_EQ(before.left(*from), page.left(*from)) << qPrintable(page);
        }
        EXPECT_EQ(document.toPlainText(), page);
        before = page;
    }
}

TEST(PageText, LinesAwayFromTheChangeKeepTheirLayoutAndNoneIsLaidOutAtOnce) {
    QPlainTextEdit view;
    view.resize(600, 400);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QString page;
    for (int i = 0; i < 12; ++i)
        page += QStringLiteral("<TR><TD>Line %1</TD><TD VALUE=\"%2\"></TD></TR>\n").arg(i).arg(i);
    replaceChangedLines(*view.document(), page);
    view.viewport()->repaint();  // lays out the lines on screen
    auto laidOut = [&](int line) {
        const QTextBlock block = view.document()->findBlockByNumber(line);
        return block.layout() != nullptr && block.layout()->lineCount() > 0;
    };
    for (int line = 0; line < 12; ++line) ASSERT_TRUE(laidOut(line)) << line;

    QString next = page;
    next.replace(QStringLiteral("VALUE=\"5\""), QStringLiteral("VALUE=\"55\""));
    ASSERT_EQ(replaceChangedLines(*view.document(), next),
              page.indexOf(QStringLiteral("<TR><TD>Line 5")));
    EXPECT_EQ(view.toPlainText(), next);
    // The changed line waits for the next paint; the view may take a line
    // after it along, but the lines before and further on keep theirs.
    EXPECT_FALSE(laidOut(5));
    for (int line : {0, 1, 2, 3, 4, 8, 9, 10, 11}) EXPECT_TRUE(laidOut(line)) << line;
}

}  // namespace
}  // namespace tarnwick::test
