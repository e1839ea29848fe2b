// The connection manager's reliable delivery extension: the links to the
// peers that announced it, the datagrams with a trailer, the connect
// request that waits for its reply, and the finer timer that sends again,
// keeps quiet peers alive and gives up silent ones.
#include "qcomm.h"

#include <arpa/inet.h>

namespace {

constexpr int kLeaveCopies = 3; // an untracked leave notice to a peer of the extension
constexpr TMillis kHandshakeMargin{500};
// A host that answers none of four tries is not there: at 10 % loss each
// way all four exchanges fail one join in 770 (three failed one in 150,
// too often for a game of several joiners).
constexpr int kHandshakeTries = 4;

// Links are made only to dotted addresses: sending to one never runs the
// event loop for a host name look-up.
bool IsDotted(const std::string& address) {
    in_addr parsed{};
    return inet_pton(AF_INET, address.c_str(), &parsed) == 1;
}

} // namespace

bool TQComm::SpeaksReliable(const TpContact& contact) const {
    return LinkOf(contact) != nullptr;
}

TQComm::TLinkEntry* TQComm::LinkOf(const TpContact& contact) {
    for (TLinkEntry& entry : FLinks)
        if (entry.contact == contact)
            return &entry;
    return nullptr;
}

const TQComm::TLinkEntry* TQComm::LinkOf(const TpContact& contact) const {
    for (const TLinkEntry& entry : FLinks)
        if (entry.contact == contact)
            return &entry;
    return nullptr;
}

TQComm::TLinkEntry* TQComm::LinkFrom(const std::string& address, uint32_t session) {
    for (TLinkEntry& entry : FLinks)
        if (entry.contact->Address == address && entry.link->PeerSession() == session)
            return &entry;
    return nullptr;
}

// A joiner's host between the arrival of its reply and its turn.
TpContact TQComm::LinkedOutsideTable(const std::string& address) const {
    for (const TLinkEntry& entry : FLinks)
        if (entry.contact->Address == address && !entry.departing &&
            IndexOfContact(entry.contact) < 0)
            return entry.contact;
    return nullptr;
}

TQComm::TLinkEntry& TQComm::MakeLink(const TpContact& contact, uint32_t peerSession) {
    DropLink(contact);
    std::erase_if(FLinks, [&](const TLinkEntry& entry) {
        return entry.departing && entry.contact->Address == contact->Address;
    });
    FLinks.push_back(
        {contact, std::make_unique<TPeerLink>(peerSession, FTiming, TLinkClock::now())});
    return FLinks.back();
}

// A member announced by a host of the extension: a session other than 0
// means that the member announced it too.
void TQComm::LinkAnnounced(const TpContact& member, uint32_t session) {
    if (FReliable && session != 0 && IsDotted(member->Address))
        MakeLink(member, session);
}

void TQComm::DropLink(const TpContact& contact) {
    std::erase_if(FLinks, [&](const TLinkEntry& entry) { return entry.contact == contact; });
}

void TQComm::DropAllLinks() {
    FLinks.clear();
    for (const THandshake& h : FHandshakes)
        Unlink(h.request);
    FHandshakes.clear();
}

// --- Sending -------------------------------------------------------------

void TQComm::SendLinked(const TpContact& contact, const TpQMsg& msg, bool wantAck) {
    TLinkEntry* entry = LinkOf(contact);
    if (!entry)
        return; // gone while earlier addressees were sent to
    if (wantAck) {
        entry->link->Queue(msg);
        SendDue(*entry, TLinkClock::now());
        return;
    }
    // Untracked: sent once, in no order.  A leave notice goes several times
    // over, since whoever sends it is about to go quiet.
    const int copies = msg->MsgType == mtDisconnect ? kLeaveCopies : 1;
    for (int i = 0; i < copies; ++i)
        SendOnLink(*entry, *msg, 0, 0);
}

void TQComm::SendDue(TLinkEntry& entry, TLinkTime now) {
    for (const TPeerLink::TTransmission& t : entry.link->Due(now)) {
        // The reply keeps the announcement: the joiner learns the host's
        // session from it.
        const uint8_t flags =
            kTrailerSequenced | (t.msg->MsgType == mtConnectReply ? kTrailerOffer : 0);
        SendOnLink(entry, *t.msg, flags, t.sequence);
    }
}

