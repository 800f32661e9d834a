// Owns one file descriptor and closes it when it goes out of scope.
#ifndef ARKSIM_UNIQUE_FD_H
#define ARKSIM_UNIQUE_FD_H

#include <span>
#include <unistd.h>

namespace arksim {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;
    UniqueFd(UniqueFd &&o) noexcept : fd_(o.release()) {}
    UniqueFd &operator=(UniqueFd &&o) noexcept
    {
        reset(o.release());
        return *this;
    }
    ~UniqueFd() { reset(); }
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release()
    {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1)
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

// Writes every byte, retrying short writes and EINTR.
bool write_all(int fd, std::span<const unsigned char> bytes);
// The same at a file position, without moving the file offset.
bool pwrite_all(int fd, std::span<const unsigned char> bytes, unsigned long long offset);

}  // namespace arksim

#endif
