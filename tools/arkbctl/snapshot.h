// arkbctl snapshot: the blade's state as the library sees it, one JSON
// document (its fields in arkbctl.1).
#ifndef ARKBCTL_SNAPSHOT_H
#define ARKBCTL_SNAPSHOT_H

#include "arkbctl_cli.h"

namespace arkbctl {

// Writes the snapshot to the file of the -o option (replacing it whole or
// not at all, replace_file.h), else to standard output.
Outcome snapshot(const Values &v);

}  // namespace arkbctl

#endif
