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
// sent; a peer is given up only after Timing().silence without any datagram
// from it (OnTimeout for each message it still owes, then
// OnClientDisconnection), and a keep-alive goes to a peer to whom nothing
// else went for Timing().keepAlive.  A connect request to a host that has
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
// Everything runs on the Qt event-loop thread.  Events are raised only when
// set.  A handler may send messages, change the contact table, disable the
// component or run a nested event loop; it must not destroy the component.
// Errors of the endpoint while sending (a host name that does not resolve)
// and errors thrown by handlers propagate to the caller of SendMsg, Connect
// or Disconnect, or out of the socket or timer notification into the event
// loop, where the application's QCoreApplication::notify must catch them.
// A datagram that does not hold a well-formed message is dropped silently.
#pragma once

#include "contact.h"
#include "fault_seam.h"
#include "peer_link.h"
#include "qmsg.h"
#include "udp_endpoint.h"
#include "wire_format.h"

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QTimer;

// Whom SendMsg addresses.  Any other value addresses the contact at index 0.
enum TSendMode : int {
    smSender = 0,     // the sender of the message being handled (during
                      // an admission: the joiner)
    smLastTarget = 1, // the contact addressed by the last single-target send
    smSelected = 2,   // the selected contact (the host during Connect)
    smAll = 3,        // every contact, in table order
    smResend = 4,     // the addressees already listed in the message
};

// aReason of OnConnectionFailed.
inline constexpr int kReasonNoAnswer = -1; // the host never answered (aContact: "Dummy")
inline constexpr int kReasonFull = 0;      // the host is full (aContact: null)
inline constexpr int kReasonVersion = 1;   // the host runs another version (aContact: null)
// aReason of OnClientDisconnection.
inline constexpr int kReasonLeft = 0;     // the contact sent a leave notice
inline constexpr int kReasonTimedOut = 1; // the contact did not acknowledge in time

// The outsider contact's name: it stands for any peer not in the table.
inline constexpr const char* kOutsiderName = "Dummy";

// The component's defaults.
inline constexpr uint32_t kDefaultTimeout = 1000;
inline constexpr int kIdleTickInterval = 1000; // the timer's interval while Timeout is 0

using TMsgEvent = std::function<void(const TQMsg& aMsg, const TpContact& aContact)>;
// aContact is null for a refusal.
using TDisconnectEvent = std::function<void(const TpContact& aContact, int aReason)>;
using TNotifyEvent = std::function<void()>;

class TQComm {
  public:
    TQComm();
    // Sends a leave notice to every contact (without raising any more
    // events; untracked, since nobody will be here to send it again: the
    // same bytes for the written protocol, three copies for the others),
    // then releases everything.
    ~TQComm();
    TQComm(const TQComm&) = delete;
    TQComm& operator=(const TQComm&) = delete;

    // --- Events -----------------------------------------------------------
    // A contact acknowledged a pending message (once per contact).
    TMsgEvent OnGotAck;
    // A message of kind 0..250 arrived; aContact is its sender, or the
    // outsider "Dummy" when the sender is not in the table.
    TMsgEvent OnGotMsg;
    // A connect attempt failed: kReasonNoAnswer, kReasonFull, kReasonVersion.
    TDisconnectEvent OnConnectionFailed;
    // The host admitted this program (it is now the first contact).
    TNotifyEvent OnConnectionSuccess;
    // This joined program knows the host and every member it was told to
    // expect; raised again at each later member.
    TNotifyEvent OnConnected;
    // A member joined: on the host with the connect request and the joiner
    // (who is the smSender target meanwhile), on a member with the host's
    // announcement and the new member.
    TMsgEvent OnNewClient;
    // A pending message is overdue for aContact; raised at every examination.
    TMsgEvent OnTimeout;
    // A contact left (kReasonLeft) or was given up (kReasonTimedOut).
    TDisconnectEvent OnClientDisconnection;

