// tarnwick-simadapter: runs the simulated 1-Wire HTTP adapter on loopback until
// SIGINT or SIGTERM. SIGUSR1 lets stalled pages complete.
#include <signal.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

#include "SimAdapter.h"

namespace {

const char* const kUsage = R"(Usage: tarnwick-simadapter [options]

Simulated 1-Wire HTTP adapter for Tarnwick. Serves /1Wire/GetLock.html,
/1Wire/WriteBlock.html and /1Wire/ReleaseLock.html on a loopback address and
prints "listening on http://HOST:PORT" once ready. SIGINT/SIGTERM stop it,
SIGUSR1 lets stalled pages complete.

  --host ADDR              loopback address to listen on (127.0.0.0/8), default 127.0.0.1
  --port N                 TCP port, default 8642; 0 picks a free one
  --sensors ID,ID,...      sensors on the bus (default: the sixteen roster sensors);
                           "none" for an empty bus
  --disconnected ID        a sensor that has lost contact and answers all FF (repeatable)
  --conversion-ms N        temperature conversion time, default 750; 0 = instant
  --conversion-ms-for ID=N conversion time of one sensor (repeatable)
  --temperature ID=C       hold a sensor at C degrees Celsius (repeatable)
  --delay-ms N             delay before every page is answered
  --page-delay KIND=MS     delay for one kind of page, e.g. lock=300 (repeatable)
  --crc-error-rate P       probability (0..1) that a scratchpad read carries a wrong CRC
  --short-reply-rate P     probability that a write-block result lacks its last byte
  --long-reply-rate P      probability that a write-block result has an extra byte
  --lowercase              write-block results in lower-case hex
  --oversize-bytes N       body size of oversized pages, default 2097152
  --fault KIND:FAULT[:address=ID,first=N,count=N,ms=N]
                           fault rule (repeatable). KIND: any lock writeblock convert
                           read release other. FAULT: delay missing-field stall drop
                           oversize all-ff bad-crc short long lower-case.
                           first counts matching pages from 1; count -1 = for ever
                           (default). Examples: lock:missing-field:count=1
                           read:missing-field:first=3,count=1  lock:delay:ms=300
                           read:all-ff:address=9C000000B4A89828  any:stall:first=5,count=1
  --lock-wait-ms N         how long GetLock waits for a held lock before taking it
                           over (default 0: the new caller takes it over at once)
  --seed N                 seed for temperatures, drift, lock IDs and fault rates, default 1
  --log FILE               append one line per request (UTC time, path and query)
  --max-target N           longest accepted path and query, default 2048
  --keep-alive-s N         idle keep-alive connections are closed after N s, default 10
  --help                   show this text
)";

