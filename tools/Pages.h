// HTML pages of the simulated adapter, in the style of an embedded device's web
// server: upper-case tags, a form with hidden fields, the values in INPUT elements.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace tarnwick::sim::pages {

std::string escape(const std::string& text);

// lockId: nullopt leaves the LockID_0 field out.
std::string lockPage(const std::optional<std::string>& lockId);
// result: nullopt leaves the ResultData_0 field out.
std::string writeBlockPage(const std::string& address, const std::string& data,
                           const std::string& lockId, const std::optional<std::string>& result);
std::string releasePage(const std::string& lockId);
std::string errorPage(int status, const std::string& message);

// Pads a page to about `size` bytes with a diagnostics listing placed before its
// form, so that the value fields come at the very end of the body.
std::string padded(const std::string& page, std::size_t size);

}  // namespace tarnwick::sim::pages
