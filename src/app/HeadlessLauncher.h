// `tarnwick --headless`: the window program hands the run to the headless
// one, which links no GUI library and needs no display.
#pragma once

namespace tarnwick {

// Replaces this process by the headless logger with the same arguments: the
// one beside this program's binary (a build tree) or the installed one. It is
// called before any Qt object exists, so nothing of the window program lives
// on. Returns only when the headless logger cannot be started, with the
// program's exit status after saying why on standard error.
int execHeadlessLogger(char** argv);

}  // namespace tarnwick
