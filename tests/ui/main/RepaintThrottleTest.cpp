#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QTest>
#include <QVBoxLayout>

#include "RepaintThrottle.h"

namespace tarnwick::test {
namespace {

using std::chrono::milliseconds;

// Counts the paints of a widget.
struct PaintCounter : QObject {
    explicit PaintCounter(QWidget* w) { w->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
    int paints = 0;
};

struct ThrottledWindow {
    QWidget window;
    QPlainTextEdit* page = new QPlainTextEdit(&window);
    RepaintThrottle throttle{&window, milliseconds(60'000)};
    PaintCounter counter{page->viewport()};

    ThrottledWindow() {
        window.resize(400, 300);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    // Changes the page `n` times, letting events through after each change.
    void changePage(int n) {
        for (int i = 0; i < n; ++i) {
            page->setPlainText(QStringLiteral("page %1").arg(i));
            QCoreApplication::processEvents();
            EXPECT_EQ(page->toPlainText(), QStringLiteral("page %1").arg(i));
        }
    }
};

TEST(RepaintThrottle, ChangesAreCurrentAtOnceAndPaintedTogetherLater) {
    ThrottledWindow t;
    QCoreApplication::processEvents();  // the first paint after showing goes through
    const int before = t.counter.paints;
    t.changePage(30);
    const int afterBurst = t.counter.paints;
    EXPECT_LE(afterBurst, before + 1) << "30 changes within one interval, at most one paint";
    EXPECT_GT(t.throttle.heldBack(), 0);

    // Once the interval is over, what was held back is painted, once.
    t.throttle.setInterval(milliseconds(20));
    t.page->setPlainText(QStringLiteral("last"));
    QTRY_VERIFY(t.counter.paints > afterBurst);
    QTest::qWait(100);
    EXPECT_EQ(t.counter.paints, afterBurst + 1);
}

TEST(RepaintThrottle, NothingIsPaintedWhileMinimisedOrHidden) {
    ThrottledWindow t;
    t.throttle.setInterval(milliseconds(0));
    for (auto hide : {+[](QWidget& w) { w.showMinimized(); }, +[](QWidget& w) { w.hide(); }}) {
        hide(t.window);
        QCoreApplication::processEvents();
        const int before = t.counter.paints;
        t.changePage(10);
        QTest::qWait(50);
        EXPECT_EQ(t.counter.paints, before);

        t.window.showNormal();
        QTRY_VERIFY(t.counter.paints > before);
        EXPECT_EQ(t.page->toPlainText(), "page 9");
    }
}

}  // namespace
}  // namespace tarnwick::test
