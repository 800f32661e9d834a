// libarkblade.so.1, loaded when a command first needs it rather than by the
// dynamic loader at start: the library needs the SP's platform libraries,
// which a development host lacks outside `arksim run`, and `arkbctl --help`
// and usage errors should work there all the same.
#ifndef ARKBCTL_LIBRARY_H
#define ARKBCTL_LIBRARY_H

#include <string>

namespace arkbctl {

inline constexpr const char *kLibraryName = "libarkblade.so.1";

// Loads the library and resolves every function the commands call; false
// with the loader's reason in `error` when it cannot.  The commands call the
// library's functions by their own names (library.cpp forwards them), so
// nothing but this changes for them.
bool load_library(std::string &error);

// A function of the library or of the platform libraries it was loaded with
// (the SP's own), nullptr when none has it.  After load_library().
void *platform_symbol(const char *name);

}  // namespace arkbctl

#endif
