// Sending, each addressee as it speaks: a contact with a link (the
// reliable delivery extension) gets the message numbered, with the
// trailer; the others get it as the written protocol has it, and when it
// is tracked it waits among the pending messages for their
// acknowledgements.  Every datagram to a contact goes out on its path; an
// acknowledgement or a refusal goes back to the address its message came
// from.
#pragma once

#include "contact_book.h"
#include "link_table.h"
#include "path_table.h"
#include "pending_messages.h"

#include <memory>
#include <string>

class TOutbox {
  public:
    using TpQMsg = std::shared_ptr<TQMsg>;

    TOutbox(TContactBook& contacts, TPendingMessages& pending, TLinkTable& links, TPathTable& paths)
        : contacts_(contacts), pending_(pending), links_(links), paths_(paths) {}

    // A message of this kind with no items.
    static TpQMsg Make(int kind);
    // Adds the addressees mode names, then dispatches.
    void Post(const TpQMsg& msg, TSendMode mode, bool wantAck);
    // To every addressee listed, as it speaks.
    void Dispatch(const TpQMsg& msg, bool wantAck);
    // The written datagram to every addressee listed, counted as one
    // transmission.  An error of a send propagates; the addressees after
    // it are then not sent to, and the transmission is not counted.
    void Transmit(TQMsg& msg);
    void SendTo(const std::string& address, const std::string& bytes) {
        paths_.SendTo(address, bytes);
    }
    // Whether what goes to address takes a path rather than the socket.
    bool OnPath(const std::string& address) { return paths_.HasPathAt(address); }
    // The written acknowledgement of kind, straight to address.
    void AcknowledgeTo(const std::string& address, int kind);

  private:
    TContactBook& contacts_;
    TPendingMessages& pending_;
    TLinkTable& links_;
    TPathTable& paths_;
};
