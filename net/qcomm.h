// TQComm: the connection manager through which the programs of an online
// game reach each other.  It exchanges TQMsg messages over UDP with a small
// group of peers, all listening on the same Port.
//
// One program hosts; the others Connect to it by address.  The host admits
// a joiner while it holds fewer than MaxConnections contacts and both run
// the same version, tells the members already present about the joiner and
// the joiner about each of them, so that every program ends up with a
// contact for every other one (a full mesh: the host relays nothing).
//
// Every received message except an acknowledgement is acknowledged as soon
// as it has been decoded, before the application sees it, and also while
// the handler of an earlier message is still running (a handler may run a
// nested event loop for seconds; the peers must not give this program up
// meanwhile).  A connect request is decided, answered and acknowledged (in
// that order) at receipt too; OnNewClient and the introductions of the
// other members follow when it is its turn to be handled.  Messages are
// handled one at a time, in the order they arrived.  Kinds 0..250 are the
// game's and arrive as OnGotMsg; 251..255 are this component's own
// (wire_format.h).
//
// Two kinds of peers.  A program of this version announces the reliable
// delivery extension with one more item at the end of its connect request
// and of its reply; a program that speaks only the written protocol ignores
// it.  Towards a peer that did not announce it (and towards every peer
// while Reliable is off) every datagram is as the written protocol has it,
// and a message sent with wantAck stays pending until the addressee has
// acknowledged it; the retry timer (every Timeout ms) reports an overdue
// addressee with OnTimeout, sends again while PacketRetries allows, and then
// gives the addressee up: it leaves the table, with OnClientDisconnection
// and kReasonTimedOut.  Between two programs that both announced it, every
// datagram carries a trailer (wire_format.h) and each one's tracked messages
// are numbered: they are sent again until acknowledged, on a time-out
// derived from the round trip, and arrive exactly once and in the order
// sent; a peer is given up after Timing().silence without any datagram
// from it, or when our oldest message has waited that long for its
// acknowledgement, or when kMaxQueuedPerPeer of our messages wait for it
// (OnLog with the reason, OnTimeout for each message it still owes, then
// OnClientDisconnection), and a keep-alive goes to a peer to whom nothing
// else went for Timing().keepAlive.  Each link is sealed (link_seal.h)
// with a key agreed in the handshake, behind the host's stateless cookie:
// once an address has a link, what comes from it unsealed, a seal that
// does not open or was opened before, a connect request that would
// replace the link (unless it proves the link's own key or account: a
// program that restarted) and an acknowledgement of numbers never sent are
// dropped and counted (Dropped).  A connect request to a host that has
// not answered yet is sent again every 2 Timeout + 0.5 s (by then a host of
// the written protocol has given up its first reply, so it admits afresh)
// and given up after four such intervals (18 s with Timeout 2000), with
// OnTimeout and OnConnectionFailed (kReasonNoAnswer).  The host's reply, of
// either kind, settles it.
//
// Contacts are shared records (TpContact): one that leaves the table stays
// valid for whoever still holds it, such as a seat.  A contact deleted
// because it left is no longer waited for by any pending message.
//
// Use:
//   comm.setClientName("Ann");  comm.setTavloNumber(lobbyNumber);
//   comm.setMaxConnections(openSeats);             // a host only
//   comm.setPort(3237);  comm.setTimeout(2000);
//   comm.setEnabled(true);
//   comm.Connect("192.0.2.7");                     // a joiner only
//   TQMsg& move = comm.NewMsg(2);  move.AddInt(7);  move.AddInt(3);
//   comm.SendMsg(smAll, true);                     // NewMsg, items, SendMsg
//
// The component is a facade over its parts: the contact table
// (contact_book.h) and each contact's path (path_table.h), sending
// (outbox.h), the written protocol's pending messages (pending_messages.h),
// the extension's links and this program's connect requests
// (link_table.h, connect_requests.h), admission (admission.h), what happens
// at receipt (arrivals.h) and what waits to be handled (incoming_queue.h).
// It reads the time, runs its timers and opens its socket through a
// TCommEnvironment: the Qt event loop and UDP in the program, an in-memory
// network with a clock of its own in tests.
//
// Everything runs on the event-loop thread.  Events are raised only when
// set.  A handler may send messages, change the contact table, disable the
// component or run a nested event loop; it must not destroy the component.
// Nothing here waits: a datagram to a host name goes once the name has been
// looked up, and a name that does not resolve is reported with OnError.
// Errors of a send that cannot go at all (to 0.0.0.0) and errors thrown by
// handlers propagate to the caller of SendMsg, Connect or Disconnect, or
// out of the socket or timer notification into the event loop, where the
// application's QCoreApplication::notify must catch them.  A datagram that
// does not hold a well-formed message is dropped silently.
#pragma once

