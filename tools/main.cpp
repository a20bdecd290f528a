// tarnwick-simadapter: runs the simulated 1-Wire HTTP adapter on loopback until
// SIGINT or SIGTERM. SIGUSR1 lets stalled pages complete.
#include <signal.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

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

}  // namespace

int main(int argc, char** argv) {
    simadapter::Options options;
    std::string host = "127.0.0.1";
    long long port = 8642;

    std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string flag = args[i];
        std::string value;
        bool hasValue = false;
        if (const auto eq = flag.find('='); flag.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = flag.substr(eq + 1);
            flag = flag.substr(0, eq);
            hasValue = true;
        }
        auto next = [&]() -> bool {
            if (hasValue) return true;
            if (i + 1 >= args.size()) return false;
            value = args[++i];
            return true;
        };
        long long n = 0;
        double p = 0.0;

        if (flag == "--help" || flag == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (flag == "--lowercase") {
            options.lowerCaseHex = true;
        } else if (!next()) {
            return usageError("missing value for " + flag);
        } else if (flag == "--host") {
            host = value;
        } else if (flag == "--port") {
            if (!parseInt(value, 0, 65535, port)) return usageError("bad port: " + value);
        } else if (flag == "--sensors") {
            options.sensors.clear();
            if (value != "none") {
                for (const auto& id : split(value, ',')) {
                    if (!isSensorId(id)) return usageError("bad sensor id: " + id);
                    options.sensors.push_back(id);
                }
            }
        } else if (flag == "--disconnected") {
            if (!isSensorId(value)) return usageError("bad sensor id: " + value);
            options.disconnected.push_back(value);
        } else if (flag == "--conversion-ms") {
            if (!parseInt(value, 0, 600000, n)) return usageError("bad time: " + value);
            options.conversionMs = static_cast<int>(n);
        } else if (flag == "--conversion-ms-for" || flag == "--temperature") {
            const auto eq = value.find('=');
            if (eq == std::string::npos || !isSensorId(value.substr(0, eq)))
                return usageError("expected ID=VALUE: " + value);
            const std::string id = value.substr(0, eq);
            const std::string v = value.substr(eq + 1);
            if (flag == "--conversion-ms-for") {
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
        } else if (flag == "--delay-ms") {
            if (!parseInt(value, 0, 600000, n)) return usageError("bad time: " + value);
            options.requestDelayMs = static_cast<int>(n);
        } else if (flag == "--page-delay") {
            const auto eq = value.find('=');
            const auto kind =
                simadapter::parsePageKind(eq == std::string::npos ? value : value.substr(0, eq));
            if (!kind || eq == std::string::npos || !parseInt(value.substr(eq + 1), 0, 600000, n))
                return usageError("expected KIND=MS: " + value);
            simadapter::FaultRule rule;
            rule.kind = *kind;
            rule.fault = simadapter::Fault::Delay;
            rule.delayMs = static_cast<int>(n);
            options.faults.push_back(rule);
        } else if (flag == "--crc-error-rate" || flag == "--short-reply-rate" ||
                   flag == "--long-reply-rate") {
            if (!parseRate(value, p)) return usageError("rate must be within 0..1: " + value);
            (flag == "--crc-error-rate"     ? options.crcErrorRate
             : flag == "--short-reply-rate" ? options.shortReplyRate
                                            : options.longReplyRate) = p;
        } else if (flag == "--oversize-bytes") {
            if (!parseInt(value, 0, 1LL << 30, n)) return usageError("bad size: " + value);
            options.oversizeBytes = static_cast<std::size_t>(n);
        } else if (flag == "--fault") {
            const auto rule = simadapter::parseFaultRule(value);
            if (!rule) return usageError("bad fault rule: " + value);
            options.faults.push_back(*rule);
        } else if (flag == "--lock-wait-ms") {
            if (!parseInt(value, 0, 600000, n)) return usageError("bad time: " + value);
            options.lockWaitMs = static_cast<int>(n);
        } else if (flag == "--seed") {
            if (!parseInt(value, 0, (1LL << 62), n)) return usageError("bad seed: " + value);
            options.seed = static_cast<std::uint64_t>(n);
        } else if (flag == "--log") {
            options.logFile = value;
        } else if (flag == "--max-target") {
            if (!parseInt(value, 16, 1 << 20, n)) return usageError("bad length: " + value);
            options.maxTargetLength = static_cast<std::size_t>(n);
        } else if (flag == "--keep-alive-s") {
            if (!parseInt(value, 1, 3600, n)) return usageError("bad time: " + value);
            options.keepAliveSeconds = static_cast<int>(n);
        } else {
            return usageError("unknown option " + flag);
        }
    }

    // Loopback only: the simulator is for tests and demos on this machine.
    if (!simadapter::isLoopbackHost(host))
        return usageError("refusing to listen on " + host + ": not a loopback address");

    // Handle the signals on this thread alone; the server threads inherit the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    simadapter::Adapter adapter(options);
    if (!adapter.start(host, static_cast<int>(port))) {
        std::cerr << "tarnwick-simadapter: cannot listen on " << host << ":" << port
                  << (options.logFile.empty() ? "" : " or cannot open the log file") << "\n";
        return 1;
    }
    std::printf("listening on http://%s:%d\n", host.c_str(), adapter.port());
    std::fflush(stdout);

    for (;;) {
        int sig = 0;
        if (sigwait(&signals, &sig) != 0) continue;
        if (sig == SIGUSR1) {
            adapter.releaseStalls();
            continue;
        }
        break;
    }
    adapter.stop();
    return 0;
}
