// What a page browser lets one page cost.
#pragma once

#include <QtGlobal>

namespace tarnwick {

struct BrowserLimits {
    // No byte received for this long ends the load as failed.
    int transferTimeoutMs = 10'000;
    // A body larger than this ends the load as failed; nothing beyond it is kept.
    qint64 maxBodyBytes = 1 << 20;
};

}  // namespace tarnwick