#include "admission.h"
#include "arrivals.h"
#include "comm_environment.h"
#include "comm_events.h"
#include "comm_settings.h"
#include "connect_requests.h"
#include "contact_book.h"
#include "fault_seam.h"
#include "incoming_queue.h"
#include "link_table.h"
#include "outbox.h"
#include "path_table.h"
#include "pending_messages.h"
#include "qmsg.h"
#include "reassembly.h"
#include "udp_endpoint.h"
#include "wire_format.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

class TQComm : public TCommEvents {
  public:
    // On the Qt event loop, with a UDP socket.
    TQComm();
    // In the given environment, which must outlive the component.
    explicit TQComm(TCommEnvironment& environment);
    // Sends a leave notice to every contact (without raising any more
    // events; untracked, since nobody will be here to send it again: the
    // same bytes for the written protocol, three copies for the others),
    // then releases everything.
    ~TQComm();
    TQComm(const TQComm&) = delete;
    TQComm& operator=(const TQComm&) = delete;

    // --- Events: see TCommEvents (comm_events.h) --------------------------

    // --- Properties -------------------------------------------------------
    // How many contacts a host admits.
    int MaxConnections() const { return settings_.maxConnections; }
    void setMaxConnections(int count) { settings_.maxConnections = count; }
    // This program's nickname, sent to the others.
    const std::string& ClientName() const { return settings_.clientName; }
    void setClientName(const std::string& name) { settings_.clientName = name; }
    // This program's lobby number, sent in the connect request.
    int32_t TavloNumber() const { return settings_.tavloNumber; }
    void setTavloNumber(int32_t number) { settings_.tavloNumber = number; }
    // Interval of the retry timer in ms; 0 turns time-outs off.
    uint32_t Timeout() const { return settings_.timeout; }
    void setTimeout(uint32_t ms);
    // How many times a tracked message is transmitted before its remaining
    // addressees are given up (at least once).
    uint32_t PacketRetries() const { return settings_.packetRetries; }
    void setPacketRetries(uint32_t count) { settings_.packetRetries = count; }
    // The UDP port this program listens on and sends to; datagrams from any
    // other source port are ignored.
    int Port() const { return settings_.port; }
    void setPort(int port);
    // The local IPv4 address to listen on, "0.0.0.0" for all; lets several
    // programs meet on one machine (127.0.0.2, 127.0.0.3, ...).
    const std::string& LocalAddress() const { return settings_.localAddress; }
    void setLocalAddress(const std::string& address);
    // The version string compared with a joiner's; the running program's
    // FileVersion unless set.
    const std::string& OwnVersion() const { return settings_.ownVersion; }
    void setOwnVersion(const std::string& version) { settings_.ownVersion = version; }
    // Enabled: the socket is open and the retry timer runs.  Enabling starts
    // a new session (the number that tells this program's datagrams from
    // those of an earlier run).  Disabling sends an untracked leave notice
    // and closes the socket; the contacts and the written protocol's
    // pending messages stay, but every contact is spoken to by the written
    // protocol from then on, and the numbered messages still unacknowledged
    // are dropped without events.
    bool Enabled() const { return enabled_; }
    // The present session's number (what the trailer carries).
    uint32_t Session() const { return settings_.session; }
    void setEnabled(bool enabled);
    // Whether this program announces and uses the reliable delivery
    // extension; off, it speaks only the written protocol, byte for byte.
    // Set it before Enabled and Connect.
    bool Reliable() const { return settings_.reliable; }
    void setReliable(bool reliable) { settings_.reliable = reliable; }
    // The extension's timings; tests shorten the silence.
    const TLinkTiming& Timing() const { return settings_.timing; }
    void setTiming(const TLinkTiming& timing) { settings_.timing = timing; }
    // Admits connect requests past MaxConnections when it says so (see
    // admission.h): latecomers to a game under way.
    void setLateJoinerRule(TLateJoinerRule rule) { admission_.SetLateJoinerRule(std::move(rule)); }
    // The key pair the links' seals are agreed with: one made for this
    // component unless set (the program's own, which its lobby ticket
    // names).  Set it before Enabled.
    const TLinkKeyPair& KeyPair() const { return settings_.keyPair; }
    void setKeyPair(const TLinkKeyPair& pair) { settings_.keyPair = pair; }
    // The lobby's ticket for the key pair, shown to every peer of the
    // extension; empty: none (a game without a lobby).  The source is
    // read at each handshake, so a renewed ticket goes out from then on.
    void setOwnTicket(const std::string& ticket) {
        settings_.ownTicket = [ticket] { return ticket; };
    }
    void setOwnTicketSource(std::function<std::string()> source) {
        settings_.ownTicket = std::move(source);
    }
    // Checks each peer's ticket against the key it proved and its name;
    // a peer it refuses is not linked (OnLog says why).  Unset, every key
    // is taken unchecked.
    void setTicketVerifier(TTicketVerifier verifier) { settings_.verifier = std::move(verifier); }
    // Whether the contact announced the extension and is spoken to by it.
    bool SpeaksReliable(const TpContact& contact) const { return links_.Of(contact) != nullptr; }
    // The key the contact's link was sealed with; none for a contact of the
    // written protocol.
    std::optional<TLinkPublicKey> PeerKey(const TpContact& contact) const {
        const TLinkTable::TEntry* link = links_.Of(contact);
        return link ? std::optional(link->proof.key) : std::nullopt;
    }

