// Fault rules: which pages a simulated fault hits, and their text form on the
// simulator's command line ("read:missing-field:first=3,count=1").
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace tarnwick::sim {

// What a page is, for the purpose of matching fault rules.
enum class PageKind {
    Any,         // every request
    Lock,        // /1Wire/GetLock.html
    WriteBlock,  // /1Wire/WriteBlock.html, whatever the data
    Convert,     // write block whose first byte is 44 (start conversion)
    Read,        // write block whose first byte is BE (read scratchpad)
    Release,     // /1Wire/ReleaseLock.html
    Other,       // any other path
};

enum class Fault {
    Delay,         // answer only after delayMs
    MissingField,  // page without its value field (LockID_0 or ResultData_0)
    Stall,         // headers and half the body are sent, the rest only after releaseStalls();
                   // on stop() the connection is closed instead
    Drop,          // the connection is closed half-way through the body
    Oversize,      // body padded to Options::oversizeBytes, the value field at its very end
    AllFF,         // write-block result is all FF, as if nobody answered
    BadCrc,        // the CRC byte of a scratchpad read is wrong
    ShortReply,    // write-block result lacks its last byte
    LongReply,     // write-block result carries an extra byte
    LowerCase,     // write-block result in lower-case hex
};

// A fault that hits the pages matching `kind` (and `address`, for write-block
// pages) from the `first`-th matching page on (counted from 1, per rule, since
// the rule was installed), for `count` pages, or for ever when count < 0.
//   {PageKind::Lock, Fault::MissingField, "", 1, 1}      first lock page has no LockID_0
//   {PageKind::Read, Fault::MissingField, "", 3, 1}      3rd read page lacks ResultData_0
//   {PageKind::Lock, Fault::Delay, "", 1, -1, 300}       every lock page takes 300 ms
//   {PageKind::Read, Fault::AllFF, "9C000000B4A89828"}   that sensor reads all FF for ever
//   {PageKind::Any, Fault::Stall, "", 5, 1}              the 5th request never completes
struct FaultRule {
    FaultRule() = default;
    FaultRule(PageKind kind, Fault fault, std::string address = {}, int first = 1, int count = -1,
              int delayMs = 0)
        : kind(kind),
          fault(fault),
          address(std::move(address)),
          first(first),
          count(count),
          delayMs(delayMs) {}

    PageKind kind = PageKind::Any;
    Fault fault = Fault::Delay;
    std::string address;  // empty: any address (and pages without one)
    int first = 1;
    int count = -1;
    int delayMs = 0;  // Fault::Delay only
};

// Parses "lock", "read", "convert", "writeblock", "release", "other", "any";
// and "delay", "missing-field", "stall", "drop", "oversize", "all-ff",
// "bad-crc", "short", "long", "lower-case".
std::optional<PageKind> parsePageKind(const std::string& text);
std::optional<Fault> parseFault(const std::string& text);
// "KIND:FAULT[:key=value,...]" with keys address, first, count, ms;
// e.g. "read:missing-field:first=3,count=1" or "lock:delay:ms=300".
std::optional<FaultRule> parseFaultRule(const std::string& text);

}  // namespace tarnwick::sim
