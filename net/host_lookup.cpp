#include "host_lookup.h"

#include "socket_error.h"

#include <QEventLoop>
#include <QSocketNotifier>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <netdb.h>
#include <sys/eventfd.h>
#include <system_error>
#include <thread>
#include <unistd.h>

// The thread may outlive the look-up (a cancelled wait does not wait for the
// resolver), so what it writes lives as long as either side holds it.
struct THostLookup::Shared {
    int wakeFd = -1; // readable once the answer is in
    std::atomic<bool> done{false};
    Answer answer;

    ~Shared() {
        if (wakeFd >= 0)
            ::close(wakeFd);
    }
};

namespace {

THostLookup::Answer Resolve(const std::string& hostName) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(hostName.c_str(), nullptr, &hints, &found);
    THostLookup::Answer answer;
    if (rc != 0 || found == nullptr) {
        answer.error = WinsockErrorFromResolver(rc);
    } else {
        answer.found = true;
        answer.address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    }
    if (found != nullptr)
        ::freeaddrinfo(found);
    return answer;
}

void Finish(THostLookup::Shared& shared, const THostLookup::Answer& answer) {
    shared.answer = answer;
    shared.done.store(true, std::memory_order_release);
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(shared.wakeFd, &one, sizeof one);
}

} // namespace

THostLookup::THostLookup(const std::string& hostName) : shared_(std::make_shared<Shared>()) {
    shared_->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (shared_->wakeFd < 0) {
        shared_->answer.error = WinsockErrorFromErrno(errno);
        shared_->done = true;
        return;
    }
    try {
        std::thread([shared = shared_, hostName] { Finish(*shared, Resolve(hostName)); }).detach();
    } catch (const std::system_error& e) {
        shared_->answer.error = WinsockErrorFromErrno(e.code().value());
        shared_->done = true;
    }
}

THostLookup::~THostLookup() {
    Cancel();
}

std::optional<THostLookup::Answer> THostLookup::Wait() {
    if (!shared_->done.load(std::memory_order_acquire) && !cancelled_) {
        QEventLoop loop;
        QSocketNotifier answered(shared_->wakeFd, QSocketNotifier::Read);
        QObject::connect(&answered, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
        waiting_ = &loop;
        loop.exec();
        waiting_ = nullptr;
    }
    // A loop that ends without the answer (the program is quitting) counts
    // as a cancelled look-up.
    if (cancelled_ || !shared_->done.load(std::memory_order_acquire))
        return std::nullopt;
    return shared_->answer;
}

void THostLookup::Cancel() {
    cancelled_ = true;
    if (waiting_ != nullptr)
        waiting_->quit();
}
