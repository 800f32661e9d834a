// Paths of the simulated SP and chassis, and the small file helpers that every
// stand-in uses.  Values are written atomically (temporary file, rename) so a
// concurrent reader never sees a torn value and a crash keeps the old one.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>

#include "simstate.h"
#include "unique_fd.h"

namespace arksim {

std::string sp_dir()
{
    const char *env = std::getenv(kSpEnv);
    if (env != nullptr && env[0] != '\0')
        return env;
    const char *home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "/root") + "/.arksim/blades/sp1";
}

std::string chassis_of(const std::string &sp)
{
    std::string s = sp;
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    for (int up = 0; up < 2; ++up) {
        auto cut = s.rfind('/');
        if (cut == std::string::npos)
            return up == 0 ? std::string(".") + "/.." : ".";
        s.erase(cut == 0 ? 1 : cut);
    }
    return s;
}

std::string sp_path(std::string_view rel) { return sp_dir() + "/" + std::string(rel); }

std::string chassis_path(std::string_view rel) { return chassis_of(sp_dir()) + "/" + std::string(rel); }

// Letters, digits, '-', '_' and '.' (not leading) stand for themselves; every
// other byte becomes %XX, so "ARKB/PWRDEC" is stored as "ARKB%2FPWRDEC".
std::string encode_key(std::string_view key)
{
    std::string out;
    for (std::size_t i = 0; i < key.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(key[i]);
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                     c == '_' || (c == '.' && i != 0);
        if (plain) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            append_hex(out, c, true);
        }
    }
    return out;
}

bool storable_key(std::string_view key)
{
    // write_file_atomic's temporary name adds ".tmp.<pid>" to the key's.
    constexpr std::size_t kTemporarySuffix = 16;
    return !key.empty() && key.find('\0') == std::string_view::npos &&
           encode_key(key).size() + kTemporarySuffix <= NAME_MAX;
}

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void append_hex(std::string &out, uint8_t byte, bool upper)
{
    const char *digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    out.push_back(digits[byte >> 4]);
    out.push_back(digits[byte & 15]);
}

std::string decode_key(std::string_view name)
{
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '%' && i + 2 < name.size()) {
            int hi = hex_digit(name[i + 1]);
            int lo = hex_digit(name[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out.push_back(static_cast<char>(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        out.push_back(name[i]);
    }
    return out;
}

bool read_file(const std::string &path, std::vector<uint8_t> &out)
{
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd)
        return false;
    out.clear();
    uint8_t buf[4096];
    for (;;) {
        ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        out.insert(out.end(), buf, buf + n);
    }
}

namespace {

// Hands bytes to `put(done)` (which writes from byte `done` on) until all are
// written; false on an error other than an interrupted call.
template <class Put> bool put_all(std::span<const uint8_t> bytes, Put put)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = put(done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool write_all(int fd, std::span<const uint8_t> bytes)
{
    return put_all(bytes,
                   [&](std::size_t done) { return ::write(fd, bytes.data() + done, bytes.size() - done); });
}

bool pwrite_all(int fd, std::span<const uint8_t> bytes, unsigned long long offset)
{
    return put_all(bytes, [&](std::size_t done) {
        return ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
    });
}

namespace {

// Kept, since every journal line carries them; 0 until known.  The process
// id is known before any thread but the first can ask (a constructor of this
// library) and changes only in a forked child, which has one thread: the one
// whose id the child handler forgets.
long g_process_id = 0;
thread_local long t_thread_id = 0;

void forget_ids()
{
    g_process_id = ::getpid();
    t_thread_id = 0;
}

[[gnu::constructor]] void keep_ids()
{
    g_process_id = ::getpid();
    pthread_atfork(nullptr, nullptr, forget_ids);
}

}  // namespace

long thread_id()
{
    if (t_thread_id == 0)
        t_thread_id = ::syscall(SYS_gettid);
    return t_thread_id;
}

long process_id() { return g_process_id; }

bool write_file_atomic(const std::string &path, std::span<const uint8_t> bytes)
{
    std::string tmp = path + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(thread_id());
    {
        UniqueFd fd(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (!fd)
            return false;
        if (!write_all(fd.get(), bytes)) {
            ::unlink(tmp.c_str());
            return false;
        }
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

bool write_text(const std::string &path, std::string_view text)
{
    return write_file_atomic(
        path, std::span<const uint8_t>(reinterpret_cast<const uint8_t *>(text.data()), text.size()));
}

std::string read_text(const std::string &path)
{
    std::vector<uint8_t> raw;
    if (!read_file(path, raw))
        return {};
    std::string text(raw.begin(), raw.end());
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

std::vector<std::string> read_lines(const std::string &path)
{
    std::vector<uint8_t> raw;
    std::vector<std::string> lines;
    if (!read_file(path, raw))
        return lines;
    std::string text(raw.begin(), raw.end());
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = std::min(text.find('\n', start), text.size());
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::optional<long long> read_number(const std::string &path)
{
    std::vector<uint8_t> raw;
    if (!read_file(path, raw))
        return std::nullopt;
    std::string text(raw.begin(), raw.end());
    const char *s = text.c_str();
    char *end = nullptr;
    errno = 0;
    long long v = std::strtoll(s, &end, 0);
    if (end == s || errno != 0)
        return std::nullopt;
    return v;
}

bool make_dirs(const std::string &path)
{
    std::string partial;
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        partial = path.substr(0, pos);
        if (partial.empty())
            continue;
        if (::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool remove_tree(const std::string &path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(st.st_mode))
        return ::unlink(path.c_str()) == 0;
    DIR *dir = ::opendir(path.c_str());
    if (dir == nullptr)
        return false;
    bool ok = true;
    while (struct dirent *e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
            continue;
        ok = remove_tree(path + "/" + e->d_name) && ok;
    }
    ::closedir(dir);
    return ::rmdir(path.c_str()) == 0 && ok;
}

}  // namespace arksim
