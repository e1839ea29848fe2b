#include "lobby_requester.h"

#include "http_client.h"
#include "http_errors.h"
#include "lobby_client.h"
#include "socket_error.h"

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

// One request.  The worker writes body and error, then done, then signals
// doneFd; the event-loop thread reads them only after the signal.
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
        Signal(doneFd);
    }

    THttpClient client;
    std::string target;
    TReply reply;
    TFailure failure;
    std::string body;
    std::exception_ptr error;
    const int doneFd;
    const int cancelFd;
};

TLobbyRequester::TLobbyRequester(THttpClient& http) : http_(http) {}

TLobbyRequester::~TLobbyRequester() {
    Cancel();
    if (worker_.joinable())
        worker_.join(); // at once: every wait of a cancelled request ends
}

void TLobbyRequester::Get(const std::string& target, TReply reply, TFailure failure) {
    if (OnRequest)
        OnRequest(target);
    auto job = std::make_shared<TJob>();
    job->target = target;
    job->reply = std::move(reply);
    job->failure = std::move(failure);
    waiting_.push_back(std::move(job));
    SetBusy(true);
    if (!running_)
        StartNext();
}

void TLobbyRequester::StartNext() {
    if (waiting_.empty())
        return;
    if (worker_.joinable())
        worker_.join(); // an earlier one, cancelled or done, has ended or ends now
    running_ = waiting_.front();
    waiting_.pop_front();
    CopySettings(http_, running_->client);
    if (timeoutMs_ > 0)
        running_->client.Timeout = timeoutMs_;
    running_->client.CancelFd = running_->cancelFd;
    doneNotifier_ = std::make_unique<QSocketNotifier>(running_->doneFd, QSocketNotifier::Read);
    QObject::connect(doneNotifier_.get(), &QSocketNotifier::activated, [this] { Finished(); });
    worker_ = std::thread([job = running_] { job->Run(); });
}

void TLobbyRequester::Finished() {
    doneNotifier_.reset();
    const std::shared_ptr<TJob> job = std::move(running_);
    running_.reset();
    worker_.join(); // it has signalled: the join is immediate
    if (!job->error) {
        http_.Host = job->client.Host;
        http_.Port = job->client.Port;
    }
    StartNext();
    if (!Busy())
        SetBusy(false);
    if (job->error) {
        if (job->failure)
            job->failure(job->error);
    } else if (job->reply) {
        job->reply(job->body);
    }
}

void TLobbyRequester::Cancel() {
    waiting_.clear();
    if (running_) {
        // Its worker ends by itself as soon as its wait sees this; it is
        // joined before the next request starts.
        Signal(running_->cancelFd);
        doneNotifier_.reset();
        running_.reset();
    }
    SetBusy(false);
}

void TLobbyRequester::SetBusy(bool busy) {
    if (busy == busy_)
        return;
    busy_ = busy;
    if (OnBusyChanged)
        OnBusyChanged(busy);
}
