#include "FaultRule.h"

#include <cctype>
#include <map>

#include "Bus.h"

namespace tarnwick::sim {

namespace {

// A whole number of at most nine characters, optionally negative.
std::optional<int> number(const std::string& value) {
    if (value.empty() || value.size() > 9) return std::nullopt;
    const std::size_t digits = value[0] == '-' ? 1 : 0;
    if (digits == value.size()) return std::nullopt;
    for (std::size_t i = digits; i < value.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(value[i]))) return std::nullopt;
    return std::stoi(value);
}

// Sets one "key=value" of a rule; false for an unknown key or a bad value.
bool setKey(FaultRule& rule, const std::string& item) {
    const auto eq = item.find('=');
    if (eq == std::string::npos) return false;
    const std::string key = item.substr(0, eq);
    const std::string value = item.substr(eq + 1);
    if (key == "address") {
        if (!isSensorId(value)) return false;
        rule.address = upper(value);
        return true;
    }
    const auto n = number(value);
    if (!n) return false;
    if (key == "first" && *n >= 1) {
        rule.first = *n;
    } else if (key == "count") {
        rule.count = *n;
    } else if (key == "ms" && *n >= 0) {
        rule.delayMs = *n;
    } else {
        return false;
    }
    return true;
}

}  // namespace

std::optional<PageKind> parsePageKind(const std::string& text) {
    static const std::map<std::string, PageKind> names = {
        {"any", PageKind::Any},
        {"lock", PageKind::Lock},
        {"writeblock", PageKind::WriteBlock},
        {"convert", PageKind::Convert},
        {"read", PageKind::Read},
        {"release", PageKind::Release},
        {"other", PageKind::Other},
    };
    auto it = names.find(lower(text));
    if (it == names.end()) return std::nullopt;
    return it->second;
}

std::optional<Fault> parseFault(const std::string& text) {
    static const std::map<std::string, Fault> names = {
        {"delay", Fault::Delay},       {"missing-field", Fault::MissingField},
        {"stall", Fault::Stall},       {"drop", Fault::Drop},
        {"oversize", Fault::Oversize}, {"all-ff", Fault::AllFF},
        {"bad-crc", Fault::BadCrc},    {"short", Fault::ShortReply},
        {"long", Fault::LongReply},    {"lower-case", Fault::LowerCase},
    };
    auto it = names.find(lower(text));
    if (it == names.end()) return std::nullopt;
    return it->second;
}

std::optional<FaultRule> parseFaultRule(const std::string& text) {
    const auto firstColon = text.find(':');
    if (firstColon == std::string::npos) return std::nullopt;
    const auto secondColon = text.find(':', firstColon + 1);
    const auto kind = parsePageKind(text.substr(0, firstColon));
    const auto fault = parseFault(text.substr(firstColon + 1, secondColon == std::string::npos
                                                                  ? std::string::npos
                                                                  : secondColon - firstColon - 1));
    if (!kind || !fault) return std::nullopt;
    FaultRule rule;
    rule.kind = *kind;
    rule.fault = *fault;
    if (secondColon == std::string::npos) return rule;

    const std::string keys = text.substr(secondColon + 1);
    std::size_t pos = 0;
    while (pos <= keys.size()) {
        std::size_t comma = keys.find(',', pos);
        if (comma == std::string::npos) comma = keys.size();
        if (!setKey(rule, keys.substr(pos, comma - pos))) return std::nullopt;
        pos = comma + 1;
    }
    return rule;
}

}  // namespace tarnwick::sim
