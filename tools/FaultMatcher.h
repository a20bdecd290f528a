// Which fault rules hit a page: each rule counts the pages it matches, and
// hits those that fall within its window (from its first-th page, count pages).
#pragma once

#include <set>
#include <string>
#include <vector>

#include "FaultRule.h"

namespace tarnwick::sim {

// The faults that hit one page.
struct FaultHits {
    std::set<Fault> faults;
    int delayMs = 0;  // the delays of every Fault::Delay rule that hit, added up

    bool has(Fault fault) const { return faults.count(fault) != 0; }
};

// A rule of PageKind::WriteBlock also matches convert and read pages.
bool kindMatches(PageKind ruleKind, PageKind pageKind);

// The count of pages each rule has matched. Not thread-safe.
class FaultMatcher {
  public:
    // Counts the page against every rule it matches (`rules` grows at its
    // end only; a rule added later starts from zero) and returns the faults
    // of the rules whose window the page falls in. `address`: upper case.
    FaultHits match(const std::vector<FaultRule>& rules, PageKind kind, const std::string& address);
    // Every rule starts counting again from zero.
    void restart() { seen_.clear(); }

  private:
    std::vector<long long> seen_;
};

}  // namespace tarnwick::sim
