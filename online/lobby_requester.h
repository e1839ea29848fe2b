// Lobby requests that never stop the game.  Each request runs on a worker
// thread of its own with its own copy of the client, and its reply or its
// error comes back on the event-loop thread as a callback, once every
// request asked for before it has ended: requests never overlap.  The
// caller goes on at once; datagrams, timers and repaints go on meanwhile.
//
//   TLobbyRequester lobby(http);                  // beside the window's http
//   lobby.OnBusyChanged = [](bool busy) { ...busy cursor, status text... };
//   lobby.Get(ListTarget(sessionId),
//             [](const std::string& reply) { ... },
//             [](std::exception_ptr error) { ... });
//   QObject::connect(fTavloLogin, &QDialog::rejected, [&] { lobby.Cancel(); });
#pragma once

#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <thread>

class THttpClient;
class QSocketNotifier;

class TLobbyRequester {
  public:
    using TReply = std::function<void(const std::string& body)>;
    using TFailure = std::function<void(std::exception_ptr error)>;

    // Each request copies the settings of http (Host, Port, LocalAddress,
    // Timeout, redirects, request headers) when it starts and, when it
    // succeeds, writes back the server a redirect moved it to.  http must
    // outlive this.
    explicit TLobbyRequester(THttpClient& http);
    // Cancels whatever runs or waits, and waits for the worker to end.
    ~TLobbyRequester();
    TLobbyRequester(const TLobbyRequester&) = delete;
    TLobbyRequester& operator=(const TLobbyRequester&) = delete;

    // Asks for the target: `reply` gets the body, or `failure` the HTTP
    // client's error.  Call it on the event-loop thread.
    void Get(const std::string& target, TReply reply, TFailure failure);
    // Ends the running request at once and drops those waiting: none of
    // them calls back.  Nothing when no request runs.
    void Cancel();
    // How long each request of this requester may last, in place of the
    // client's Timeout (0: the client's): requests that are asked again
    // soon anyway give up early on a link that lost their connection.
    void SetTimeout(int milliseconds) { timeoutMs_ = milliseconds; }
    // A request runs or waits.
    bool Busy() const { return running_ != nullptr || !waiting_.empty(); }

    // Raised with true when a request starts while none ran, and false
    // when the last one has ended (before its callback), for the busy
    // cursor and the status text.
    std::function<void(bool busy)> OnBusyChanged;
    // Sees the target of every request as it is asked for.
    std::function<void(const std::string& target)> OnRequest;

  private:
    struct TJob;
    void StartNext();
    void Finished();
    void SetBusy(bool busy);

    THttpClient& http_;
    std::shared_ptr<TJob> running_;
    std::deque<std::shared_ptr<TJob>> waiting_;
    std::thread worker_; // the latest job's thread, joined before the next
    std::unique_ptr<QSocketNotifier> doneNotifier_;
    bool busy_ = false;
    int timeoutMs_ = 0;
};
