#include "arrivals.h"

#include "dotted_address.h"

namespace {

constexpr int kHostProofAt = 3; // in an admitting reply of the extension

} // namespace

void TArrivals::Take(std::unique_ptr<TQMsg> msg, bool sealed) {
    TLinkTrailer trailer;
    if (settings_.reliable && msg->ItemCount() > 0 &&
        DecodeTrailer(msg->StrAt(msg->ItemCount() - 1), trailer)) {
        msg->RemoveLastItem();
        Linked(std::move(msg), trailer, sealed);
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
        admission_.AtReceipt(std::move(msg));
        return;
    }
    const bool answer =
        kind == mtConnectReply || (kind == mtAck && msg->IntAt(0) == mtConnectRequest);
    if (settings_.reliable && answer && HostKnownOurs()) {
        // It seals its every answer: one of the written protocol from its
        // address is someone else's (a forger's refusal, or the host's
        // answer to a request forged in our name), and taking it would end
        // our request.
        ++links_.Drops().unsealed;
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
    } else if (settings_.reliable && answer) {
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

// The host our oldest request waits for is known to be one of ours: it
// gave its cookie, is reached over a path, or announced its game here.
bool TArrivals::HostKnownOurs() {
    const TConnectRequests::TRequest* asked = requests_.Oldest();
    return asked && (!asked->cookie.empty() || asked->quick.count() > 0);
}

// Only a sealed datagram speaks for a link: the session in a trailer is
// no secret.  A connect request comes unsealed (its sender may have
// restarted); the host's cookie answer too, since the joiner learns the
// key from it; every other answer of the host is sealed.
void TArrivals::Linked(std::unique_ptr<TQMsg> msg, const TLinkTrailer& trailer, bool sealed) {
    const bool request = msg->MsgType == mtConnectRequest && trailer.Offer() && !trailer.Sequenced();
    if (TLinkTable::TEntry* entry = links_.From(msg->FromAddress, trailer.session)) {
        if (sealed)
            links_.Receive(*entry, std::move(msg), trailer);
        else if (!request) // a repeat of an admitted joiner's request is no forgery
            ++links_.Drops().unsealed;
    } else if (request && !sealed) {
        admission_.Offered(std::move(msg), trailer);
    } else if (trailer.Offer() && msg->MsgType == mtConnectReply && !trailer.Sequenced() &&
               msg->IntAt(0) == kReplyCookie && !sealed) {
        admission_.CookieCame(*msg, trailer);
    } else if (trailer.Offer() && msg->MsgType == mtConnectReply && sealed) {
        Replied(std::move(msg), trailer);
    }
    // Anything else comes from a peer not (yet) known, or from an earlier
    // session: dropped unanswered, so that a live sender tries again.
}

// The joiner's side: the host's answer to our request.  A host that admits
// us gets its record and link now, so that what it sends next is taken;
// the table gets the record when the reply's turn comes.
void TArrivals::Replied(std::unique_ptr<TQMsg> reply, const TLinkTrailer& trailer) {
    if (!requests_.Oldest())
        return; // nobody asked
    TLinkTable::TEntry* entry = nullptr;
    if (reply->IntAt(0) == kReplyAccepted && trailer.Sequenced() &&
        IsDottedAddress(reply->FromAddress)) {
        const auto host =
            std::make_shared<TContact>(TContact{reply->StrAt(2), reply->FromAddress, 0});
        const std::optional<TLinkProof> proof = ReadProof(*reply, kHostProofAt);
        entry = proof ? links_.MakeHost(host, trailer.session, *proof) : nullptr;
        if (!entry)
            return; // a host whose key or ticket does not hold: the request runs out
    }
    const TReceived::TpQMsg request = requests_.Take();
    request->Recipients.clear();
    pending_.Unlink(request);
    if (entry)
        links_.Receive(*entry, std::move(reply), trailer);
    else
        incoming_.Push(TReceived::Linked(std::move(reply)));
    incoming_.Push({TReceived::What::Settled, request, contacts_.Outsider()});
}
