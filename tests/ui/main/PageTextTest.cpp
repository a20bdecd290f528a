#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

#include "../../TestPrinters.h"
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
        "<HTML>\n<INPUT NAME=\"LockID_0\" VALUE=\"33\">\n</HTML>",
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
        const std::optional<ChangedLines> change = replaceChangedLines(document, page);
        EXPECT_EQ(change.has_value(), page != before) << qPrintable(page);
        // Nothing before the reported start changed, nor after the reported
        // end when the lines after it stayed where they were.
        if (change) {
            EXPECT_EQ(before.left(change->from), page.left(change->from)) << qPrintable(page);
            if (before.count('\n') != page.count('\n')) {
                EXPECT_TRUE(change->moved) << qPrintable(page);
            }
            if (!change->moved) {
                EXPECT_EQ(before.size(), page.size()) << qPrintable(page);
                EXPECT_EQ(before.mid(change->to), page.mid(change->to)) << qPrintable(page);
            }
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

    // Two lines apart change, as from one sensor's page to the next; one
    // grows, so lines below it may move in the view.
    QString next = page;
    next.replace(QStringLiteral("VALUE=\"3\""), QStringLiteral("VALUE=\"33\""));
    next.replace(QStringLiteral("VALUE=\"8\""), QStringLiteral("VALUE=\"\""));
    const std::optional<ChangedLines> change = replaceChangedLines(*view.document(), next);
    ASSERT_TRUE(change.has_value());
    EXPECT_EQ(change->from, page.indexOf(QStringLiteral("<TR><TD>Line 3")));
    EXPECT_EQ(change->to, next.indexOf(QStringLiteral("<TR><TD>Line 9")));
    EXPECT_TRUE(change->moved);
    EXPECT_EQ(view.toPlainText(), next);
    // The changed lines wait for the next paint; the view may take the line
    // after each along, but the lines before, between and further on keep theirs.
    EXPECT_FALSE(laidOut(3));
    EXPECT_FALSE(laidOut(8));
    for (int line : {0, 1, 2, 5, 6, 7, 10, 11}) EXPECT_TRUE(laidOut(line)) << line;
}

}  // namespace
}  // namespace tarnwick::test
