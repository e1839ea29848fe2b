// The reliable delivery extension's links: one TPeerLink for each contact
// that announced the extension, found by contact or by the address and
// session its datagrams come from, and what travels over them.  Every
// datagram to such a peer carries the trailer (wire_format.h), and with it
// what we hold of the peer's messages: numbered messages, sent again until
// acknowledged; untracked ones; acknowledgements, which are also the
// keep-alives.  What a peer's datagrams bring (its messages in order, our
// messages it settled) and the peers that fell silent go to the incoming
// queue.
//
// Every link is sealed (link_seal.h) with the key agreed from this
// program's key pair and the one the peer proved (link_proof.h): every
// datagram to the peer is sealed, and every datagram from its address is
// opened before anything reads it; what does not open, or comes unsealed
// from a linked address, is dropped and counted.  A joiner learns its
// host's key from the host's cookie answer and opens the host's reply with
// the seal agreed then.
//
// A contact whose leave notice from us is still on its way to it stays
// linked outside the table ("departing"): it only finishes delivering, and
// hands nothing on.  Plain C++ with the clock passed in; the owner's timer
// calls Tick, and NextDue says when that is next needed.
#pragma once

#include "comm_settings.h"
#include "contact_book.h"
#include "drop_counts.h"
#include "incoming_queue.h"
#include "link_proof.h"
#include "link_seal.h"
#include "path_table.h"
#include "peer_link.h"
#include "wire_format.h"

#include <list>
#include <memory>
#include <optional>
#include <functional>
#include <set>
#include <string>
#include <string_view>

// Our tracked messages that may wait for one peer's acknowledgement: a
// peer that leaves more waiting is given up rather than let to fill the
// memory.  At a move a second that is a quarter of an hour of game.
inline constexpr std::size_t kMaxQueuedPerPeer = 1024;
// A peer's messages that may wait for their turn here; beyond that its
// numbered messages are not acknowledged, so it sends them again later.
inline constexpr std::size_t kMaxWaitingPerPeer = 1024;

class TLinkTable {
  public:
    using TpQMsg = std::shared_ptr<TQMsg>;
    struct TEntry {
        TpContact contact; // in the table, or (a joiner's host) soon to be
        std::unique_ptr<TPeerLink> link;
        bool departing = false;
        // Given up, its give-up not handled yet: it keeps the contact from
        // being spoken to by the written protocol meanwhile, and carries
        // nothing more either way.
        bool abandoned = false;
        TLinkProof proof; // the peer's key and ticket
        TLinkSeal seal;
    };
    // What became of a datagram as received.
    enum class TOpening {
        Plain,  // not sealed, and from an address without a link (or a connect request)
        Opened, // sealed by a linked peer, now plain
        Dropped // forged, replayed, altered, unsealed from a linked address, or unknown
    };
    using TLog = std::function<void(const std::string& line)>;

    TLinkTable(const TCommSettings& settings, TPathTable& paths, TIncomingQueue& incoming,
               TNow now);

    TEntry* Of(const TpContact& contact);
    const TEntry* Of(const TpContact& contact) const;
    // The entry whose peer sends from this address in this session.
    TEntry* From(const std::string& address, uint32_t session);
    // A joiner's host between the arrival of its reply and its turn: linked
    // at this address, not departing, and not in the table.
    TpContact LinkedOutside(const std::string& address, const TContactBook& contacts) const;
    // Where refusals of keys and tickets are told.
    void SetLog(TLog log) { log_ = std::move(log); }
    // The seal with a peer called name at address that proved this in
    // session peerSession: none, with a line for the log, when the verifier
    // refuses its ticket or the key is not usable.
    std::optional<TLinkSeal> Vouch(const std::string& name, const std::string& address,
                                   uint32_t peerSession, const TLinkProof& proof);
    // A fresh link to the contact, replacing its own and a departing one at
    // its address.
    TEntry& Make(const TpContact& contact, uint32_t peerSession, const TLinkProof& proof,
                 TLinkSeal seal);
    // Whether a member announced at address in session by a host of the
    // extension gets a link: 0 means it speaks only the written protocol.
    bool Linkable(const std::string& address, uint32_t session) const;
    // Whether a connect request proving this may replace the live link at
    // address: it proves the same key (a program that restarted keeps its
    // key) or, tickets checked, comes from the same account.
    bool SameOwner(const std::string& address, const std::string& name,
                   const TLinkProof& proof) const;

