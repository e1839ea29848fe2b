#include "host_lookup.h"

#include "socket_error.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <arpa/inet.h>
#include <mutex>
#include <netdb.h>
#include <system_error>
#include <thread>

// The thread may outlive the look-up (a cancelled one does not wait for
// the resolver), so what both sides touch lives as long as either holds it.
struct THostLookup::Shared {
    std::mutex mutex;
    bool cancelled = false; // under mutex
    bool answered = false;  // under mutex
    TDone done;             // the application's thread only
};

namespace {

// The answers are posted to the application object; once it is going away
// nothing is posted any more.  Guarded by one lock for every look-up.
std::mutex& PostingMutex() {
    static std::mutex mutex;
    return mutex;
}
bool& ApplicationGone() {
    static bool gone = false;
    return gone;
}

void NoteApplicationGone() {
    std::lock_guard lock(PostingMutex());
    ApplicationGone() = true;
}

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

// On the application's thread.
void Deliver(const std::shared_ptr<THostLookup::Shared>& shared,
             const THostLookup::Answer& answer) {
    {
        std::lock_guard lock(shared->mutex);
        if (shared->cancelled || shared->answered)
            return;
        shared->answered = true;
    }
    // Moved out first: done may destroy the look-up, and with it nothing of
    // what runs here.
    const THostLookup::TDone done = std::move(shared->done);
    if (done)
        done(answer);
}

// From any thread.
void Post(const std::shared_ptr<THostLookup::Shared>& shared, const THostLookup::Answer& answer) {
    std::lock_guard lock(PostingMutex());
    QCoreApplication* application = QCoreApplication::instance();
    if (ApplicationGone() || application == nullptr)
        return;
    QMetaObject::invokeMethod(
        application, [shared, answer] { Deliver(shared, answer); }, Qt::QueuedConnection);
}

} // namespace

THostLookup::THostLookup(const std::string& hostName, TDone done)
    : shared_(std::make_shared<Shared>()) {
    static std::once_flag watching;
    std::call_once(watching, [] { qAddPostRoutine(NoteApplicationGone); });
    shared_->done = std::move(done);
    try {
        std::thread([shared = shared_, hostName] { Post(shared, Resolve(hostName)); }).detach();
    } catch (const std::system_error& e) {
        Answer failed;
        failed.error = WinsockErrorFromErrno(e.code().value());
        Post(shared_, failed);
    }
}

THostLookup::~THostLookup() {
    Cancel();
}

void THostLookup::Cancel() {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->cancelled = true;
    }
    shared_->done = nullptr; // released here, not on the look-up thread
}

bool THostLookup::Running() const {
    std::lock_guard lock(shared_->mutex);
    return !shared_->cancelled && !shared_->answered;
}
