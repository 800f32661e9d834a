// The verdict of `arksim replay` from the report its processes wrote (the
// lines of trace/trace_replay.c): one line, or the report of each process
// that diverged and each recorded process that never came.
#ifndef ARKSIM_REPLAY_SUMMARY_H
#define ARKSIM_REPLAY_SUMMARY_H

#include <string>
#include <vector>

#include "trace_read.h"

namespace arkcli {

// Prints the verdict; 0 when every recorded process's calls came, 1 else.
int replay_summary(const trace &t, const std::vector<std::string> &report, const std::string &program,
                   int status);

}  // namespace arkcli

#endif
