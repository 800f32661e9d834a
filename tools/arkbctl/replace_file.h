// Writing a file whole or not at all, without following a link planted where
// it goes: arkbctl runs as root on the SP.
#ifndef ARKBCTL_REPLACE_FILE_H
#define ARKBCTL_REPLACE_FILE_H

#include <string>
#include <string_view>

namespace arkbctl {

// Writes `text` to a new file in `path`'s folder (O_EXCL and O_NOFOLLOW,
// mode 0600), syncs it and renames it over `path`.  A `path` that is a
// symbolic link or no regular file is refused.  False with the reason
// (errno's text) in `error`; `path` is then as it was and no new file stays.
bool replace_file(const std::string &path, std::string_view text, std::string &error);

}  // namespace arkbctl

#endif