    // --- Properties -------------------------------------------------------
    // How many contacts a host admits.
    int MaxConnections() const { return FMaxConnections; }
    void setMaxConnections(int count) { FMaxConnections = count; }
    // This program's nickname, sent to the others.
    const std::string& ClientName() const { return FClientName; }
    void setClientName(const std::string& name) { FClientName = name; }
    // This program's lobby number, sent in the connect request.
    int32_t TavloNumber() const { return FTavloNumber; }
    void setTavloNumber(int32_t number) { FTavloNumber = number; }
    // Interval of the retry timer in ms; 0 turns time-outs off.
    uint32_t Timeout() const { return FTimeout; }
    void setTimeout(uint32_t ms);
    // How many times a tracked message is transmitted before its remaining
    // addressees are given up (at least once).
    uint32_t PacketRetries() const { return FPacketRetries; }
    void setPacketRetries(uint32_t count) { FPacketRetries = count; }
    // The UDP port this program listens on and sends to; datagrams from any
    // other source port are ignored.
    int Port() const { return FPort; }
    void setPort(int port);
    // The local IPv4 address to listen on, "0.0.0.0" for all; lets several
    // programs meet on one machine (127.0.0.2, 127.0.0.3, ...).
    const std::string& LocalAddress() const { return FLocalAddress; }
    void setLocalAddress(const std::string& address);
    // The version string compared with a joiner's; the running program's
    // FileVersion unless set.
    const std::string& OwnVersion() const { return FOwnVersion; }
    void setOwnVersion(const std::string& version) { FOwnVersion = version; }
    // Enabled: the socket is open and the retry timer runs.  Enabling starts
    // a new session (the number that tells this program's datagrams from
    // those of an earlier run).  Disabling sends an untracked leave notice
    // and closes the socket; the contacts and the written protocol's
    // pending messages stay, but every contact is spoken to by the written
    // protocol from then on, and the numbered messages still unacknowledged
    // are dropped without events.
    bool Enabled() const { return FEnabled; }
    void setEnabled(bool enabled);
    // Whether this program announces and uses the reliable delivery
    // extension; off, it speaks only the written protocol, byte for byte.
    // Set it before Enabled and Connect.
    bool Reliable() const { return FReliable; }
    void setReliable(bool reliable) { FReliable = reliable; }
    // The extension's timings; tests shorten the silence.
    const TLinkTiming& Timing() const { return FTiming; }
    void setTiming(const TLinkTiming& timing) { FTiming = timing; }
    // Whether the contact announced the extension and is spoken to by it.
    bool SpeaksReliable(const TpContact& contact) const;

    // --- Test seams -------------------------------------------------------
    // The fault seam of the endpoint (fault_seam.h), now and for every
    // endpoint made later; ZELLHOP_NET_FAULTS gives the first value.
    void setFaults(const TFaultSettings& settings);
    const TFaultSettings& Faults() const { return FFaults; }
    // The present endpoint's seam, if any: what it did so far.
    const TFaultSeam* FaultSeam() const { return FEndpoint ? FEndpoint->Faults() : nullptr; }
    // Sees every datagram this component puts on the wire.
    void setWireTap(TUDPEndpoint::TOnWire tap);

    // --- Operations -------------------------------------------------------
    // Asks the host at hostAddress (dotted IPv4 or a host name) to admit
    // this program; the answer comes as OnConnectionSuccess or
    // OnConnectionFailed.
    void Connect(const std::string& hostAddress);
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
    int ContactCount() const { return static_cast<int>(FContacts.size()); }
    // The outsider contact "Dummy" for an index out of range.
    TpContact Contacts(int index) const;
    // Index of the first contact with exactly this address, -1 if none.
    int IndexOfAddress(const std::string& address) const;
    // Appends a contact; returns its index (always the last).
    int AddContact(const std::string& name, const std::string& address, int32_t tavloNumber);
    // Takes the contact out of the table and out of every pending message's
    // addressees.  Nothing for an index out of range.
    void DeleteContact(int index);
    // Takes the contact out of the table only; pending messages still list it.
    void RemoveContact(const TpContact& contact);

