#include "link_table.h"

#include "dotted_address.h"

#include <algorithm>
#include <chrono>

namespace {

constexpr int kLeaveCopies = 3; // an untracked leave notice to a peer of the extension

} // namespace

TLinkTable::TLinkTable(const TCommSettings& settings, TPathTable& paths, TIncomingQueue& incoming,
                       TNow now)
    : settings_(settings), paths_(paths), incoming_(incoming), now_(std::move(now)) {}

TLinkTable::TEntry* TLinkTable::Of(const TpContact& contact) {
    for (TEntry& entry : entries_)
        if (entry.contact == contact)
            return &entry;
    return nullptr;
}

const TLinkTable::TEntry* TLinkTable::Of(const TpContact& contact) const {
    for (const TEntry& entry : entries_)
        if (entry.contact == contact)
            return &entry;
    return nullptr;
}

TLinkTable::TEntry* TLinkTable::From(const std::string& address, uint32_t session) {
    for (TEntry& entry : entries_)
        if (entry.contact->Address == address && entry.link->PeerSession() == session &&
            !entry.abandoned)
            return &entry;
    return nullptr;
}

TpContact TLinkTable::LinkedOutside(const std::string& address,
                                    const TContactBook& contacts) const {
    for (const TEntry& entry : entries_)
        if (entry.contact->Address == address && !entry.departing && !contacts.Holds(entry.contact))
            return entry.contact;
    return nullptr;
}

std::optional<TLinkSeal> TLinkTable::Vouch(const std::string& name, const std::string& address,
                                           uint32_t peerSession, const TLinkProof& proof) {
    std::string why;
    if (settings_.verifier)
        why = settings_.verifier(proof.ticket, proof.key, name);
    std::optional<TLinkSeal> seal;
    if (why.empty()) {
        seal = TLinkSeal::Agree(settings_.keyPair, settings_.session, proof.key, peerSession);
        if (!seal)
            why = "its key is not usable";
    }
    // A refused peer asks again and again: its line goes to the log once.
    const std::string line = why.empty() ? "" : "Refused " + name + " at " + address + ": " + why;
    if (!line.empty() && line != lastRefusal_ && log_)
        log_(line);
    if (!line.empty())
        lastRefusal_ = line;
    return seal;
}

TLinkTable::TEntry& TLinkTable::Make(const TpContact& contact, uint32_t peerSession,
                                     const TLinkProof& proof, TLinkSeal seal) {
    Drop(contact);
    std::erase_if(entries_, [&](const TEntry& entry) {
        return entry.departing && entry.contact->Address == contact->Address;
    });
    entries_.push_back({contact, std::make_unique<TPeerLink>(peerSession, settings_.timing, now_()),
                        false, false, proof, std::move(seal)});
    return entries_.back();
}

// Links are keyed by the address datagrams come from, which is dotted.
bool TLinkTable::Linkable(const std::string& address, uint32_t session) const {
    return settings_.reliable && session != 0 && IsDottedAddress(address);
}

bool TLinkTable::SameOwner(const std::string& address, const std::string& name,
                           const TLinkProof& proof) const {
    return std::any_of(entries_.begin(), entries_.end(), [&](const TEntry& entry) {
        if (entry.departing || entry.contact->Address != address)
            return false;
        if (entry.proof.key == proof.key)
            return true;
        // The verifier checks the new ticket against name before the link is made.
        return settings_.verifier && !entry.proof.ticket.empty() && !proof.ticket.empty() &&
               entry.contact->Name == name;
    });
}

// --- The joiner's host ---------------------------------------------------

void TLinkTable::Expect(const std::string& address, uint32_t hostSession,
                        const TLinkPublicKey& hostKey) {
    expected_.reset();
    std::optional<TLinkSeal> seal =
        TLinkSeal::Agree(settings_.keyPair, settings_.session, hostKey, hostSession);
    if (seal)
        expected_.emplace(TExpected{address, hostSession, hostKey, std::move(*seal)});
}

TLinkTable::TEntry* TLinkTable::MakeHost(const TpContact& host, uint32_t hostSession,
                                         const TLinkProof& proof) {
    if (!expected_ || expected_->address != host->Address || expected_->session != hostSession ||
        expected_->key != proof.key)
        return nullptr;
    if (!Vouch(host->Name, host->Address, hostSession, proof)) {
        expected_.reset(); // what else the host sends is not taken either
        return nullptr;
    }
    TLinkSeal seal = std::move(expected_->seal); // its window holds the reply already
    expected_.reset();
    return &Make(host, hostSession, proof, std::move(seal));
}

std::string TLinkTable::SealOnce(const TLinkPublicKey& key, uint32_t peerSession,
                                 const std::string& datagram) const {
    std::optional<TLinkSeal> seal =
        TLinkSeal::Agree(settings_.keyPair, settings_.session, key, peerSession);
    return seal ? seal->Seal(datagram) : datagram;
}