    // --- Test seams -------------------------------------------------------
    // The fault seam of the socket (fault_seam.h), now and for every socket
    // opened later; ZELLHOP_NET_FAULTS gives the first value.
    void setFaults(const TFaultSettings& settings);
    const TFaultSettings& Faults() const { return faults_; }
    // The present socket's seam, if any: what it did so far.
    const TFaultSeam* FaultSeam() const { return socket_ ? socket_->Faults() : nullptr; }
    // Sees every datagram this component puts on the wire.
    void setWireTap(TUDPEndpoint::TOnWire tap);

    // --- Operations -------------------------------------------------------
    // Asks the host at hostAddress to admit this program; the answer comes
    // as OnConnectionSuccess or OnConnectionFailed.  A dotted address is
    // sent to at once; a host name once it has been looked up (a name that
    // does not resolve: OnError, at each try).  hostIsOurs: the host made
    // itself known as a program of ours (it announced its game on this
    // network), so with the extension on it answers only sealed, and a
    // written answer from its address is someone else's.
    void Connect(const std::string& hostAddress, bool hostIsOurs = false);
    // Sends a leave notice to every contact.  Tracked, the whole table is
    // emptied once any contact acknowledges it.
    void Disconnect(bool wantAck);
    // Starts the next outgoing message; fill it with AddInt/AddStr, then call
    // SendMsg.  The reference is valid until then.
    TQMsg& NewMsg(int kind);
    // Addresses and transmits the message started by NewMsg.  With wantAck
    // it stays pending until acknowledged or given up.  Does nothing without
    // a NewMsg before it.
    void SendMsg(TSendMode mode, bool wantAck);