    // Tracked messages not yet freed (settled ones of the written protocol
    // go at the next tick), counted once however many peers they wait for.
    int PendingCount() const;

    // --- Entry points of the socket and the timer -------------------------
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
    using TpQMsg = std::shared_ptr<TQMsg>;
    class EndpointUse;
    // What waits to be handled, in the order it happened.
    struct TReceived {
        enum class What {
            Message,          // msg from its sender
            Admission,        // the host admitted contact with the request msg
            Settled,          // contact acknowledged the numbered message msg
            GivenUp,          // contact fell silent, owing the messages owed
            RequestUnanswered // the connect request msg was never answered
        };
        TReceived(What w, TpQMsg m, TpContact c = nullptr)
            : what(w), msg(std::move(m)), contact(std::move(c)) {}
        // A message that came with a trailer; its acknowledgement went out.
        static TReceived Linked(TpQMsg m) {
            TReceived received(What::Message, std::move(m));
            received.acknowledged = true;
            received.linked = true;
            return received;
        }

        What what;
        TpQMsg msg;
        TpContact contact;
        bool acknowledged = false;      // a Message whose acknowledgement went out
        bool linked = false;            // a Message that came with a trailer
        std::vector<TpQMsg> owed;       // GivenUp
        std::vector<TpContact> members; // Admission: those present when admitted
    };
    // The extension's state towards one contact that announced it.
    struct TLinkEntry {
        TpContact contact; // in the table, or (a joiner's host) soon to be
        std::unique_ptr<TPeerLink> link;
        // Out of the table after our leave notice: it only finishes
        // delivering what it owes, and hands nothing on.
        bool departing = false;
    };
    // A connect request waiting for its reply, while Reliable is on.
    struct THandshake {
        TpQMsg request;
        std::string host; // as given to Connect
        TLinkTime nextTry;
        TLinkTime deadline;
    };

    // Sending.
    TpQMsg MakeMsg(int kind) const;
    void Post(const TpQMsg& msg, TSendMode mode, bool wantAck);
    void Dispatch(const TpQMsg& msg, bool wantAck);
    void Address(TQMsg& msg, TSendMode mode);
    void Transmit(TQMsg& msg);
    void SendBytes(const std::string& address, const std::string& bytes);
    void Acknowledge(int kind);
    void AcknowledgeAtReceipt(TReceived& received);
    void AcknowledgeTo(const std::string& address, int kind);

    // Receiving.
    std::unique_ptr<TQMsg> Reassemble(std::string_view bytes, const std::string& fromIP);
    void Receive(std::unique_ptr<TQMsg> msg);
    void ReceiveWritten(std::unique_ptr<TQMsg> msg);
    void ReceiveLinked(std::unique_ptr<TQMsg> msg, const TLinkTrailer& trailer);
    void ReceiveOnLink(TLinkEntry& entry, std::unique_ptr<TQMsg> msg, const TLinkTrailer& trailer);
    void HandOn(TLinkEntry& entry, std::unique_ptr<TQMsg> msg, const TLinkTrailer& trailer);
    void AcknowledgeOnly(TLinkEntry& entry, std::unique_ptr<TQMsg> msg,
                         const TLinkTrailer& trailer);
    void Queue(TReceived received);
    void ProcessIncoming();
    void Handle(TReceived& received);
    void Process(const TQMsg& msg, bool acknowledged, bool linked);
    bool AcksWaiting() const;
    void AdmitAtReceipt(std::unique_ptr<TQMsg> request, const TLinkTrailer* offer);
    void Refuse(const std::string& address, int reason, bool offered);
    void Announce(const std::string& name, const std::string& address, int flag,
                  uint32_t memberSession, const std::vector<TpContact>& recipients);
    void Admitted(TReceived& admission);
    void IntroduceMembers(const TpContact& joiner, const std::vector<TpContact>& members);
    void ConnectReplied(const TQMsg& reply);
    void PeerAnnounced(const TQMsg& info, bool linked);
    void PeerLeft(const TQMsg& notice);
    void MatchAck(const TQMsg& ack);
    void Settled(const TpQMsg& msg, const TpContact& contact);
    void EmptyTableAfterLeaving();

