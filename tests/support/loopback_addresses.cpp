#include "loopback_addresses.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int kBlocks = 256;
constexpr int kFirstHost = 1;
constexpr int kLastHost = 254;
constexpr const char* kNetwork = "127.77.";
constexpr const char* kReservationName = "zellhop-test-loopback-";

// Binds the abstract socket that stands for the block; false when another
// process holds it.  The socket stays open for the life of the process.
bool Reserve(int block) {
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error(std::string("no socket for a loopback block: ") +
                                 std::strerror(errno));
    sockaddr_un name{};
    name.sun_family = AF_UNIX;
    const std::string text = kReservationName + std::to_string(block);
    std::memcpy(name.sun_path + 1, text.data(), text.size()); // sun_path[0] = 0: abstract
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + text.size());
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&name), length) == 0)
        return true;
    ::close(fd);
    return false;
}

struct Allocator {
    std::mutex mutex;
    pid_t owner = 0; // a forked child starts afresh
    int block = -1;
    int nextHost = kLastHost + 1;
    int candidate = -1; // the block to try next
    int tried = 0;      // blocks tried so far
};

Allocator& TheAllocator() {
    static Allocator allocator;
    return allocator;
}

// The next free block, starting from one that depends on the process, so
// that processes started together rarely try the same blocks first.
int ReserveBlock(Allocator& a) {
    if (a.candidate < 0)
        a.candidate = static_cast<int>(::getpid() % kBlocks);
    while (a.tried < kBlocks) {
        const int block = a.candidate;
        a.candidate = (a.candidate + 1) % kBlocks;
        ++a.tried;
        if (Reserve(block))
            return block;
    }
    throw std::runtime_error("every block of loopback addresses for tests is taken");
}

} // namespace

std::string NewLoopbackAddress() {
    Allocator& a = TheAllocator();
    std::lock_guard lock(a.mutex);
    if (a.owner != ::getpid()) {
        a.owner = ::getpid();
        a.block = -1;
        a.nextHost = kLastHost + 1;
        a.candidate = -1;
        a.tried = 0;
    }
    if (a.nextHost > kLastHost) {
        a.block = ReserveBlock(a);
        a.nextHost = kFirstHost;
    }
    return kNetwork + std::to_string(a.block) + "." + std::to_string(a.nextHost++);
}

std::string AsHostName(const std::string& loopbackAddress) {
    return "0x7f" + loopbackAddress.substr(loopbackAddress.find('.'));
}