// --- Opening -------------------------------------------------------------

// A connect request may come unsealed from a linked address: a program
// that restarted asks again, and admission decides.  Anything else
// unsealed from there is not the peer's.
TLinkTable::TOpening TLinkTable::Open(std::string_view bytes, const std::string& from,
                                      std::string& plain) {
    TLinkTrailer trailer;
    if (TLinkSeal::LooksSealed(bytes, trailer)) {
        TLinkSeal* seal = SealFrom(from, trailer.session);
        if (!seal)
            return TOpening::Dropped; // an earlier run's, or a peer not announced yet
        switch (seal->Open(bytes, plain)) {
        case TLinkSeal::TOpened::Fresh:
            return TOpening::Opened;
        case TLinkSeal::TOpened::Forged:
            ++drops_.forged;
            break;
        case TLinkSeal::TOpened::Replayed:
            ++drops_.replayed;
            break;
        case TLinkSeal::TOpened::NotSealed:
            break;
        }
        return TOpening::Dropped;
    }
    const bool request =
        bytes.size() > kLengthFieldBytes &&
        static_cast<unsigned char>(bytes[kLengthFieldBytes]) == mtConnectRequest;
    if (!LinkedAt(from) || request)
        return TOpening::Plain;
    ++drops_.unsealed;
    return TOpening::Dropped;
}

TLinkSeal* TLinkTable::SealFrom(const std::string& address, uint32_t session) {
    if (TEntry* entry = From(address, session))
        return &entry->seal;
    if (expected_ && expected_->address == address && expected_->session == session)
        return &expected_->seal;
    return nullptr;
}

bool TLinkTable::LinkedAt(const std::string& address) const {
    return std::any_of(entries_.begin(), entries_.end(),
                       [&](const TEntry& entry) { return entry.contact->Address == address; });
}

void TLinkTable::Drop(const TpContact& contact) {
    std::erase_if(entries_, [&](const TEntry& entry) { return entry.contact == contact; });
}

void TLinkTable::Depart(const TpContact& contact) {
    TEntry* entry = Of(contact);
    if (entry && !entry->link->Unacknowledged().empty())
        entry->departing = true;
    else
        Drop(contact);
}

// --- Sending -------------------------------------------------------------

void TLinkTable::SendTracked(const TpContact& contact, const TpQMsg& msg) {
    TEntry* entry = Of(contact);
    if (!entry)
        return;
    if (entry->abandoned)
        return;
    if (entry->link->Queued() >= kMaxQueuedPerPeer && !entry->departing) {
        GiveUp(*entry,
               std::to_string(kMaxQueuedPerPeer) + " messages wait for its acknowledgement");
        return;
    }
    entry->link->Queue(msg);
    SendDue(*entry, now_());
}

// Sent once, in no order.  A leave notice goes several times over, since
// whoever sends it is about to go quiet.
void TLinkTable::SendUntracked(const TpContact& contact, const TQMsg& msg) {
    TEntry* entry = Of(contact);
    if (!entry || entry->abandoned)
        return;
    const int copies = msg.MsgType == mtDisconnect ? kLeaveCopies : 1;
    for (int i = 0; i < copies; ++i)
        SendOnLink(*entry, msg, 0, 0);
}

