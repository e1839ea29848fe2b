// The games announced on this network, heard while the game list is open:
// a multicast receiver feeding TLanGames, and a timer that lets silent
// games leave.  The window makes one for a join and drops it after.
#pragma once

#include "lan_announcement.h"
#include "lan_games.h"
#include "multicast_receiver.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QTimer;

class TLanGameWatch {
  public:
    using OnChanged = std::function<void(const std::vector<TLanGameEntry>& games)>;

    // Joins the game group on `port` on the interface of localAddress
    // ("0.0.0.0": the interface the system's routes choose).  onChanged
    // hears each change of the list.  Throws MulticastError when the group
    // cannot be joined.
    TLanGameWatch(const std::string& localAddress, OnChanged onChanged, int port = kLanPort);
    ~TLanGameWatch();
    TLanGameWatch(const TLanGameWatch&) = delete;
    TLanGameWatch& operator=(const TLanGameWatch&) = delete;

    const std::vector<TLanGameEntry>& Games() const { return games_.Games(); }

  private:
    void Heard(std::string_view datagram, const std::string& from);
    void Expire();

    TLanGames games_;
    OnChanged onChanged_;
    std::unique_ptr<TMulticastReceiver> receiver_;
    std::unique_ptr<QTimer> timer_;
};
