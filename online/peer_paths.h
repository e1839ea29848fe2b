// The ICE paths between this program and the other members of its game,
// one per pair, each keyed by the other's lobby player number.  The two
// ends swap descriptions through the lobby's candidate scripts: each posts
// its own to the other and polls for the other's, a few times a second,
// until it has it; the lower player number controls the checks.  A path
// that is not ready within kGiveUp of its start is given up, and the
// messaging keeps the member's address as before.  A new description from
// a member that has a path is a program started afresh on that account
// (only the account's own lobby session can post as it): its old path
// gives way to a new one.
//
// Datagrams of a path are handed on with an address that stands for it
// (its label): the messaging keys its contacts by address.  A path this
// program opens is labelled by its caller (a joiner: the host's address as
// the list gave it); one opened by the other end is labelled with the
// address its description shows the routers giving it (its server-
// reflexive candidate), else its own; a second member behind the same
// router gets the next address its description shows.
//
// When the ends ask a STUN or TURN server, a gathering that got no address
// from it (every answer lost on a lossy link) gathers once more on a fresh
// end before the description goes out: with host addresses alone no path
// crosses a router.
//
// Plain C++ apart from the ends it is given: the lobby, the ICE ends and
// the time come from outside, so tests drive it with fakes.
#pragma once

#include "datagram_path.h"
#include "ice_end.h"
#include "lobby_items.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TPeerPaths {
  public:
    using TClock = std::chrono::steady_clock;
    using TBlobs = std::optional<std::vector<TCandidateBlob>>; // nothing: the fetch failed

    // The lobby's candidate scripts, answered later.
    struct TLobby {
        std::function<void(int32_t addressee, const std::string& blob)> post;
        std::function<void(std::function<void(const TBlobs& blobs)> done)> fetch;
    };
    using TMakeEnd = std::function<std::unique_ptr<TIceEnd>(TIceRole role)>;
    struct TEvents {
        std::function<void(int32_t peer, const std::string& label,
                           const std::shared_ptr<TDatagramPath>& path, TIcePathKind kind)>
            ready;
        std::function<void(int32_t peer, const std::string& label, TIcePathKind kind)> kindChanged;
        std::function<void(int32_t peer, const std::string& label, const std::string& why)> failed;
        std::function<void(int32_t peer, const std::string& label, std::string_view datagram)>
            datagram;
        // The member started again (a new description from its account):
        // its old path, labelled `label`, is gone and a new one begins.
        std::function<void(int32_t peer, const std::string& label)> restarted;
    };

    // While a path waits for the other's description.
    static constexpr std::chrono::milliseconds kPairPoll{250};
    // While answering members not yet known (a host waiting for players).
    static constexpr std::chrono::milliseconds kAnswerPoll{500};
    // While answering in a game under way (latecomers, a member back from
    // a restart), or listening for members told to come back: slower, the
    // whole game long (it is most of the lobby's load).
    static constexpr std::chrono::milliseconds kRunningPoll{2000};
    static constexpr std::chrono::milliseconds kGiveUp{8000};

    TPeerPaths(int32_t self, TLobby lobby, TMakeEnd makeEnd, TEvents events);
    ~TPeerPaths();
    TPeerPaths(const TPeerPaths&) = delete;
    TPeerPaths& operator=(const TPeerPaths&) = delete;

    // Starts a path to `peer`; its datagrams come as from `label`.  Nothing
    // when one to the peer exists.
    void Open(int32_t peer, const std::string& label, TClock::time_point now);
    // Whether descriptions from members without a path get one answered.
    void SetAnswering(bool on) { answering_ = on; }
    // Whether answering polls at the running game's pace.
    void SetRunning(bool on) { running_ = on; }
    // Polls for kGiveUp from now although no path waits: a member that
    // restarted may be opening one to us.
    void Listen(TClock::time_point now) { listenUntil_ = now + kGiveUp; }
    bool Answering() const { return answering_; }
    // Whether the ends ask a server for the addresses the routers give
    // them (see above); off by default.
    void SetServerGiven(bool on) { serverGiven_ = on; }
    // Polls the lobby when due and gives up paths that took too long;
    // call it often (every 50 ms or so).
    void Tick(TClock::time_point now);
    // Ends every path at once; no event follows, nothing new starts.  The
    // ends are freed with this object (it may run inside their handlers).
    void CloseAll();

    bool Has(int32_t peer) const { return pairs_.count(peer) != 0; }
    bool IsReady(int32_t peer) const;
    // The path to `peer` as the messaging holds it (it carries nothing
    // before the path is under way, nor after it failed); null when none.
    std::shared_ptr<TDatagramPath> PathOf(int32_t peer) const;
    // The peer whose path carries `label`'s datagrams; 0 when none.
    int32_t PeerOf(const std::string& label) const;

    // The description as it travels in a candidate post, and back.
    static std::string BlobOf(const std::string& description);
    static std::optional<std::string> DescriptionOf(const std::string& blob);
    // The address an answered path is labelled with; nothing for a
    // description that cannot be read.
    static std::optional<std::string> LabelOf(std::string_view description);
    // Every address the description shows, the label's first, then in the
    // same order of preference: a second member behind the same router
    // takes the first one free.
    static std::vector<std::string> LabelsOf(std::string_view description);

  private:
    class TAdapter;
    struct TPair;
    enum class TStage { Gathering, Waiting, Checking, Ready, Failed };

    TPair& Make(int32_t peer, const std::string& label, TClock::time_point now);
    void Wire(TPair& pair);
    bool GatherAgain(TPair& pair, const std::string& description);
    void Begin(int32_t peer, const std::string& label, TClock::time_point now,
               const std::string& remote);
    void Gathered(TPair& pair, const std::string& description);
    void Remote(TPair& pair, const std::string& description);
    void Fail(TPair& pair, const std::string& why);
    void Fetched(const TBlobs& blobs, TClock::time_point now);
    void Take(const TCandidateBlob& blob, TClock::time_point now);
    bool PollWanted(TClock::time_point now) const;
    std::chrono::milliseconds PollInterval() const;
    void Restarted(TPair& pair, const TCandidateBlob& blob, TClock::time_point now);

    int32_t self_;
    TLobby lobby_;
    TMakeEnd makeEnd_;
    TEvents events_;
    bool answering_ = false;
    bool running_ = false;
    std::optional<TClock::time_point> listenUntil_;
    bool fetching_ = false;
    bool closed_ = false;
    bool serverGiven_ = false;
    std::shared_ptr<bool> alive_; // a fetch answered after destruction finds it false
    std::optional<TClock::time_point> lastPoll_;
    std::map<int32_t, std::unique_ptr<TPair>> pairs_;
    // Ends replaced by a second gathering: closed, freed with this object
    // (they are replaced inside their own handler).
    std::vector<std::unique_ptr<TIceEnd>> retired_;
};
