#include "lobby_requester.h"

#include "http_client.h"
#include "http_errors.h"
#include "lobby_client.h"
#include "socket_error.h"

#include <QEventLoop>
#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

int NewEventFd() {
    const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0)
        throw ESocketError(WinsockErrorFromErrno(errno));
    return fd;
}

void Signal(int fd) {
    const uint64_t one = 1;
    // An eventfd counter cannot be full after a handful of writes.
    [[maybe_unused]] const ssize_t written = write(fd, &one, sizeof one);
}

// Quits the loop once fd becomes readable.  The worker writes its done
// descriptor once and nobody reads it, so each notifier stops itself: an
// outer Get's notifier must not fire over and over while an inner Get
// waits for its own request.
void QuitWhenReadable(int fd, QEventLoop& loop) {
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, &loop);
    QObject::connect(notifier, &QSocketNotifier::activated, &loop, [notifier, &loop] {
        notifier->setEnabled(false);
        loop.quit();
    });
}

// What a request needs of the window's client; the worker gets a copy, so
// that nothing the window owns is touched from its thread.
void CopySettings(const THttpClient& from, THttpClient& to) {
    to.Host = from.Host;
    to.Port = from.Port;
    to.HandleRedirects = from.HandleRedirects;
    to.RedirectMaximum = from.RedirectMaximum;
    to.ProtocolVersion = from.ProtocolVersion;
    to.Request = from.Request;
    to.Timeout = from.Timeout;
    to.LocalAddress = from.LocalAddress;
}

} // namespace

// One request, shared by the caller and the worker.  The worker writes body
// and error, then done, then signals doneFd; the caller reads them only
// after it has seen done.
struct TLobbyRequester::TJob {
    TJob() : doneFd(NewEventFd()), cancelFd(NewEventFd()) {}
    ~TJob() {
        close(doneFd);
        close(cancelFd);
    }
    TJob(const TJob&) = delete;
    TJob& operator=(const TJob&) = delete;

    void Run() {
        try {
            body = LobbyGet(client, target);
        } catch (...) {
            error = std::current_exception();
        }
        done.store(true, std::memory_order_release);
        Signal(doneFd);
    }
    bool Done() const { return done.load(std::memory_order_acquire); }

    THttpClient client;
    std::string target;
    std::string body;
    std::exception_ptr error;
    std::atomic<bool> done{false};
    const int doneFd;
    const int cancelFd;
    // The caller's side only.
    bool cancelled = false;
    QEventLoop* waiting = nullptr; // the loop of the Get that waits for it
};

TLobbyRequester::TLobbyRequester(THttpClient& http) : http_(http) {}

TLobbyRequester::~TLobbyRequester() {
    Cancel();
    if (worker_.joinable())
        worker_.join(); // at once: every wait of a cancelled request ends
}

std::string TLobbyRequester::Get(const std::string& target) {
    SetBusy(true);
    struct EndBusy {
        TLobbyRequester& requester;
        ~EndBusy() { requester.SetBusy(false); }
    } endBusy{*this};

    WaitForWorker(); // an earlier request, cancelled or not, ends first
    const auto job = std::make_shared<TJob>();
    CopySettings(http_, job->client);
    job->client.CancelFd = job->cancelFd;
    job->target = target;
    job_ = job;
    worker_ = std::thread([job] { job->Run(); });

    Wait(job);
    if (job->cancelled)
        throw ERequestCancelled(); // its worker ends by itself; joined later
    if (job_ == job)
        WaitForWorker(); // done: the join is immediate
    if (job->error)
        std::rethrow_exception(job->error);
    http_.Host = job->client.Host;
    http_.Port = job->client.Port;
    return job->body;
}

void TLobbyRequester::Cancel() {
    if (!job_ || job_->cancelled)
        return;
    job_->cancelled = true;
    Signal(job_->cancelFd);
    if (job_->waiting)
        job_->waiting->quit();
}

// Runs the event loop until the job is done or cancelled.
void TLobbyRequester::Wait(const std::shared_ptr<TJob>& job) {
    if (job->Done() || job->cancelled)
        return;
    QEventLoop loop;
    QuitWhenReadable(job->doneFd, loop);
    job->waiting = &loop;
    loop.exec();
    job->waiting = nullptr;
}

// Joins the latest worker, running the event loop until it has ended; a
// cancelled one ends as soon as its wait sees the cancellation.
void TLobbyRequester::WaitForWorker() {
    if (!worker_.joinable())
        return;
    const std::shared_ptr<TJob> job = job_;
    while (!job->Done()) {
        QEventLoop loop;
        QuitWhenReadable(job->doneFd, loop);
        loop.exec();
    }
    worker_.join();
}

void TLobbyRequester::SetBusy(bool busy) {
    depth_ += busy ? 1 : -1;
    if (depth_ == (busy ? 1 : 0) && OnBusyChanged)
        OnBusyChanged(busy);
}
