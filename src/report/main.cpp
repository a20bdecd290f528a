// tarnwick-report: degrees, CSV and charts from Tarnwick's log files.
#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>
#include <memory>

#include "ExitStatus.h"
#include "Report.h"
#include "ReportChart.h"
#include "ReportOptions.h"
#include "RosterFile.h"

#ifndef TARNWICK_VERSION
#error "TARNWICK_VERSION must be defined by the build"
#endif

namespace {

constexpr int kPlotWidth = 1600;
constexpr int kPlotHeight = 900;
// Columns of min/max data: about one per pixel of the plot area, and some
// to spare for zooming in the window.
constexpr int kPlotColumns = 1600;

QString chartTitle(const tarnwick::ReportOptions& options) {
    QStringList names;
    if (options.named()) {
        for (const tarnwick::ReportInstance& instance : options.instances) names << instance.name;
        return names.join(QStringLiteral(", "));
    }
    for (const QString& log : options.logs) names << QFileInfo(log).fileName();
    if (names.size() > 3) names = QStringList{names.front(), QStringLiteral("..."), names.back()};
    return names.join(QStringLiteral(", "));
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tarnwick;
    ParsedArguments parsed;
    {
        // A core application only, which needs no display: it names the
        // program on the help text's usage line.
        const QCoreApplication probe(argc, argv);
        parsed = parseArguments(QCoreApplication::arguments(), QStringLiteral(TARNWICK_VERSION),
                                qEnvironmentVariable(kRosterVariable));
    }
    switch (parsed.outcome) {
        case ParsedArguments::Help:
        case ParsedArguments::Version:
            std::fputs(parsed.text.toLocal8Bit().constData(), stdout);
            return kExitOk;
        case ParsedArguments::Error:
            std::fprintf(stderr, "tarnwick-report: %s\nTry 'tarnwick-report --help'.\n",
                         parsed.text.toLocal8Bit().constData());
            return kUsageExitStatus;
        case ParsedArguments::Run:
            break;
    }
    const ReportOptions& options = parsed.options;
    const bool chart = options.show || !options.plotPath.isEmpty();

    // A chart file needs no display: draw it offscreen, so that the tool
    // also runs from cron or over ssh.
    if (chart && !options.show && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> app;
    if (chart)
        app = std::make_unique<QApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);

    ReportResult result = runReport(options, stdout, stderr, kPlotColumns);
    if (!chart || result.exitStatus == kExitFailure) return result.exitStatus;

    const QString title = chartTitle(options);
    if (!options.plotPath.isEmpty()) {
        std::unique_ptr<QChart> picture(
            buildChart(result.plot, options.unit, instanceLabels(options), title));
        if (const std::optional<QString> failure = saveChart(
                picture.get(), options.plotPath, options.plotSvg, kPlotWidth, kPlotHeight)) {
            std::fprintf(stderr, "tarnwick-report: %s\n", failure->toLocal8Bit().constData());
            return kExitFailure;
        }
    }
    if (options.show) {
        std::unique_ptr<LiveChart> live;
        QChart* shown = nullptr;
        if (result.followed) {
            live = std::make_unique<LiveChart>(
                std::move(result.reducer), std::move(result.followed), options, title,
                [](const QString& note) {
                    std::fprintf(stderr, "tarnwick-report: %s\n", note.toLocal8Bit().constData());
                });
            live->follower().watch();
            shown = live->chart();
        } else {
            shown = buildChart(result.plot, options.unit, instanceLabels(options), title);
        }
        ZoomableChartView view(shown);
        view.setWindowTitle(QStringLiteral("%1 - tarnwick-report%2")
                                .arg(title, live ? QStringLiteral(" (following)") : QString()));
        view.resize(1200, 700);
        view.show();
        app->exec();
    }
    return result.exitStatus;
}
