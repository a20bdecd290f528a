#include "FaultMatcher.h"

#include <algorithm>

namespace tarnwick::sim {

bool kindMatches(PageKind ruleKind, PageKind pageKind) {
    if (ruleKind == PageKind::Any || ruleKind == pageKind) return true;
    return ruleKind == PageKind::WriteBlock &&
           (pageKind == PageKind::Convert || pageKind == PageKind::Read);
}

FaultHits FaultMatcher::match(const std::vector<FaultRule>& rules, PageKind kind,
                              const std::string& address) {
    seen_.resize(rules.size(), 0);
    FaultHits hits;
    for (std::size_t i = 0; i < rules.size(); ++i) {
        const FaultRule& rule = rules[i];
        if (!kindMatches(rule.kind, kind)) continue;
        if (!rule.address.empty() && rule.address != address) continue;
        const long long seen = ++seen_[i];
        if (seen < rule.first) continue;
        if (rule.count >= 0 && seen >= static_cast<long long>(rule.first) + rule.count) continue;
        hits.faults.insert(rule.fault);
        if (rule.fault == Fault::Delay) hits.delayMs += std::max(0, rule.delayMs);
    }
    return hits;
}

}  // namespace tarnwick::sim
