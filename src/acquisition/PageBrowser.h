// What the acquisition cycle needs of a browser: go to an address, say when
// the page is complete, and give a named field's value.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace tarnwick {

class PageBrowser {
  public:
    // readyState() while a page is loading, and once it has loaded or failed.
    static constexpr int kLoading = 1;
    static constexpr int kComplete = 4;

    virtual ~PageBrowser() = default;
    // Starts loading `url` (the address text, verbatim) and drops any page
    // loaded or loading before.
    virtual void navigate(const QString& url) = 0;
    // 0 before the first navigation, kLoading while loading, kComplete once
    // the page has loaded or the load has failed.
    virtual int readyState() const = 0;
    // The named field of the page loaded last; nullopt when it cannot be read.
    virtual std::optional<QString> fieldValue(const QString& name) const = 0;
    // The page loaded last, as received (empty after a failed load).
    virtual QByteArray pageSource() const = 0;
    // Why the last load failed ("connection refused", "timed out", ...);
    // nullopt while loading and after a page arrived (an error page from the
    // adapter, such as a 404, is a page that arrived).
    virtual std::optional<QString> failureReason() const = 0;
    // Abandons a load under way.
    virtual void stop() = 0;
};

}  // namespace tarnwick
