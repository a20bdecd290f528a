// Exit statuses the programs share.
#pragma once

namespace tarnwick {

// The run could not go on: the log cannot be opened, an error escaped a
// handler, the headless logger cannot be started.
inline constexpr int kFailureExitStatus = 1;
// A command line (or a file it names) that the program refuses.
inline constexpr int kUsageExitStatus = 2;

}  // namespace tarnwick