    // The extension.
    TLinkEntry* LinkOf(const TpContact& contact);
    const TLinkEntry* LinkOf(const TpContact& contact) const;
    TLinkEntry* LinkFrom(const std::string& address, uint32_t session);
    TpContact LinkedOutsideTable(const std::string& address) const;
    TLinkEntry& MakeLink(const TpContact& contact, uint32_t peerSession);
    void LinkAnnounced(const TpContact& member, uint32_t session);
    void DropLink(const TpContact& contact);
    void DropAllLinks();
    void SendLinked(const TpContact& contact, const TpQMsg& msg, bool wantAck);
    void SendDue(TLinkEntry& entry, TLinkTime now);
    void SendOnLink(TLinkEntry& entry, const TQMsg& msg, uint8_t flags, uint32_t sequence);
    void SendLinkAck(TLinkEntry& entry);
    void ReplyAtReceipt(std::unique_ptr<TQMsg> reply, const TLinkTrailer& trailer);
    void FellSilent(const TpContact& contact, const std::vector<TpQMsg>& owed);
    void StartHandshake(const TpQMsg& request, const std::string& host);
    void SendRequest(const TQMsg& request, const std::string& host);
    TpQMsg TakeHandshake();
    TMillis HandshakeInterval() const;
    void LinkTickHandshakes(TLinkTime now);
    void LinkTickPeers(TLinkTime now);

    // Pending messages.
    void Unlink(const TpQMsg& msg);
    bool Examine(const TpQMsg& msg);
    void GiveUp(const TQMsg& msg, const TpContact& contact);
    void StrikeFromPending(const TpContact& contact);
    int IndexOfContact(const TpContact& contact) const;

    void OpenEndpoint();
    void CloseEndpoint();

    int FMaxConnections = 0;
    std::string FClientName;
    int32_t FTavloNumber = 0;
    uint32_t FTimeout = kDefaultTimeout;
    uint32_t FPacketRetries = 0;
    int FPort = 0;
    std::string FLocalAddress = "0.0.0.0";
    std::string FOwnVersion;
    bool FEnabled = false;
    bool FReliable = true;
    TLinkTiming FTiming;
    uint32_t FSession = 0;
    TFaultSettings FFaults;
    TUDPEndpoint::TOnWire FWireTap;

    std::vector<TpContact> FContacts;
    TpContact FOutsider;
    int FSelected = 0;      // target of smSelected; -1 selects the outsider
    int FLastTarget = 0;    // target of smLastTarget
    int FCurrentSender = 0; // sender of the message being handled; -1 the outsider
    int FExpectedPeers = 0; // on a joiner: the other members the host announced

    std::unique_ptr<TQMsg> FPartial;  // a message still waiting for datagrams
    std::unique_ptr<TQMsg> FBuilding; // made by NewMsg, not yet sent
    std::deque<TReceived> FIncoming;
    // Pending messages are shared: FPending, their kind's chain, the links
    // and a tick or acknowledgement that is handling one may each hold it.
    std::deque<TpQMsg> FPending;
    std::array<std::vector<TpQMsg>, kMessageKinds> FAckTable; // per kind, oldest first
    std::size_t FTickBatch = 0;
    bool FBusy = false;
    bool FTicking = false;
    bool FLinkTicking = false;
    std::list<TLinkEntry> FLinks; // entries stay put while others come and go
    std::vector<THandshake> FHandshakes;

    std::unique_ptr<TUDPEndpoint> FEndpoint;
    // Endpoints closed while one of their calls was still running; released
    // from the event loop once none runs.
    std::vector<std::unique_ptr<TUDPEndpoint>> FRetired;
    int FEndpointUse = 0;
    std::unique_ptr<QTimer> FTimer;
    std::unique_ptr<QTimer> FLinkTimer;
};
