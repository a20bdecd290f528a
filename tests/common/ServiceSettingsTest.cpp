#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "ServiceSettings.h"

namespace tarnwick::test {
namespace {

// Each text read as systemd reads an EnvironmentFile=: the values it gives,
// or the line it is refused at.
TEST(ServiceSettings, ReadAsSystemdReadsThem) {
    const struct {
        const char* text;
        QHash<QString, QString> values;
        const char* error;  // empty: read
    } rows[] = {
        {"", {}, ""},
        {"# TARNWICK_LOG=x\n; also a comment\n\n   \n", {}, ""},
        {"TARNWICK_ADAPTER=192.168.1.50\n", {{"TARNWICK_ADAPTER", "192.168.1.50"}}, ""},
        {"  KEY =  spaced value  \r\nLAST=no line end",
         {{"KEY", "spaced value"}, {"LAST", "no line end"}},
         ""},
        {"A=\"quoted  # not a comment \\\"x\\\" \\n\"\nB='single \\ $x'\nC=\n",
         {{"A", "quoted  # not a comment \"x\" \\n"}, {"B", "single \\ $x"}, {"C", ""}},
         ""},
        {"A=one\\\ntwo\nB=\"three\\\nfour\"\n# comment \\\nstill comment\nC=a\\ b\\\\",
         {{"A", "onetwo"}, {"B", "threefour"}, {"C", "a b\\"}},
         ""},
        {"A=1\nA=2\n", {{"A", "2"}}, ""},
        {"A=1\nnot an assignment\n", {}, "f.conf:2: expected KEY=value"},
        {"A=1\n\nexport B=2\n", {}, "f.conf:3: expected KEY=value"},
        {"1A=2\n", {}, "f.conf:1: expected KEY=value"},
        {"A=1\nB=\"open\nC=2\n", {}, "f.conf:2: a quote is not closed"},
        {"A=1\nB", {}, "f.conf:2: expected KEY=value"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        const ServiceSettingsLoad load = parseServiceSettings(row.text, "f.conf");
        if (*row.error == '\0') {
            ASSERT_TRUE(load.values) << load.error.toStdString();
            EXPECT_EQ(*load.values, row.values);
        } else {
            EXPECT_FALSE(load.values);
            EXPECT_TRUE(load.error.startsWith(QString::fromUtf8(row.error)))
                << load.error.toStdString();
        }
    }
}

TEST(ServiceSettings, AFileThatCannotBeReadIsNamed) {
    QTemporaryDir dir;
    const QString missing = dir.filePath("none.conf");
    const ServiceSettingsLoad load = readServiceSettings(missing);
    EXPECT_FALSE(load.values);
    EXPECT_TRUE(load.error.startsWith(missing + ": cannot read the settings"))
        << load.error.toStdString();
}

}  // namespace
}  // namespace tarnwick::test