void TLinkTable::SendDue(TEntry& entry, TLinkTime now) {
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
void TLinkTable::SendOnLink(TEntry& entry, const TQMsg& msg, uint8_t flags, uint32_t sequence) {
    TLinkTrailer trailer;
    trailer.flags = flags;
    trailer.session = settings_.session;
    trailer.sequence = sequence;
    trailer.ackNext = entry.link->AckNext();
    trailer.ackBits = entry.link->AckBits();
    entry.link->NoteSent(now_());
    paths_.Send(entry.contact, entry.seal.Seal(msg.EncodeWithTrailer(EncodeTrailer(trailer))));
}

// An acknowledgement, which is also the keep-alive: the kind 255 with the
// trailer as its only item.
void TLinkTable::SendAck(TEntry& entry) {
    TQMsg ack;
    ack.MsgType = mtAck;
    SendOnLink(entry, ack, 0, 0);
}

// --- Receiving -----------------------------------------------------------

void TLinkTable::Receive(TEntry& entry, std::unique_ptr<TQMsg> msg, const TLinkTrailer& trailer) {
    // Whoever acknowledges what we never sent is not the peer, or lies:
    // believing it would drop messages the peer never had.
    if (!entry.link->Believable(trailer.ackNext, trailer.ackBits)) {
        ++drops_.lyingAcks;
        return;
    }
    const TLinkTime now = now_();
    entry.link->NoteHeard(now);
    const std::vector<TpQMsg> settled = entry.link->Settle(trailer.ackNext, trailer.ackBits, now);
    if (entry.departing) {
        AcknowledgeOnly(entry, std::move(msg), trailer);
    } else {
        for (const TpQMsg& m : settled)
            incoming_.Push({TReceived::What::Settled, m, entry.contact});
        HandOn(entry, std::move(msg), trailer);
    }
    SendDue(entry, now); // the acknowledgement may have opened the window
}

// A numbered message goes through the link, which hands the peer's
// messages on in order; an untracked one goes on as it came.  A repeated
// connect request of a joiner already admitted (its reply is on its way),
// an acknowledgement or a stray reply carries nothing more.
void TLinkTable::HandOn(TEntry& entry, std::unique_ptr<TQMsg> msg, const TLinkTrailer& trailer) {
    if (msg->MsgType != mtAck && incoming_.WaitingFrom(msg->FromAddress) >= kMaxWaitingPerPeer) {
        ++drops_.heldBack; // not acknowledged: it comes again when we can take it
        return;
    }
    if (trailer.Sequenced()) {
        const TPeerLink::TArrival arrival = entry.link->Receive(trailer.sequence, std::move(msg));
        for (std::unique_ptr<TQMsg>& next : entry.link->TakeInOrder())
            incoming_.Push(TReceived::Linked(std::move(next)));
        if (arrival != TPeerLink::TArrival::Beyond)
            SendAck(entry);
    } else if (msg->MsgType != mtAck && msg->MsgType != mtConnectRequest &&
               msg->MsgType != mtConnectReply) {
        incoming_.Push(TReceived::Linked(std::move(msg)));
    }
}

// A peer that our leave notice has still to reach: what it sends is
// acknowledged, so that it stops sending it, but handed on no more.
void TLinkTable::AcknowledgeOnly(TEntry& entry, std::unique_ptr<TQMsg> msg,
                                 const TLinkTrailer& trailer) {
    if (!trailer.Sequenced() ||
        entry.link->Receive(trailer.sequence, std::move(msg)) == TPeerLink::TArrival::Beyond)
        return;
    entry.link->TakeInOrder();
    SendAck(entry);
}

// --- The timer -----------------------------------------------------------

void TLinkTable::Tick(const TContactBook& contacts) {
    const TLinkTime now = now_();
    for (auto it = entries_.begin(); it != entries_.end();) {
        TEntry& entry = *it;
        if (entry.abandoned) {
            ++it;
            continue;
        }
        if (entry.departing && (entry.link->Unacknowledged().empty() || entry.link->Silent(now))) {
            it = entries_.erase(it); // told, or gone: nothing more to say
            continue;
        }
        const bool judged = contacts.Holds(entry.contact) && settings_.timeout != 0;
        if (judged && (entry.link->Silent(now) || entry.link->Stalled(now))) {
            const auto seconds =
                std::chrono::duration_cast<std::chrono::seconds>(settings_.timing.silence);
            GiveUp(entry, (entry.link->Silent(now) ? "nothing heard from it for "
                                                   : "our oldest message unacknowledged for ") +
                              std::to_string(seconds.count()) + " s");
            ++it;
            continue;
        }
        SendDue(entry, now);
        if (entry.link->KeepAliveDue(now))
            SendAck(entry);
        ++it;
    }
}

void TLinkTable::GiveUp(TEntry& entry, const std::string& why) {
    TReceived givenUp(TReceived::What::GivenUp, nullptr, entry.contact);
    givenUp.owed = entry.link->Unacknowledged();
    givenUp.why = "Gave up " + entry.contact->Name + " at " + entry.contact->Address + ": " + why;
    incoming_.Push(std::move(givenUp));
    entry.abandoned = true;
}

void TLinkTable::DropAbandoned(const TpContact& contact) {
    std::erase_if(entries_,
                  [&](const TEntry& entry) { return entry.contact == contact && entry.abandoned; });
}

bool TLinkTable::LiveAt(const std::string& address) const {
    return std::any_of(entries_.begin(), entries_.end(), [&](const TEntry& entry) {
        return !entry.departing && entry.contact->Address == address;
    });
}

std::optional<TLinkTime> TLinkTable::NextDue() const {
    std::optional<TLinkTime> next;
    for (const TEntry& entry : entries_) {
        if (entry.abandoned)
            continue;
        const TLinkTime due = entry.departing && entry.link->Unacknowledged().empty()
                                  ? TLinkTime::min()
                                  : entry.link->NextDue();
        if (!next || due < *next)
            next = due;
    }
    return next;
}

void TLinkTable::Collect(std::set<const TQMsg*>& into) const {
    for (const TEntry& entry : entries_)
        for (const TpQMsg& msg : entry.link->Unacknowledged())
            into.insert(msg.get());
}
