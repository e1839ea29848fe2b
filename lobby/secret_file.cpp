#include "secret_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace secret_file {
namespace {

constexpr std::size_t kMaxBytes = 4096;
constexpr mode_t kOwnerOnly = S_IRUSR | S_IWUSR;
constexpr mode_t kOthersBits = S_IRWXG | S_IRWXO;

// Closes a descriptor when it goes.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }

  private:
    int fd_;
};

std::runtime_error Failure(const std::string& what, const std::string& path,
                           const std::string& doing) {
    return std::runtime_error("cannot " + doing + " " + what + " " + path + ": " +
                              std::strerror(errno));
}

bool WriteAll(int fd, const std::string& contents) {
    std::size_t written = 0;
    while (written < contents.size()) {
        const ssize_t put = write(fd, contents.data() + written, contents.size() - written);
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0)
            return false;
        written += static_cast<std::size_t>(put);
    }
    return true;
}

} // namespace

std::string Read(const std::string& path, const std::string& what) {
    const Descriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (file.Get() < 0)
        throw Failure(what, path, "read");
    struct stat status {};
    if (fstat(file.Get(), &status) != 0)
        throw Failure(what, path, "read");
    if (!S_ISREG(status.st_mode))
        throw std::runtime_error(what + " " + path + " is not a plain file");
    if ((status.st_mode & kOthersBits) != 0)
        throw std::runtime_error(what + " " + path +
                                 " may be read by others; make it its owner's alone (chmod 600)");
    std::string contents(kMaxBytes + 1, '\0');
    std::size_t length = 0;
    while (length < contents.size()) {
        const ssize_t got = read(file.Get(), contents.data() + length, contents.size() - length);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw Failure(what, path, "read");
        if (got == 0)
            break;
        length += static_cast<std::size_t>(got);
    }
    if (length > kMaxBytes)
        throw std::runtime_error(what + " " + path + " is too long");
    contents.resize(length);
    return contents;
}

// Written whole under a temporary name, then linked into place, so that
// another lobby starting at the same moment reads all of it or nothing.
bool CreateNew(const std::string& path, const std::string& contents, const std::string& what) {
    const std::string temporary =
        path + ".new-" + std::to_string(getpid()) + "-" + std::to_string(std::random_device()());
    {
        const Descriptor file(open(
            temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, kOwnerOnly));
        if (file.Get() < 0)
            throw Failure(what, path, "create");
        // The umask may have taken bits away, never added any; set them exactly.
        if (fchmod(file.Get(), kOwnerOnly) != 0 || !WriteAll(file.Get(), contents) ||
            fsync(file.Get()) != 0) {
            const int error = errno;
            unlink(temporary.c_str());
            errno = error;
            throw Failure(what, path, "write");
        }
    }
    const int linked = link(temporary.c_str(), path.c_str());
    const int error = errno;
    unlink(temporary.c_str());
    if (linked == 0)
        return true;
    if (error == EEXIST)
        return false;
    errno = error;
    throw Failure(what, path, "create");
}

} // namespace secret_file