    // --- Contacts ---------------------------------------------------------
    int ContactCount() const { return contacts_.Count(); }
    // The outsider contact "Dummy" for an index out of range.
    TpContact Contacts(int index) const { return contacts_.At(index); }
    // Index of the first contact with exactly this address, -1 if none.
    int IndexOfAddress(const std::string& address) const {
        return contacts_.IndexOfAddress(address);
    }
    // Appends a contact; returns its index (always the last).
    int AddContact(const std::string& name, const std::string& address, int32_t tavloNumber) {
        return contacts_.Add(name, address, tavloNumber);
    }
    // Takes the contact out of the table and out of every pending message's
    // addressees.  Nothing for an index out of range.
    void DeleteContact(int index);
    // Takes the contact out of the table only; pending messages still list it.
    void RemoveContact(const TpContact& contact);
    // Sends the contact's datagrams, and the answers to datagrams from its
    // address, on path instead of through the socket, until ClearPath or
    // until the contact record is gone.  What arrives by that path is fed
    // to HandleDatagram with the contact's address and Port.
    void SetPath(const TpContact& contact, std::shared_ptr<TDatagramPath> path) {
        paths_.SetPath(contact, std::move(path));
    }
    void ClearPath(const TpContact& contact) { paths_.ClearPath(contact); }

    // Datagrams dropped as forged, replayed or lying, and messages held
    // back at a cap, since the component was made.
    const TDropCounts& Dropped() const { return links_.Drops(); }

    // Tracked messages not yet freed (settled ones of the written protocol
    // go at the next tick), counted once however many peers they wait for.
    int PendingCount() const;

    // --- Entry points of the socket and the timers ------------------------
    // Public so that tests and the fuzz target can feed them directly.
    // A datagram as received: ignored unless sourcePort is Port; dropped
    // whole when it does not hold a well-formed message.
    void HandleDatagram(std::string_view bytes, const std::string& fromIP, int sourcePort);
    // One tick of the retry timer.  It examines nothing while received
    // acknowledgements still wait behind a running handler: they may settle
    // the very messages it would give up.
    void TimerTick();
    // One tick of the extension's finer timer: sends again what is due,
    // keep-alives, and gives up silent peers and unanswered requests.
    void LinkTick();

  private:
    TQComm(std::unique_ptr<TCommEnvironment> own, TCommEnvironment* environment);
    void MakeTimers();
    void OpenSocket();
    void CloseSocket();
    void SendToAddress(const std::string& address, const std::string& bytes);
    void SendFailed(const std::string& text);

    void ProcessIncoming();
    void Handle(TReceived& received);
    void Process(const TQMsg& msg, bool acknowledged, bool linked);
    void PeerLeft(const TQMsg& notice);
    void MatchAck(const TQMsg& ack);
    void Settled(const TQMsg& msg, const TpContact& contact);
    void EmptyTableAfterLeaving();
    void FellSilent(const TReceived& givenUp);
    void GiveUp(const TQMsg& msg, const TpContact& contact);

    std::unique_ptr<TCommEnvironment> ownEnvironment_;
    TCommEnvironment& environment_;
    TCommSettings settings_;
    bool enabled_ = false;
    TFaultSettings faults_;
    TUDPEndpoint::TOnWire wireTap_;

    TContactBook contacts_;
    TPathTable paths_;
    TPendingMessages pending_;
    TIncomingQueue incoming_;
    TLinkTable links_;
    TConnectRequests requests_;
    TOutbox outbox_;
    TAdmission admission_;
    TArrivals arrivals_;
    TReassembler reassembler_;
    std::unique_ptr<TQMsg> building_; // made by NewMsg, not yet sent
    bool linkTicking_ = false;

    std::unique_ptr<TDatagramSocket> socket_;
    std::unique_ptr<TCommTimer> retryTimer_; // every Timeout ms
    std::unique_ptr<TCommTimer> linkTimer_;  // every 20 ms, for the extension
    std::unique_ptr<TCommTimer> resume_;     // takes up the queue after an error
};
