// What a session of this version adds to online play across home routers:
// the lobby's items (ticket, relay credentials) kept and renewed, an ICE
// path to each member whose program speaks our extensions (TPeerPaths, the
// descriptions swapped through the lobby), and, while this program hosts,
// a port of the router forwarded for programs that do not.
//
// The session tells it where it stands (logged in, hosting, joining, the
// game started or over) and what the messaging learned (a contact); it
// hangs each ready path into the messaging (TQComm::SetPath) for every
// contact at that path's address and feeds what comes over it to
// TQComm::HandleDatagram.  Until a path is ready, and where none is found,
// the messaging reaches a member at its address as before.  Nothing here
// runs against a lobby that gave no items or with the extension off.
#pragma once

#include "contact.h"
#include "lobby_extensions.h"
#include "lobby_items_keeper.h"
#include "lobby_requester.h"
#include "peer_paths.h"
#include "port_mapping.h"

#include <QString>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TQComm;
class TQMsg;
class THttpClient;
struct LobbySession;

class TSessionPaths {
  public:
    using TLog = std::function<void(const QString& line)>;

    TSessionPaths(TQComm& messaging, THttpClient& http, const LobbySession& lobby, TLog log);
    ~TSessionPaths();
    TSessionPaths(const TSessionPaths&) = delete;
    TSessionPaths& operator=(const TSessionPaths&) = delete;

    // A log-in's items; empty ones (a lobby of the written protocol)
    // switch everything here off.
    void TakeLobbyItems(TLobbyItems items);
    const TLobbyItems& LobbyItems() const { return keeper_.Items(); }
    // Logged in to a lobby that gave items, with the extension on.
    bool Usable() const;
    // Forwarding a port while hosting; tests of the session turn it off.
    void SetPortMapping(bool on) { portMapping_ = on; }

    // The games of the latest list, by address: the details of those
    // whose lobby gave them.
    void Listed(const std::vector<TListedGame>& games);
    // Joins the host at `address` once a path to it is ready, or at once
    // through its address when none is tried: `connect` is called then.
    // False when no path is tried (the host does not speak the extension,
    // or this session cannot).
    bool Join(const std::string& address, std::function<void()> connect);
    // Hosting game `gameNumber` (published): answers the members' paths
    // and forwards the game's port.
    void Hosting(int32_t gameNumber);
    // The game started: from now on those who come are latecomers (a
    // member back from a restart, a watcher), answered at a slower pace.
    void Started();
    // The game was won: the forwarded port is given back (the paths stay
    // for what the members still say).
    void GameOver();
    // On the host, after admitting a member: every member hears the lobby
    // number behind each other member's address, when all of them are
    // programs of ours.  Watchers are no members: they talk with the host
    // alone.
    void TellMembers(const std::vector<TpContact>& members);
    // On a member: the host's gmPathPeers; a path to each other member.
    void MembersTold(const TQMsg& msg);
    // A contact became known: its path, if one is ready, carries it.
    void ContactKnown(const TpContact& contact);
    // The online game is over for this program: every path closes and the
    // forwarded port is given back.
    void End();

  private:
    void Begin(int32_t gameNumber);
    std::unique_ptr<TIceEnd> MakeEnd(TIceRole role) const;
    void Post(int32_t addressee, const std::string& blob, int tries);
    void Fetch(std::function<void(const TPeerPaths::TBlobs&)> done);
    void Ready(int32_t peer, const std::string& label, const std::shared_ptr<TDatagramPath>& path,
               TIcePathKind kind);
    void Failed(int32_t peer, const std::string& label, const std::string& why);
    struct TReady;
    void Unhang(const std::string& label);
    TReady& Hang(const std::string& label, int32_t peer,
                 const std::shared_ptr<TDatagramPath>& path);
    void Bind(const std::string& label);
    void Tick();
    void MapPort();
    QString NameAt(const std::string& label) const;

    TQComm& hc_;
    const LobbySession& lobby_;
    TLog log_;
    TLobbyRequester requests_; // beside the session's: never holds its reports up
    TLobbyItemsKeeper keeper_;
    QTimer timer_;
    bool portMapping_ = true;

    int32_t gameNumber_ = 0;
    std::unique_ptr<TPeerPaths> paths_;
    std::map<std::string, TGameDetails> listed_; // by the list's address
    // Each ready path, by label: the record that carries answers to its
    // address before the messaging has a contact there, and the path.
    struct TReady {
        TpContact standIn;
        std::shared_ptr<TDatagramPath> path;
        TIcePathKind kind = TIcePathKind::Direct;
        bool ready = false; // the kind is known
        bool told = false;  // the log named the member's path
    };
    std::map<std::string, TReady> ready_;
    // A join waiting for its path: the host's number and what to do then.
    int32_t joinPeer_ = 0;
    std::function<void()> connect_;
    std::unique_ptr<TPortMapping> mapping_;
};
