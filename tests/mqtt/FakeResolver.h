// A resolver for the publisher that answers every look-up at once with the
// same addresses and keeps the names it was asked for.
#pragma once

#include <QStringList>
#include <memory>
#include <mutex>

#include "HostResolver.h"

namespace tarnwick::test {

class FakeResolver : public HostResolver {
  public:
    // Shared with the test: the publisher owns the resolver.
    struct Asked {
        std::mutex mutex;
        QStringList names;
    };
    FakeResolver(std::vector<QByteArray> addresses, std::shared_ptr<Asked> asked)
        : addresses_(std::move(addresses)), asked_(std::move(asked)) {}
    void lookUp(const QString& host, Done done) override {
        {
            std::lock_guard lock(asked_->mutex);
            asked_->names << host;
        }
        done({.addresses = addresses_, .failure = std::nullopt});
    }

  private:
    const std::vector<QByteArray> addresses_;
    const std::shared_ptr<Asked> asked_;
};

}  // namespace tarnwick::test