    // --- The joiner's host before its link ---------------------------------
    // The host at address answered with its key in session hostSession;
    // its reply comes sealed with what this agrees.
    void Expect(const std::string& address, uint32_t hostSession, const TLinkPublicKey& hostKey);
    // The host's link, with the seal Expect agreed, once its reply proves
    // the same key and its ticket holds; null otherwise.
    TEntry* MakeHost(const TpContact& host, uint32_t hostSession, const TLinkProof& proof);
    // A datagram sealed with a seal of its own, for a peer that has no
    // link: the host's refusal of a joiner whose cookie came back.
    std::string SealOnce(const TLinkPublicKey& key, uint32_t peerSession,
                         const std::string& datagram) const;

    // A datagram as received: opened with the seal of its sender's link.
    TOpening Open(std::string_view bytes, const std::string& from, std::string& plain);
    void Drop(const TpContact& contact);
    // Forgets the contact's link if it was given up.
    void DropAbandoned(const TpContact& contact);
    void Clear() {
        entries_.clear();
        expected_.reset();
    }
    // The contact left the table after our tracked leave notice: linked on
    // while it owes us an acknowledgement.
    void Depart(const TpContact& contact);

    // A message to a linked contact; nothing when it has no link (gone
    // while earlier addressees were sent to).
    void SendTracked(const TpContact& contact, const TpQMsg& msg);
    void SendUntracked(const TpContact& contact, const TQMsg& msg);
    // A datagram of the peer, its trailer taken off.
    void Receive(TEntry& entry, std::unique_ptr<TQMsg> msg, const TLinkTrailer& trailer);
    // Sends what is due and keep-alives; drops the departed; gives up the
    // silent peers of the table (while time-outs are on).
    void Tick(const TContactBook& contacts);
    // When Tick is next needed; nothing without links.
    std::optional<TLinkTime> NextDue() const;
    // Adds the messages not yet acknowledged.
    void Collect(std::set<const TQMsg*>& into) const;
    // Whether a live (not departing) link speaks for this address.
    bool LiveAt(const std::string& address) const;
    // What was dropped as forged, replayed or lying.
    TDropCounts& Drops() { return drops_; }
    const TDropCounts& Drops() const { return drops_; }

  private:
    void HandOn(TEntry& entry, std::unique_ptr<TQMsg> msg, const TLinkTrailer& trailer);
    void AcknowledgeOnly(TEntry& entry, std::unique_ptr<TQMsg> msg, const TLinkTrailer& trailer);
    void SendDue(TEntry& entry, TLinkTime now);
    void SendOnLink(TEntry& entry, const TQMsg& msg, uint8_t flags, uint32_t sequence);
    void SendAck(TEntry& entry);
    // Hands the contact's give-up to the incoming queue, with the line for
    // the log, and forgets its link.
    void GiveUp(TEntry& entry, const std::string& why);

    const TCommSettings& settings_;
    TPathTable& paths_;
    TIncomingQueue& incoming_;
    TNow now_;
    std::list<TEntry> entries_; // entries stay put while others come and go
    TDropCounts drops_;
    TLog log_;
    std::string lastRefusal_; // the last line Vouch logged
    struct TExpected {
        std::string address;
        uint32_t session = 0;
        TLinkPublicKey key{};
        TLinkSeal seal;
    };
    std::optional<TExpected> expected_;

    TLinkSeal* SealFrom(const std::string& address, uint32_t session);
    bool LinkedAt(const std::string& address) const;
};