// Every datagram to a peer of the extension tells it what we hold of its
// messages.
void TQComm::SendOnLink(TLinkEntry& entry, const TQMsg& msg, uint8_t flags, uint32_t sequence) {
    TLinkTrailer trailer;
    trailer.flags = flags;
    trailer.session = FSession;
    trailer.sequence = sequence;
    trailer.ackNext = entry.link->AckNext();
    trailer.ackBits = entry.link->AckBits();
    entry.link->NoteSent(TLinkClock::now());
    SendBytes(entry.contact->Address, msg.EncodeWithTrailer(EncodeTrailer(trailer)));
}

// An acknowledgement, which is also the keep-alive: the kind 255 with the
// trailer as its only item.
void TQComm::SendLinkAck(TLinkEntry& entry) {
    TQMsg ack;
    ack.MsgType = mtAck;
    SendOnLink(entry, ack, 0, 0);
}

// --- Receiving -----------------------------------------------------------

void TQComm::ReceiveLinked(std::unique_ptr<TQMsg> msg, const TLinkTrailer& trailer) {
    if (TLinkEntry* entry = LinkFrom(msg->FromAddress, trailer.session)) {
        ReceiveOnLink(*entry, std::move(msg), trailer);
    } else if (trailer.Offer() && !trailer.Sequenced() && msg->MsgType == mtConnectRequest) {
        AdmitAtReceipt(std::move(msg), &trailer);
    } else if (trailer.Offer() && msg->MsgType == mtConnectReply) {
        ReplyAtReceipt(std::move(msg), trailer);
    }
    // Anything else comes from a peer not (yet) known, or from an earlier
    // session: dropped unanswered, so that a live sender tries again.
}

void TQComm::ReceiveOnLink(TLinkEntry& entry, std::unique_ptr<TQMsg> msg,
                           const TLinkTrailer& trailer) {
    const TLinkTime now = TLinkClock::now();
    entry.link->NoteHeard(now);
    const std::vector<TpQMsg> settled = entry.link->Settle(trailer.ackNext, trailer.ackBits, now);
    if (entry.departing) {
        AcknowledgeOnly(entry, std::move(msg), trailer);
    } else {
        for (const TpQMsg& m : settled)
            Queue({TReceived::What::Settled, m, entry.contact});
        HandOn(entry, std::move(msg), trailer);
    }
    SendDue(entry, now); // the acknowledgement may have opened the window
}

// A numbered message goes through the link, which hands the peer's
// messages on in order; an untracked one goes on as it came.  A repeated
// connect request of a joiner already admitted (its reply is on its way),
// an acknowledgement or a stray reply carries nothing more.
void TQComm::HandOn(TLinkEntry& entry, std::unique_ptr<TQMsg> msg, const TLinkTrailer& trailer) {
    if (trailer.Sequenced()) {
        const TPeerLink::TArrival arrival = entry.link->Receive(trailer.sequence, std::move(msg));
        for (std::unique_ptr<TQMsg>& next : entry.link->TakeInOrder())
            Queue(TReceived::Linked(std::move(next)));
        if (arrival != TPeerLink::TArrival::Beyond)
            SendLinkAck(entry);
    } else if (msg->MsgType != mtAck && msg->MsgType != mtConnectRequest &&
               msg->MsgType != mtConnectReply) {
        Queue(TReceived::Linked(std::move(msg)));
    }
}

// A peer that our leave notice has still to reach: what it sends is
// acknowledged, so that it stops sending it, but handed on no more.
void TQComm::AcknowledgeOnly(TLinkEntry& entry, std::unique_ptr<TQMsg> msg,
                             const TLinkTrailer& trailer) {
    if (!trailer.Sequenced() ||
        entry.link->Receive(trailer.sequence, std::move(msg)) == TPeerLink::TArrival::Beyond)
        return;
    entry.link->TakeInOrder();
    SendLinkAck(entry);
}

// The joiner's side: the host's answer to our request.  A host that admits
// us gets its record and link now, so that what it sends next is taken;
// the table gets the record when the reply's turn comes.
void TQComm::ReplyAtReceipt(std::unique_ptr<TQMsg> reply, const TLinkTrailer& trailer) {
    const TpQMsg request = TakeHandshake();
    if (!request)
        return; // nobody asked
    request->Recipients.clear();
    Unlink(request);
    if (reply->IntAt(0) == kReplyAccepted && trailer.Sequenced() && IsDotted(reply->FromAddress)) {
        const auto host =
            std::make_shared<TContact>(TContact{reply->StrAt(2), reply->FromAddress, 0});
        ReceiveOnLink(MakeLink(host, trailer.session), std::move(reply), trailer);
    } else {
        Queue(TReceived::Linked(std::move(reply)));
    }
    Queue({TReceived::What::Settled, request, FOutsider});
}

