#include "arrivals.h"

#include "dotted_address.h"

void TArrivals::Take(std::unique_ptr<TQMsg> msg) {
    TLinkTrailer trailer;
    if (settings_.reliable && msg->ItemCount() > 0 &&
        DecodeTrailer(msg->StrAt(msg->ItemCount() - 1), trailer)) {
        msg->RemoveLastItem();
        Linked(std::move(msg), trailer);
    } else if (links_.LiveAt(msg->FromAddress)) {
        // The linked peer sends nothing without the trailer: this is
        // someone else's, with its address.
        ++links_.Drops().unsealed;
    } else {
        Written(std::move(msg));
    }
}

void TArrivals::Written(std::unique_ptr<TQMsg> msg) {
    const int kind = msg->MsgType;
    if (kind == mtConnectRequest) {
        admission_.AtReceipt(std::move(msg), nullptr);
        return;
    }
    TReceived::TpQMsg request;
    if (settings_.reliable && kind == mtConnectReply) {
        request = requests_.Take();
        if (!request) { // nobody asked: a repeated or stray reply
            outbox_.AcknowledgeTo(msg->FromAddress, kind);
            return;
        }
        // The reply is the answer the request waited for.
        request->Recipients.clear();
        pending_.Unlink(request);
    } else if (settings_.reliable && kind == mtAck && msg->IntAt(0) == mtConnectRequest) {
        requests_.Take(); // the host has it; the acknowledgement settles it in its turn
    }
    const std::string from = msg->FromAddress;
    TReceived& received = incoming_.Push({TReceived::What::Message, std::move(msg)});
    if (request)
        incoming_.Push({TReceived::What::Settled, request, contacts_.Outsider()});
    if (kind == mtAck)
        return;
    received.acknowledged = true;
    outbox_.AcknowledgeTo(from, kind);
}

void TArrivals::Linked(std::unique_ptr<TQMsg> msg, const TLinkTrailer& trailer) {
    if (TLinkTable::TEntry* entry = links_.From(msg->FromAddress, trailer.session)) {
        links_.Receive(*entry, std::move(msg), trailer);
    } else if (trailer.Offer() && !trailer.Sequenced() && msg->MsgType == mtConnectRequest) {
        admission_.AtReceipt(std::move(msg), &trailer);
    } else if (trailer.Offer() && msg->MsgType == mtConnectReply) {
        Replied(std::move(msg), trailer);
    }
    // Anything else comes from a peer not (yet) known, or from an earlier
    // session: dropped unanswered, so that a live sender tries again.
}

// The joiner's side: the host's answer to our request.  A host that admits
// us gets its record and link now, so that what it sends next is taken;
// the table gets the record when the reply's turn comes.
void TArrivals::Replied(std::unique_ptr<TQMsg> reply, const TLinkTrailer& trailer) {
    const TReceived::TpQMsg request = requests_.Take();
    if (!request)
        return; // nobody asked
    request->Recipients.clear();
    pending_.Unlink(request);
    if (reply->IntAt(0) == kReplyAccepted && trailer.Sequenced() &&
        IsDottedAddress(reply->FromAddress)) {
        const auto host =
            std::make_shared<TContact>(TContact{reply->StrAt(2), reply->FromAddress, 0});
        links_.Receive(links_.Make(host, trailer.session), std::move(reply), trailer);
    } else {
        incoming_.Push(TReceived::Linked(std::move(reply)));
    }
    incoming_.Push({TReceived::What::Settled, request, contacts_.Outsider()});
}
