// Joining the group.  The host decides on a connect request at receipt:
// it admits the joiner while it holds fewer than MaxConnections contacts
// (or knows the joiner's address already) and both run one version, else
// it refuses it as full or of another version.  Admitting, it announces
// the joiner to the members present and answers it; when the admission's
// turn comes it raises OnNewClient and introduces each member to the
// joiner.  The joiner asks, takes the host's reply and the announcements
// of the members, and is connected once it knows all it was told to
// expect.
#pragma once

#include "comm_events.h"
#include "comm_settings.h"
#include "connect_requests.h"
#include "contact_book.h"
#include "incoming_queue.h"
#include "link_table.h"
#include "outbox.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

// A connect request the table has no room for (a game under way) is
// refused unless the host's rule admits it: as a member, announced to the
// others and introduced to them, or as a watcher, who talks with the host
// alone.
enum class TLateEntry { kRefused, kMember, kWatcher };
using TLateJoinerRule =
    std::function<TLateEntry(const std::string& name, int32_t tavloNumber, bool offered)>;

class TAdmission {
  public:
    using TpQMsg = std::shared_ptr<TQMsg>;

    TAdmission(const TCommSettings& settings, TCommEvents& events, TContactBook& contacts,
               TPendingMessages& pending, TLinkTable& links, TConnectRequests& requests,
               TOutbox& outbox, TIncomingQueue& incoming, TNow now);

    // --- The joiner --------------------------------------------------------
    // Asks the host at hostAddress, addressed to the outsider: with the
    // extension on, the request carries the offer and waits among the
    // connect requests; else it is a tracked message of the written protocol.
    void Ask(const std::string& hostAddress);
    // One more try of a request that waits.
    void AskAgain(const TQMsg& request, const std::string& host);
    // The host's reply, in its turn.
    void Replied(const TQMsg& reply);
    // The host's announcement of a member, in its turn; linked: it came
    // over the extension and carries the member's session.
    void Announced(const TQMsg& info, bool linked);

    // --- The host ----------------------------------------------------------
    // A connect request, decided and answered at once (with an offer: from
    // a program of the extension).
    void AtReceipt(std::unique_ptr<TQMsg> request, const TLinkTrailer* offer);
    // An admission in its turn.
    void Admitted(const TReceived& admission);
    void SetLateJoinerRule(TLateJoinerRule rule) { lateJoiner_ = std::move(rule); }
    // The member at address started again (the lobby saw its account
    // begin a new path): its next request within kReturnWindow replaces
    // its live link instead of being refused.
    void ExpectReturn(const std::string& address);
    static constexpr std::chrono::seconds kReturnWindow{20};

  private:
    bool Returning(const std::string& address);
    void Refuse(const std::string& address, int reason, bool offered);
    void Announce(const std::string& name, const std::string& address, int flag,
                  uint32_t memberSession, const std::vector<TpContact>& recipients);
    void Introduce(const TpContact& joiner, const std::vector<TpContact>& members);

    const TCommSettings& settings_;
    TCommEvents& events_;
    TContactBook& contacts_;
    TPendingMessages& pending_;
    TLinkTable& links_;
    TConnectRequests& requests_;
    TOutbox& outbox_;
    TIncomingQueue& incoming_;
    TNow now_;
    int expectedPeers_ = 0; // on a joiner: the other members the host announced
    TLateJoinerRule lateJoiner_;
    std::map<std::string, TLinkTime> returning_; // address -> until when
};
