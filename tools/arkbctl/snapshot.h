// arkbctl snapshot: the blade's state as the library sees it, one JSON
// document (its fields in arkbctl.1).
#ifndef ARKBCTL_SNAPSHOT_H
#define ARKBCTL_SNAPSHOT_H

#include "arkbctl_cli.h"

namespace arkbctl {

inline constexpr const char *kSnapshotFormat = "arkblade-snapshot";
// Raised whenever a field changes its meaning; readers refuse newer ones.
inline constexpr int kSnapshotVersion = 1;

// Writes the snapshot to the file of the -o option, else to standard output.
Outcome snapshot(const Values &v);

}  // namespace arkbctl

#endif
