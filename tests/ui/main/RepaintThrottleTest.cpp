#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include "../../TestPrinters.h"
#include "../../Waiting.h"
#include "RepaintThrottle.h"

namespace tarnwick::test {
namespace {

using std::chrono::milliseconds;

// Counts the paints of a widget, or the repaint requests it is sent.
struct EventCounter : QObject {
    EventCounter(QObject* o, QEvent::Type type) : type(type) { o->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == type) ++count;
        return false;
    }
    QEvent::Type type;
    int count = 0;
};

struct ThrottledWindow {
    QWidget window;
    QPlainTextEdit* page = new QPlainTextEdit(&window);
    QLineEdit* typed = new QLineEdit(&window);
    RepaintThrottle throttle{&window, milliseconds(60'000)};
    EventCounter pagePaints{page->viewport(), QEvent::Paint};
    EventCounter typedPaints{typed, QEvent::Paint};
    EventCounter requests{&window, QEvent::UpdateRequest};

    ThrottledWindow() {
        window.resize(400, 300);
        page->setGeometry(0, 0, 400, 250);
        typed->setGeometry(0, 260, 400, 30);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        QCoreApplication::processEvents();  // the first paint after showing
    }
    // Changes the page `n` times as the cycle does, letting events through
    // after each change.
    void changePage(int n) {
        for (int i = 0; i < n; ++i) {
            throttle.hold(page);
            page->setPlainText(QStringLiteral("page %1").arg(i));
            QCoreApplication::processEvents();
            EXPECT_EQ(page->toPlainText(), QStringLiteral("page %1").arg(i));
        }
    }
};

TEST(RepaintThrottle, ChangesAreCurrentAtOnceAndPaintedTogetherLater) {
    ThrottledWindow t;
    const int paints = t.pagePaints.count;
    const int requests = t.requests.count;
    t.changePage(30);
    // The first change is painted at once, the others wait for the interval.
    const int afterBurst = t.pagePaints.count;
    EXPECT_LE(afterBurst, paints + 1) << "30 changes within one interval, at most one paint";
    // The first change's paint is asked for twice: at once, and by the
    // request letting it go posts.
    EXPECT_LE(t.requests.count, requests + 2) << "no repaint asked for per change";
    EXPECT_EQ(t.throttle.heldBack(), 30);

    // What the user does meanwhile is painted at once.
    t.typed->setFocus();
    QTest::keyClicks(t.typed, "x");
    ASSERT_TRUE(eventually([&] { return t.typedPaints.count > 0; }));
    EXPECT_EQ(t.pagePaints.count, afterBurst);

    // Once the interval is over, what was held back is painted, once.
    t.throttle.setInterval(milliseconds(20));
    ASSERT_TRUE(eventually([&] { return t.pagePaints.count > afterBurst; }));
    QTest::qWait(100);
    EXPECT_EQ(t.pagePaints.count, afterBurst + 1);
}

// The cycle changes the page again as soon as the wait in which the held
// changes were let go returns: they are painted before anything else runs.
TEST(RepaintThrottle, WhatIsLetGoIsPaintedBeforeTheNextEvent) {
    ThrottledWindow t;
    t.throttle.setInterval(milliseconds(0));
    int paintsAtRelease = -1;
    int paintsAtNextEvent = -1;
    t.throttle.setBeforePaint([&] {
        paintsAtRelease = t.pagePaints.count;
        QTimer::singleShot(0, [&] { paintsAtNextEvent = t.pagePaints.count; });
    });
    t.throttle.hold(t.page);
    t.page->setPlainText(QStringLiteral("changed"));
    ASSERT_TRUE(eventually([&] { return paintsAtNextEvent >= 0; }));
    EXPECT_EQ(paintsAtNextEvent, paintsAtRelease + 1);
}

TEST(RepaintThrottle, NothingIsPaintedWhileMinimisedOrHidden) {
    ThrottledWindow t;
    t.throttle.setInterval(milliseconds(0));
    for (auto hide : {+[](QWidget& w) { w.showMinimized(); }, +[](QWidget& w) { w.hide(); }}) {
        hide(t.window);
        QCoreApplication::processEvents();
        const int before = t.pagePaints.count;
        t.changePage(10);
        QTest::qWait(50);
        EXPECT_EQ(t.pagePaints.count, before);

        t.window.showNormal();
        ASSERT_TRUE(eventually([&] { return t.pagePaints.count > before; }));
        EXPECT_EQ(t.page->toPlainText(), "page 9");
    }
}

TEST(RepaintThrottle, WorkBeforeAPaintRunsAtThePaceAndOnlyWhenSeen) {
    ThrottledWindow t;
    int runs = 0;
    t.throttle.setBeforePaint([&] { ++runs; });
    for (int i = 0; i < 10; ++i) {
        t.throttle.paintDue();
        QCoreApplication::processEvents();
    }
    EXPECT_LE(runs, 1) << "ten within one interval";

    t.throttle.setInterval(milliseconds(0));
    ASSERT_TRUE(eventually([&] { return runs > 0; }));
    t.window.showMinimized();
    QCoreApplication::processEvents();
    const int before = runs;
    t.throttle.paintDue();
    QTest::qWait(50);
    EXPECT_EQ(runs, before);
    t.window.showNormal();
    ASSERT_TRUE(eventuallyEquals([&] { return runs; }, before + 1));
}

}  // namespace
}  // namespace tarnwick::test