bool parseInt(const std::string& text, long long low, long long high, long long& out) {
    try {
        std::size_t used = 0;
        const long long v = std::stoll(text, &used);
        if (used != text.size() || v < low || v > high) return false;
        out = v;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool parseRate(const std::string& text, double& out) {
    try {
        std::size_t used = 0;
        const double v = std::stod(text, &used);
        if (used != text.size() || !(v >= 0.0 && v <= 1.0)) return false;
        out = v;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool isSensorId(const std::string& id) {
    if (id.size() != 16) return false;
    for (char c : id)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

std::vector<std::string> split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    std::size_t pos = 0;
    while (true) {
        const auto at = text.find(sep, pos);
        parts.push_back(text.substr(pos, at == std::string::npos ? std::string::npos : at - pos));
        if (at == std::string::npos) break;
        pos = at + 1;
    }
    return parts;
}

int usageError(const std::string& message) {
    std::cerr << "tarnwick-simadapter: " << message << "\nTry --help.\n";
    return 2;
}

std::string text(const QString& s) { return s.toStdString(); }

}  // namespace

int main(int argc, char** argv) {
    tarnwick::sim::Options options;
    std::string host = "127.0.0.1";
    long long port = 8642;

    // The help text above is written out as it stands; the parser only
    // splits the command line and knows which options take a value.
    auto withValue = [](const char* name) {
        return QCommandLineOption(QString::fromLatin1(name), QString(), QStringLiteral("value"));
    };
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption lowercase(QStringLiteral("lowercase"));
    const QCommandLineOption hostOpt = withValue("host"), portOpt = withValue("port"),
                             sensors = withValue("sensors"), disconnected = withValue("disconnected"),
                             conversionMs = withValue("conversion-ms"),
                             conversionMsFor = withValue("conversion-ms-for"),
                             temperature = withValue("temperature"), delayMs = withValue("delay-ms"),
                             pageDelay = withValue("page-delay"),
                             crcErrorRate = withValue("crc-error-rate"),
                             shortReplyRate = withValue("short-reply-rate"),
                             longReplyRate = withValue("long-reply-rate"),
                             oversizeBytes = withValue("oversize-bytes"), fault = withValue("fault"),
                             lockWaitMs = withValue("lock-wait-ms"), seed = withValue("seed"),
                             log = withValue("log"), maxTarget = withValue("max-target"),
                             keepAlive = withValue("keep-alive-s");
    parser.addOptions({help, lowercase, hostOpt, portOpt, sensors, disconnected, conversionMs,
                       conversionMsFor, temperature, delayMs, pageDelay, crcErrorRate,
                       shortReplyRate, longReplyRate, oversizeBytes, fault, lockWaitMs, seed, log,
                       maxTarget, keepAlive});

    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    if (!parser.parse(arguments)) return usageError(text(parser.errorText()));
    if (parser.isSet(help)) {
        std::cout << kUsage;
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError("unknown option " + text(parser.positionalArguments().first()));

    // A single-valued option given more than once: the last one counts.
    auto last = [&](const QCommandLineOption& o) { return text(parser.values(o).last()); };
    long long n = 0;
    double p = 0.0;

    if (parser.isSet(lowercase)) options.lowerCaseHex = true;
    if (parser.isSet(hostOpt)) host = last(hostOpt);
    if (parser.isSet(portOpt)) {
        const std::string value = last(portOpt);
        if (!parseInt(value, 0, 65535, port)) return usageError("bad port: " + value);
    }
    if (parser.isSet(sensors)) {
        options.sensors.clear();
        const std::string value = last(sensors);
        if (value != "none") {
            for (const auto& id : split(value, ',')) {
                if (!isSensorId(id)) return usageError("bad sensor id: " + id);
                options.sensors.push_back(id);
            }
        }
    }
    for (const QString& v : parser.values(disconnected)) {
        const std::string value = text(v);
        if (!isSensorId(value)) return usageError("bad sensor id: " + value);
        options.disconnected.push_back(value);
    }
    if (parser.isSet(conversionMs)) {
        const std::string value = last(conversionMs);
        if (!parseInt(value, 0, 600000, n)) return usageError("bad time: " + value);
        options.conversionMs = static_cast<int>(n);
    }
    for (const QCommandLineOption* o : {&conversionMsFor, &temperature}) {
        for (const QString& q : parser.values(*o)) {
            const std::string value = text(q);
            const auto eq = value.find('=');
            if (eq == std::string::npos || !isSensorId(value.substr(0, eq)))
                return usageError("expected ID=VALUE: " + value);
            const std::string id = value.substr(0, eq);
            const std::string v = value.substr(eq + 1);
            if (o == &conversionMsFor) {
                if (!parseInt(v, 0, 600000, n)) return usageError("bad time: " + v);
                options.conversionMsFor[id] = static_cast<int>(n);
            } else {
                try {
                    std::size_t used = 0;
                    const double c = std::stod(v, &used);
                    if (used != v.size() || !(c >= -55.0 && c <= 125.0))
                        return usageError("temperature out of range: " + v);
                    options.temperatureC[id] = c;
                } catch (const std::exception&) {
                    return usageError("bad temperature: " + v);
                }
            }
        }
    }
    if (parser.isSet(delayMs)) {
        const std::string value = last(delayMs);
        if (!parseInt(value, 0, 600000, n)) return usageError("bad time: " + value);
        options.requestDelayMs = static_cast<int>(n);
    }
    for (const QString& q : parser.values(pageDelay)) {
        const std::string value = text(q);
        const auto eq = value.find('=');
        const auto kind =
            tarnwick::sim::parsePageKind(eq == std::string::npos ? value : value.substr(0, eq));
        if (!kind || eq == std::string::npos || !parseInt(value.substr(eq + 1), 0, 600000, n))
            return usageError("expected KIND=MS: " + value);
        tarnwick::sim::FaultRule rule;
        rule.kind = *kind;
        rule.fault = tarnwick::sim::Fault::Delay;
        rule.delayMs = static_cast<int>(n);
        options.faults.push_back(rule);
    }
    const std::pair<const QCommandLineOption*, double*> rates[] = {
        {&crcErrorRate, &options.crcErrorRate},
        {&shortReplyRate, &options.shortReplyRate},
        {&longReplyRate, &options.longReplyRate},
    };
    for (const auto& [o, rate] : rates) {
        if (!parser.isSet(*o)) continue;
        const std::string value = last(*o);
        if (!parseRate(value, p)) return usageError("rate must be within 0..1: " + value);
        *rate = p;
    }
    if (parser.isSet(oversizeBytes)) {
        const std::string value = last(oversizeBytes);
        if (!parseInt(value, 0, 1LL << 30, n)) return usageError("bad size: " + value);
        options.oversizeBytes = static_cast<std::size_t>(n);
    }
    for (const QString& q : parser.values(fault)) {
        const auto rule = tarnwick::sim::parseFaultRule(text(q));
        if (!rule) return usageError("bad fault rule: " + text(q));
        options.faults.push_back(*rule);
    }
    if (parser.isSet(lockWaitMs)) {
        const std::string value = last(lockWaitMs);
        if (!parseInt(value, 0, 600000, n)) return usageError("bad time: " + value);
        options.lockWaitMs = static_cast<int>(n);
    }
    if (parser.isSet(seed)) {
        const std::string value = last(seed);
        if (!parseInt(value, 0, (1LL << 62), n)) return usageError("bad seed: " + value);
        options.seed = static_cast<std::uint64_t>(n);
    }
    if (parser.isSet(log)) options.logFile = last(log);
    if (parser.isSet(maxTarget)) {
        const std::string value = last(maxTarget);
        if (!parseInt(value, 16, 1 << 20, n)) return usageError("bad length: " + value);
        options.maxTargetLength = static_cast<std::size_t>(n);
    }
    if (parser.isSet(keepAlive)) {
        const std::string value = last(keepAlive);
        if (!parseInt(value, 1, 3600, n)) return usageError("bad time: " + value);
        options.keepAliveSeconds = static_cast<int>(n);
    }

    // Loopback only: the simulator is for tests and demos on this machine.
    if (!tarnwick::sim::isLoopbackHost(host))
        return usageError("refusing to listen on " + host + ": not a loopback address");

    // Handle the signals on this thread alone; the server threads inherit the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    tarnwick::sim::Adapter adapter(options);
    if (!adapter.start(host, static_cast<int>(port))) {
        std::cerr << "tarnwick-simadapter: cannot listen on " << host << ":" << port
                  << (options.logFile.empty() ? "" : " or cannot open the log file") << "\n";
        return 1;
    }
    std::printf("listening on http://%s:%d\n", host.c_str(), adapter.port());
    std::fflush(stdout);

    for (;;) {
        int sig = 0;
        if (sigwait(&stopSignals, &sig) != 0) continue;
        if (sig == SIGUSR1) {
            adapter.releaseStalls();
            continue;
        }
        break;
    }
    adapter.stop();
    return 0;
}
