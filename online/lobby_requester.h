// Lobby requests that never stop the game.  Each request (LobbyGet) runs on
// a worker thread of its own while the caller waits in a nested Qt event
// loop, in which datagrams are received and acknowledged, timers tick and
// windows repaint.  A request can be cancelled at once; a cancelled one
// never delivers its reply, and its worker touches nothing but its own
// copy of the client.  Requests never overlap: one asked for while another
// runs (from inside that wait) first waits for it to end.
//
// The main window calls Get where it called LobbyGet:
//   TLobbyRequester lobby(http);                  // beside the window's http
//   lobby.OnBusyChanged = [](bool busy) { ...busy cursor, status text... };
//   std::string reply = lobby.Get(ListTarget(sessionId));
//   QObject::connect(fTavloLogin, &QDialog::rejected, [&] { lobby.Cancel(); });
// While Get waits, the window must hold whatever would start another
// request or change the game (the event loop runs every handler).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>

class THttpClient;

class TLobbyRequester {
  public:
    // Each request copies the settings of http (Host, Port, LocalAddress,
    // Timeout, redirects, request headers) and, when it succeeds, writes
    // back the server a redirect moved it to.  http must outlive this.
    explicit TLobbyRequester(THttpClient& http);
    // Cancels a running request and waits for its worker to end.
    ~TLobbyRequester();
    TLobbyRequester(const TLobbyRequester&) = delete;
    TLobbyRequester& operator=(const TLobbyRequester&) = delete;

    // The lobby request of the target: its reply body, or the HTTP client's
    // error with its text, or ERequestCancelled once Cancel was called.
    // Runs the event loop meanwhile; call it on the event-loop thread, and
    // do not destroy this object from inside that loop.
    std::string Get(const std::string& target);
    // Ends the running request at once: its Get throws ERequestCancelled.
    // Nothing when no request runs.
    void Cancel();
    // A Get is waiting.
    bool Busy() const { return depth_ > 0; }

    // Raised with true when a request starts and false when the last one
    // has ended, for the busy cursor and the status text.
    std::function<void(bool busy)> OnBusyChanged;

  private:
    struct TJob;
    void WaitForWorker();
    void Wait(const std::shared_ptr<TJob>& job);
    void SetBusy(bool busy);

    THttpClient& http_;
    std::shared_ptr<TJob> job_; // the latest request, running or done
    std::thread worker_;        // its thread, joined before the next one
    int depth_ = 0;             // Gets on the stack
};
