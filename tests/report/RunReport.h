// The report run as its program runs it, for the report's end-to-end tests:
// the command line parsed, the logs read, standard output and error kept.
#pragma once

#include <gtest/gtest.h>

#include <QStringList>
#include <cstdio>
#include <string>

#include "Report.h"

namespace tarnwick::test {

inline std::string readBack(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string text;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    return text;
}

struct Output {
    ReportResult result;
    std::string out;
    std::string err;
};

// `arguments` after the program's name; the roster of TARNWICK_ROSTER is
// `environmentRoster`.
inline Output run(const QStringList& arguments, const QString& environmentRoster = QString()) {
    const ParsedArguments parsed =
        parseArguments(QStringList{"tarnwick-report"} + arguments, "0", environmentRoster);
    EXPECT_EQ(parsed.outcome, ParsedArguments::Run) << parsed.text.toStdString();
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    Output o;
    o.result = runReport(parsed.options, out, err, 100);
    o.out = readBack(out);
    o.err = readBack(err);
    std::fclose(out);
    std::fclose(err);
    return o;
}

// Runs the report and expects it to finish and print `out`.
inline void expectOutput(const QStringList& arguments, const std::string& out) {
    SCOPED_TRACE(arguments.join(' ').toStdString());
    const Output o = run(arguments);
    EXPECT_EQ(o.result.exitStatus, kExitOk) << o.err;
    EXPECT_EQ(o.out, out);
}

}  // namespace tarnwick::test