void TQComm::FellSilent(const TpContact& contact, const std::vector<TpQMsg>& owed) {
    if (IndexOfContact(contact) < 0)
        return; // already left the table
    for (const TpQMsg& msg : owed)
        if (OnTimeout)
            OnTimeout(*msg, contact);
    if (OnClientDisconnection)
        OnClientDisconnection(contact, kReasonTimedOut);
    RemoveContact(contact);
}

// --- The connect request -------------------------------------------------

// The request waits in its kind's chain too, where an acknowledgement of the
// written protocol finds it.
void TQComm::StartHandshake(const TpQMsg& request, const std::string& host) {
    const TLinkTime now = TLinkClock::now();
    FAckTable[mtConnectRequest].push_back(request);
    FHandshakes.push_back(
        {request, host, now + HandshakeInterval(), now + kHandshakeTries * HandshakeInterval()});
    SendRequest(*request, host);
}

void TQComm::SendRequest(const TQMsg& request, const std::string& host) {
    TLinkTrailer offer;
    offer.flags = kTrailerOffer;
    offer.session = FSession;
    SendBytes(host, request.EncodeWithTrailer(EncodeTrailer(offer)));
}

// The oldest request still waiting for an answer, which it no longer waits for.
TQComm::TpQMsg TQComm::TakeHandshake() {
    if (FHandshakes.empty())
        return nullptr;
    const TpQMsg request = FHandshakes.front().request;
    FHandshakes.erase(FHandshakes.begin());
    return request;
}

// A host of the written protocol gives its reply up between one and two
// Timeouts after sending it; a request sent again after that is admitted
// afresh rather than twice.
TMillis TQComm::HandshakeInterval() const {
    const uint32_t tick = FTimeout == 0 ? kIdleTickInterval : FTimeout;
    return TMillis(2LL * tick) + kHandshakeMargin;
}

// --- The finer timer -----------------------------------------------------

void TQComm::LinkTick() {
    if (FLinkTicking)
        return;
    FLinkTicking = true;
    try {
        const TLinkTime now = TLinkClock::now();
        LinkTickHandshakes(now);
        LinkTickPeers(now);
    } catch (...) {
        FLinkTicking = false;
        throw;
    }
    FLinkTicking = false;
    ProcessIncoming();
}

void TQComm::LinkTickHandshakes(TLinkTime now) {
    std::vector<THandshake> due;
    for (auto it = FHandshakes.begin(); it != FHandshakes.end();) {
        if (it->request->Recipients.empty()) { // settled by a written acknowledgement
            it = FHandshakes.erase(it);
        } else if (FTimeout != 0 && now >= it->deadline) {
            Unlink(it->request);
            Queue({TReceived::What::RequestUnanswered, it->request, FOutsider});
            it = FHandshakes.erase(it);
        } else {
            if (now >= it->nextTry) {
                it->nextTry = now + HandshakeInterval();
                due.push_back(*it);
            }
            ++it;
        }
    }
    // Sent after the walk: a host name look-up runs the event loop.
    for (const THandshake& h : due)
        SendRequest(*h.request, h.host);
}

void TQComm::LinkTickPeers(TLinkTime now) {
    for (auto it = FLinks.begin(); it != FLinks.end();) {
        TLinkEntry& entry = *it;
        if (entry.departing && (entry.link->Unacknowledged().empty() || entry.link->Silent(now))) {
            it = FLinks.erase(it); // told, or gone: nothing more to say
            continue;
        }
        const bool inTable = IndexOfContact(entry.contact) >= 0;
        if (inTable && FTimeout != 0 && entry.link->Silent(now)) {
            TReceived givenUp(TReceived::What::GivenUp, nullptr, entry.contact);
            givenUp.owed = entry.link->Unacknowledged();
            Queue(std::move(givenUp));
            it = FLinks.erase(it);
            continue;
        }
        SendDue(entry, now);
        if (entry.link->KeepAliveDue(now))
            SendLinkAck(entry);
        ++it;
    }
}
