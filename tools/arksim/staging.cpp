#include "staging.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "core/call_settings.h"
#include "core/simstate.h"

namespace arkcli {
namespace {

std::string why(const std::string &what, const std::string &path)
{
    return "cannot " + what + " " + path + ": " + std::strerror(errno);
}

// "<parent>/.<name>.<tag>.XXXXXX", made as an empty folder of mode 0700.
bool hidden_beside(const std::string &target, const char *tag, std::string &out, std::string &error)
{
    const auto slash = target.find_last_of('/');
    const std::string parent = slash == std::string::npos ? "." : target.substr(0, slash);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    out = parent + "/." + name + "." + tag + ".XXXXXX";
    if (::mkdtemp(out.data()) != nullptr)
        return true;
    error = why("make a folder beside", target);
    out.clear();
    return false;
}

}  // namespace

Staging::~Staging()
{
    if (!dir_.empty())
        arksim::remove_tree(dir_);
}

bool Staging::begin(const std::string &target, std::string &error)
{
    target_ = target;
    return hidden_beside(target, "new", dir_, error);
}

bool Staging::commit(std::string &error, std::string &left)
{
    struct stat st {};
    std::string old;
    const bool there = ::lstat(target_.c_str(), &st) == 0;
    // Programs running on the old blades take up the new files once in place.
    const arksim::ChangeNotice replaced(target_);
    if (there && !S_ISDIR(st.st_mode))
        return error = target_ + " is no folder", false;
    if (there &&
        (!hidden_beside(target_, "old", old, error) || ::rename(target_.c_str(), old.c_str()) != 0)) {
        if (error.empty())
            error = why("move aside", target_);
        if (!old.empty())
            ::rmdir(old.c_str());
        return false;
    }
    if (::rename(dir_.c_str(), target_.c_str()) != 0) {
        error = why("rename the new folder to", target_);
        if (there && ::rename(old.c_str(), target_.c_str()) != 0)
            error += "; the old one is left in " + old;
        return false;
    }
    dir_.clear();
    if (there && !arksim::remove_tree(old))
        left = old;
    return true;
}

}  // namespace arkcli
