// Exit statuses the programs share.
#pragma once

namespace tarnwick {

// A command line (or a file it names) that the program refuses.
inline constexpr int kUsageExitStatus = 2;

}  // namespace tarnwick
