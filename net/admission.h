// Joining the group.  The host decides on a connect request at receipt:
// it admits the joiner while it holds fewer than MaxConnections contacts
// (or knows the joiner's address already) and both run one version, else
// it refuses it as full or of another version.  Admitting, it announces
// the joiner to the members present and answers it; when the admission's
// turn comes it raises OnNewClient and introduces each member to the
// joiner.  The joiner asks, takes the host's reply and the announcements
// of the members, and is connected once it knows all it was told to
// expect.
//
// Between programs of the extension the host keeps nothing for a request
// until its sender has shown that it receives at the request's address:
// the first request gets only the host's cookie and key; the repeated one
// that carries the cookie back is decided, and an admitted joiner's link is
// sealed from then on.  A request from the address of a live link replaces
// that link only when it completed that round trip and proves the same key
// or, tickets checked, the same account: a program that restarted.
#pragma once

#include "comm_events.h"
#include "comm_settings.h"
#include "connect_requests.h"
#include "contact_book.h"
#include "incoming_queue.h"
#include "link_cookie.h"
#include "link_proof.h"
#include "link_table.h"
#include "outbox.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// A connect request the table has no room for (a game under way) is
// refused unless the host's rule admits it: as a member, announced to the
// others and introduced to them, or as a watcher, who talks with the host
// alone.
enum class TLateEntry { kRefused, kMember, kWatcher };
// Who asks: the name and lobby number his request gives and, from a
// program of the extension, the key it proves (null for one of the written
// protocol).  A key is worth what the seal makes it: whoever lacks its
// secret half cannot read or send a word on the link it opens.
struct TLateJoiner {
    std::string name;
    int32_t tavloNumber = 0;
    const TLinkPublicKey* key = nullptr;
    bool Offered() const { return key != nullptr; }
};
using TLateJoinerRule = std::function<TLateEntry(const TLateJoiner& joiner)>;

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
    // hostIsOurs: the host is known to be a program of ours from the start.
    void Ask(const std::string& hostAddress, bool hostIsOurs);
    // One more try of a request that waits, with the host's cookie when it
    // gave one.
    void AskAgain(const TQMsg& request, const std::string& host, const std::string& cookie);
    // A host of the extension answered a request with its cookie and key.
    void CookieCame(const TQMsg& answer, const TLinkTrailer& trailer);
    // The host's reply, in its turn.
    void Replied(const TQMsg& reply);
    // The host's announcement of a member, in its turn; linked: it came
    // over the extension and carries the member's session.
    void Announced(const TQMsg& info, bool linked);

    // --- The host ----------------------------------------------------------
    // A connect request of the written protocol, decided and answered at once.
    void AtReceipt(std::unique_ptr<TQMsg> request);
    // A connect request of a program of the extension, at receipt: answered
    // with the cookie, or (the cookie back) decided and answered.
    void Offered(std::unique_ptr<TQMsg> request, const TLinkTrailer& offer);
    // An admission in its turn.
    void Admitted(const TReceived& admission);
    void SetLateJoinerRule(TLateJoinerRule rule) { lateJoiner_ = std::move(rule); }

  private:
    // The joiner of the extension behind a request: its offer and proof.
    struct TJoiner {
        const TLinkTrailer& offer;
        const TLinkProof& proof;
        bool restarted = false; // its live link is replaced
    };
    bool CookieHolds(const TQMsg& request, const TLinkTrailer& offer,
                     const TLinkProof& proof) const;
    void SendCookie(const std::string& address, const TLinkTrailer& offer,
                    const TLinkProof& proof);
    void Decide(const TpQMsg& request, const TJoiner* joiner);
    void Refuse(const std::string& address, int reason, const TJoiner* joiner);
    void Announce(const std::string& name, const std::string& address, int flag,
                  uint32_t memberSession, const TLinkProof& proof,
                  const std::vector<TpContact>& recipients);
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
    TCookieJar cookies_;
};
