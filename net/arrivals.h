// What happens at once when a whole message arrives, whatever handler may
// be running: a message of the written protocol is acknowledged, one with
// a trailer from a linked peer goes through its link, a connect request is
// decided and answered, and a reply or acknowledgement to this program's
// own request ends that request's wait.  Everything else (the events)
// waits in the incoming queue, in order.
#pragma once

#include "admission.h"
#include "comm_settings.h"
#include "connect_requests.h"
#include "contact_book.h"
#include "incoming_queue.h"
#include "link_table.h"
#include "outbox.h"
#include "pending_messages.h"

#include <memory>

class TArrivals {
  public:
    TArrivals(const TCommSettings& settings, TContactBook& contacts, TPendingMessages& pending,
              TLinkTable& links, TConnectRequests& requests, TOutbox& outbox, TAdmission& admission,
              TIncomingQueue& incoming)
        : settings_(settings), contacts_(contacts), pending_(pending), links_(links),
          requests_(requests), outbox_(outbox), admission_(admission), incoming_(incoming) {}

    // A message as reassembled, with its FromAddress; sealed: its datagram
    // was opened with the seal of its sender.  A send that fails
    // propagates, after what was to be queued is queued.
    void Take(std::unique_ptr<TQMsg> msg, bool sealed);

  private:
    void Written(std::unique_ptr<TQMsg> msg);
    bool HostKnownOurs();
    void Linked(std::unique_ptr<TQMsg> msg, const TLinkTrailer& trailer, bool sealed);
    void Replied(std::unique_ptr<TQMsg> reply, const TLinkTrailer& trailer);

    const TCommSettings& settings_;
    TContactBook& contacts_;
    TPendingMessages& pending_;
    TLinkTable& links_;
    TConnectRequests& requests_;
    TOutbox& outbox_;
    TAdmission& admission_;
    TIncomingQueue& incoming_;
};
