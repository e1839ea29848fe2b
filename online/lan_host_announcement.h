// A host's game announced on this network, with no lobby: the announcer on
// a multicast sender and a timer.  The session starts it when it hosts a
// game on this network, says when the game starts (it is then announced as
// running, for players coming back and watchers) and stops it at the end.
#pragma once

#include "lan_announcer.h"
#include "multicast_sender.h"

#include <memory>
#include <string>

class QTimer;

class TLanHostAnnouncement {
  public:
    // Sends from localAddress ("0.0.0.0": the interface the system's routes
    // choose) to the game group on `port`.  Throws MulticastError when the
    // socket cannot be set up.
    explicit TLanHostAnnouncement(const std::string& localAddress, int port = kLanPort);
    // Withdraws a game still announced.
    ~TLanHostAnnouncement();
    TLanHostAnnouncement(const TLanHostAnnouncement&) = delete;
    TLanHostAnnouncement& operator=(const TLanHostAnnouncement&) = delete;

    // A new game, announced at once and then every second.
    void Start(const std::string& name, const std::string& players);
    // The game's players text changed (a player joined): announced at once.
    void SetPlayers(const std::string& players);
    // The game started: announced as running from now on.
    void SetRunning(const std::string& players);
    bool Running() const { return Announcing() && game_.kind == TLanKind::Running; }
    // The game ended: withdrawn, and nothing more is sent.
    void Stop();
    bool Announcing() const { return announcer_.Announcing(); }
    // Windows Sockets number of the last datagram the system refused, 0
    // when none: sending is otherwise silent, as a lost datagram would be.
    int LastError() const { return sender_.LastError(); }

  private:
    TMulticastSender sender_;
    TLanAnnouncer announcer_;
    TLanAnnouncement game_;
    std::unique_ptr<QTimer> timer_;
};
