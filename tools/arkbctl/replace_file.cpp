#include "replace_file.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace arkbctl {
namespace {

constexpr int kNameTries = 100;

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

// Past a file size limit (ulimit -f) write() fails with EFBIG instead of
// the process ending, so that the new file is removed and the reason told.
class NoFileSizeSignal {
public:
    NoFileSizeSignal() { old_ = std::signal(SIGXFSZ, SIG_IGN); }
    ~NoFileSizeSignal() { std::signal(SIGXFSZ, old_); }
    NoFileSizeSignal(const NoFileSizeSignal &) = delete;
    NoFileSizeSignal &operator=(const NoFileSizeSignal &) = delete;

private:
    void (*old_)(int);
};

std::string reason(const char *what, const std::string &path)
{
    return std::string(what) + " " + path + ": " + std::strerror(errno);
}

bool write_all(int fd, std::string_view text)
{
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n == 0 ? (errno = EIO, false) : false;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

bool replace_file(const std::string &path, std::string_view text, std::string &error)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
        return error = path + " is a symbolic link; not following it", false;
    if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        return error = path + " is no regular file; not replacing it", false;
    const auto slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string tmp;
    int fd = -1;
    for (int i = 0; i < kNameTries && fd < 0; ++i) {
        tmp = dir + "/." + base + "." + std::to_string(::getpid()) + "." +
              std::to_string((static_cast<unsigned long>(std::time(nullptr)) + i * 7919u) % 1000000);
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            return error = reason("cannot make a new file in", dir), false;
    }
    if (fd < 0)
        return error = reason("cannot make a new file in", dir), false;
    Fd file(fd);
    const NoFileSizeSignal no_signal;
    int err = 0;
    if (!write_all(file.get(), text) || ::fsync(file.get()) != 0)
        err = errno;
    if (::close(file.release()) != 0 && err == 0)
        err = errno;
    if (err == 0 && ::rename(tmp.c_str(), path.c_str()) != 0)
        err = errno;
    if (err != 0) {
        ::unlink(tmp.c_str());
        errno = err;
        return error = reason("cannot write", path), false;
    }
    // The rename made lasting; a folder that cannot be synced still holds it.
    const Fd folder(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0)
        (void)::fsync(folder.get());
    return true;
}

}  // namespace arkbctl
