#include "RunStatus.h"

#include <utility>

namespace tarnwick {

namespace {

struct Wording {
    const char* failing;  // followed by ": " and the reason
    const char* wellAgain;
};

// One entry per concern, in the order of RunStatus::Concern.
constexpr Wording kWording[RunStatus::kConcernCount] = {
    {"Log write failed", "Log written again"},
    {"Adapter not answering", "Adapter answering again"},
    {"Alarm", "No alarm"},
    {"Alarm command failed", "Alarm command works again"},
    {"Broker not answering", "Broker answering again"},
};

std::size_t indexOf(RunStatus::Concern concern) { return static_cast<std::size_t>(concern); }

}  // namespace

RunStatus::RunStatus(Listener listener) : listener_(std::move(listener)) {}

bool RunStatus::set(Concern concern, const std::optional<QString>& failure) {
    std::optional<QString>& current = failures_[indexOf(concern)];
    if (current == failure) return false;
    const bool told = current.has_value() != failure.has_value();
    current = failure;
    if (told && listener_) listener_(Change{concern, failure});
    return true;
}

bool RunStatus::noteRecord(const LogControl::RecordResult& record) {
    return set(Concern::LogWrite, record.attempted && !record.written
                                      ? std::optional<QString>(record.error)
                                      : std::nullopt);
}

const std::optional<QString>& RunStatus::failure(Concern concern) const {
    return failures_[indexOf(concern)];
}

std::optional<QString> RunStatus::headline() const {
    for (std::size_t i = 0; i < failures_.size(); ++i) {
        if (failures_[i]) return describe(Change{static_cast<Concern>(i), failures_[i]});
    }
    return std::nullopt;
}

QString RunStatus::describe(const Change& change) {
    const Wording& words = kWording[indexOf(change.concern)];
    if (!change.failure) return QString::fromLatin1(words.wellAgain);
    return QString::fromLatin1(words.failing) + QStringLiteral(": ") + *change.failure;
}

}  // namespace tarnwick
