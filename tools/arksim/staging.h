// A chassis or blade folder made whole beside the place it goes, then
// renamed into it: a failure on the way leaves the place as it was, and an
// old folder there goes only once the new one is complete.
#ifndef ARKSIM_STAGING_H
#define ARKSIM_STAGING_H

#include <string>

namespace arkcli {

class Staging {
public:
    Staging() = default;
    ~Staging();  // removes a folder never put in place
    Staging(const Staging &) = delete;
    Staging &operator=(const Staging &) = delete;

    // Makes an empty folder (mode 0700) beside `target`, in its parent, with
    // a hidden name; false with "cannot make ...: reason" in `error`.
    bool begin(const std::string &target, std::string &error);
    const std::string &dir() const { return dir_; }
    // Renames the folder to the target.  A target that exists (a folder:
    // the old chassis or blade, or an empty one) is first renamed aside, and
    // put back when the new one cannot go in; once the new one is in place
    // it is removed (`left` names it when that fails).  False with the
    // reason in `error`, the target as it was.
    bool commit(std::string &error, std::string &left);

private:
    std::string target_, dir_;
};

}  // namespace arkcli

#endif
