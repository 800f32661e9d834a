// The SP's root folder tree, built in the child's own mount namespace on a
// tmpfs at <sp>/root: every top-level entry of the host root is bind-mounted
// (symlinks recreated), the SP's folders are laid over /conf, /persist and
// /usr/local/bin, and /dev is a small fresh one.  Then the child pivots into
// it.  Nothing of the host's tree is changed.
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "core/simstate.h"
#include "sandbox.h"

namespace arksim {
namespace {

bool fail(std::string &err, const std::string &what)
{
    err = what + ": " + std::strerror(errno);
    return false;
}

// An empty folder or file at `path` to mount something on.
bool make_mountpoint(const std::string &path, bool folder)
{
    if (folder)
        return ::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    return static_cast<bool>(fd);
}

bool bind(const std::string &from, const std::string &to, bool folder)
{
    return make_mountpoint(to, folder) &&
           ::mount(from.c_str(), to.c_str(), nullptr, MS_BIND | MS_REC, nullptr) == 0;
}

// Every top-level entry of the host root but /dev and the SP's own /conf and
// /persist; what cannot be bound is left out.
void bind_host_root(const std::string &root)
{
    DIR *d = ::opendir("/");
    if (d == nullptr)
        return;
    while (struct dirent *e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == ".." || name == "dev" || name == "conf" || name == "persist")
            continue;
        std::string from = "/" + name, to = root + "/" + name;
        struct stat st {};
        if (::lstat(from.c_str(), &st) != 0)
            continue;
        if (S_ISLNK(st.st_mode)) {
            char target[4096];
            ssize_t n = ::readlink(from.c_str(), target, sizeof target - 1);
            if (n > 0)
                target[n] = '\0';
            if (n > 0 && ::symlink(target, to.c_str()) == 0)
                continue;
        } else if (bind(from, to, S_ISDIR(st.st_mode))) {
            continue;
        }
        if (S_ISDIR(st.st_mode))
            ::rmdir(to.c_str());
        else
            ::unlink(to.c_str());
    }
    ::closedir(d);
}

bool build_dev(const std::string &dev, const std::string &sp, std::string &err)
{
    if (!make_mountpoint(dev, true) ||
        ::mount("arksim-dev", dev.c_str(), "tmpfs", MS_NOSUID, "mode=0755") != 0)
        return fail(err, "cannot mount a tmpfs on " + dev);
    for (const char *node : {"null", "zero", "full", "random", "urandom", "tty"})
        if (!bind(std::string("/dev/") + node, dev + "/" + node, false))
            ::unlink((dev + "/" + node).c_str());
    if (!bind("/dev/pts", dev + "/pts", true))
        ::rmdir((dev + "/pts").c_str());
    const char *links[][2] = {{"pts/ptmx", "ptmx"},
                              {"/proc/self/fd", "fd"},
                              {"/proc/self/fd/0", "stdin"},
                              {"/proc/self/fd/1", "stdout"},
                              {"/proc/self/fd/2", "stderr"}};
    for (auto &l : links)
        if (::symlink(l[0], (dev + "/" + l[1]).c_str()) != 0)
            return fail(err, "cannot make " + dev + "/" + l[1]);
    if (!bind(sp + "/fs/dev/shm", dev + "/shm", true))
        return fail(err, "cannot mount " + sp + "/fs/dev/shm on /dev/shm");
    if (!bind(sp + "/devlog.sock", dev + "/log", false))
        return fail(err, "cannot mount " + sp + "/devlog.sock on /dev/log");
    return true;
}

}  // namespace

bool enter_sp_root(const std::string &sp, const std::string &cwd, std::string &err)
{
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return fail(err, "cannot make the mounts private");
    std::string root = sp + "/root";
    // Unbindable, so that binding the host folder that holds it leaves it out.
    if (!make_mountpoint(root, true) || ::mount("arksim-root", root.c_str(), "tmpfs", 0, "mode=0755") != 0 ||
        ::mount(nullptr, root.c_str(), nullptr, MS_UNBINDABLE, nullptr) != 0)
        return fail(err, "cannot mount a tmpfs on " + root);
    bind_host_root(root);
    for (const char *dir : {"conf", "persist"})
        if (!bind(sp + "/fs/" + dir, root + "/" + dir, true))
            return fail(err, "cannot mount " + sp + "/fs/" + dir + " on /" + dir);
    // Lies in the host's /usr, so it is never created here.
    struct stat st {};
    if (::stat((root + "/usr/local/bin").c_str(), &st) != 0 ||
        ::mount((sp + "/fs/usr/local/bin").c_str(), (root + "/usr/local/bin").c_str(), nullptr,
                MS_BIND | MS_REC, nullptr) != 0)
        return fail(err, "cannot mount " + sp + "/fs/usr/local/bin on /usr/local/bin");
    if (!build_dev(root + "/dev", sp, err))
        return false;
    if (::chdir(root.c_str()) != 0 || ::syscall(SYS_pivot_root, ".", ".") != 0 ||
        ::umount2(".", MNT_DETACH) != 0)
        return fail(err, "cannot switch to the root " + root);
    ::mount(nullptr, "/", nullptr, MS_PRIVATE, nullptr);
    if (::chdir(cwd.c_str()) != 0)
        return fail(err, "cannot return to the working folder " + cwd);
    return true;
}

}  // namespace arksim
