// How long the field look-up takes on the adapter's own pages and on the
// worst pages that fit within the 1 MiB page cap: deep nesting, many
// attributes, endless tags, large texts, and the heaviest pages that are
// still parsed. Prints, for the tree look-up (every page parsed into a tree,
// as before) and for findFieldValue() (the streaming reader, and the tree only
// where that cannot be sure), the time of each page (best of 5 runs, so that other load on the
// machine counts least; the mean of many for the small adapter pages) and the memory allocations
// one look-up makes, and the worst time of all; the goal is under 50 ms for any page.
#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <vector>

#include "HtmlField.h"
#include "Pages.h"
#include "StreamingFieldLookup.h"

// Every malloc, calloc and realloc of the process is counted (the C++
// allocations and the parsers' own go through them).
namespace {
std::atomic<long> allocations{0};
}
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* malloc(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
void* calloc(std::size_t n, std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, size);
}
}

namespace {

using Lookup = std::optional<QString> (*)(const QByteArray&, const QString&);

constexpr qsizetype kCap = 1 << 20;
const QByteArray kField =
    "<INPUT TYPE=\"TEXT\" NAME=\"ResultData_0\" VALUE=\"BE50054B467FFF0C101C\">";

// `unit` repeated until the page, with the field at its end, fills the cap.
QByteArray repeated(const QByteArray& unit, const QByteArray& head = {}) {
    QByteArray page = head;
    while (page.size() + unit.size() + kField.size() <= kCap) page += unit;
    return page + kField;
}

QByteArray times(const QByteArray& unit, int n) {
    QByteArray out;
    for (int i = 0; i < n; ++i) out += unit;
    return out;
}

QByteArray withAttributes(int tags, int attributes) {
    QByteArray page;
    for (int t = 0; t < tags; ++t) {
        page += "<span";
        for (int a = 0; a < attributes; ++a) page += " a" + QByteArray::number(a) + "=x";
        page += ">";
    }
    return page + kField;
}

QByteArray fromStd(const std::string& page) {
    return QByteArray(page.data(), static_cast<qsizetype>(page.size()));
}

struct Timing {
    double ms = 1e9;
    long allocations = 0;
    bool found = false;
};

// Best of 5 runs of `repeat` look-ups each, as the time of one look-up.
Timing measure(Lookup lookup, const QByteArray& page, int repeat) {
    const QString name = QStringLiteral("ResultData_0");
    Timing t;
    for (int run = 0; run < 5; ++run) {
        const long before = allocations.load();
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < repeat; ++i) t.found = lookup(page, name).has_value();
        t.ms = std::min(t.ms, timer.nsecsElapsed() / 1e6 / repeat);
        t.allocations = (allocations.load() - before) / repeat;
    }
    return t;
}

}  // namespace

int main() {
    namespace pages = tarnwick::sim::pages;
    struct Case {
        const char* name;
        QByteArray page;
        int repeat = 1;
    };
    const std::string writeBlock = pages::writeBlockPage(
        "9C000000B4A89828", "BEFFFFFFFFFFFFFFFFFF", "122865", std::string("BE90014B467FFF0C1033"));
    std::vector<Case> cases = {
        {"adapter Write Block page", fromStd(writeBlock), 2000},
        {"adapter Get Lock page (field absent)", fromStd(pages::lockPage(std::nullopt)), 2000},
        {"adapter Write Block page padded to 64 KiB", fromStd(pages::padded(writeBlock, 65536)),
         50},
        {"20,000 nested <div>", times("<div>", 20'000) + kField},
        {"nested <div> up to the cap", repeated("<div>")},
        {"20,000 nested <div><b>", times("<div><b>", 20'000) + kField},
        {"<a x=1> repeated to the cap", repeated("<a x=1>")},
        {"one tag with 100,000 attributes", "<input " + times("a=1 ", 100'000) + ">" + kField},
        {"an endless tag", "<input a=\"" + QByteArray(kCap - 200, 'x') + kField},
        {"'<' and a letter to the cap", repeated("<x")},
        {"text to the cap (a padded status page)", repeated("00000001  bus 0  idle\r\n", "<PRE>")},
        {"entities to the cap", repeated("&amp;&#x41;&lt;")},
        {"comments to the cap", repeated("<!-- <div> -->")},
        {"stray end tags to the cap", repeated("</div>")},
        // The heaviest pages still parsed: 999 tags, nested or with 64 attributes each.
        {"999 nested <div> (parsed)", times("<div>", 999) + kField},
        {"999 nested <div><b> pairs (parsed)", times("<div><b>", 499) + kField},
        {"125 tags of 32 attributes (parsed)", withAttributes(124, 32)},
        {"999 tags of 4 attributes (parsed)", withAttributes(999, 4)},
        {"formatting elements reopened 400 times (parsed)",
         times("<b x=1>", 100) + times("<div>x</div>", 400) + kField},
    };

    struct Worst {
        double ms = 0;
        const char* name = "";
    } worstTree, worstStreaming;
    std::printf("%-48s %8s  %20s  %20s\n", "page", "bytes", "tree: ms (allocs)",
                "now: ms (allocs)");
    for (const Case& c : cases) {
        const Timing tree = measure(&tarnwick::findFieldValueInTree, c.page, c.repeat);
        const Timing streaming = measure(&tarnwick::findFieldValue, c.page, c.repeat);
        const bool streamed =
            tarnwick::findFieldValueStreaming(c.page, QStringLiteral("ResultData_0")).decided;
        std::printf("%-48s %8lld  %9.4f (%8ld)  %9.4f (%8ld)  field %s, %s%s\n", c.name,
                    static_cast<long long>(c.page.size()), tree.ms, tree.allocations, streaming.ms,
                    streaming.allocations, tree.found ? "found" : "not read",
                    !tarnwick::pageToParse(c.page) ? "beyond bounds"
                    : streamed                     ? "streamed"
                                                   : "tree",
                    tree.found == streaming.found ? "" : " (DIFFERS)");
        for (auto [worst, t] : {std::pair{&worstTree, tree}, std::pair{&worstStreaming, streaming}})
            if (t.ms > worst->ms) *worst = {t.ms, c.name};
    }
    std::printf("worst, tree: %.2f ms (%s); now: %.2f ms (%s); goal < 50 ms\n", worstTree.ms,
                worstTree.name, worstStreaming.ms, worstStreaming.name);
    return 0;
}
