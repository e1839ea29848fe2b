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
// meanwhile).  A connect request is the exception: its reply goes out
// first, then its acknowledgement.  Messages are handled one at a time, in
// the order they arrived.  A message sent with wantAck stays
// pending until each addressee has acknowledged it; the retry timer (every
// Timeout ms) reports an overdue addressee with OnTimeout, sends again while
// PacketRetries allows, and then gives the addressee up: it leaves the
// table, with OnClientDisconnection and kReasonTimedOut (OnConnectionFailed
// and kReasonNoAnswer for a connect request).  Kinds 0..250 are the game's
// and arrive as OnGotMsg; 251..255 are this component's own (wire_format.h).
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
#include "qmsg.h"
#include "wire_format.h"

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QTimer;
class TUDPEndpoint;

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
    // Sends a tracked leave notice to every contact (without raising any
    // more events), then releases everything.
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
    // Enabled: the socket is open and the retry timer runs.  Disabling sends
    // an untracked leave notice and closes the socket; the contacts and the
    // pending messages stay.
    bool Enabled() const { return FEnabled; }
    void setEnabled(bool enabled);

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

    // Tracked messages not yet freed (settled ones go at the next tick).
    int PendingCount() const { return static_cast<int>(FPending.size()); }

    // --- Entry points of the socket and the timer -------------------------
    // Public so that tests and the fuzz target can feed them directly.
    // A datagram as received: ignored unless sourcePort is Port; dropped
    // whole when it does not hold a well-formed message.
    void HandleDatagram(std::string_view bytes, const std::string& fromIP, int sourcePort);
    // One tick of the retry timer.  It examines nothing while received
    // acknowledgements still wait behind a running handler: they may settle
    // the very messages it would give up.
    void TimerTick();

  private:
    using TpQMsg = std::shared_ptr<TQMsg>;
    class EndpointUse;
    // A complete received message waiting to be handled.
    struct TReceived {
        std::unique_ptr<TQMsg> msg;
        bool acknowledged = false;
    };

    // Sending.
    TpQMsg MakeMsg(int kind) const;
    void Post(const TpQMsg& msg, TSendMode mode, bool wantAck);
    void Address(TQMsg& msg, TSendMode mode);
    void Transmit(TQMsg& msg);
    void Acknowledge(int kind);
    void AcknowledgeAtReceipt(TReceived& received);

    // Receiving.
    bool Reassemble(std::string_view bytes, const std::string& fromIP);
    void ProcessIncoming();
    void Process(const TQMsg& msg, bool acknowledged);
    bool AcksWaiting() const;
    void AdmitJoiner(const TQMsg& request);
    void Refuse(const std::string& address, int reason);
    void IntroduceMembers(const TpContact& joiner);
    void ConnectReplied(const TQMsg& reply);
    void PeerAnnounced(const TQMsg& info);
    void PeerLeft(const TQMsg& notice);
    void MatchAck(const TQMsg& ack);

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

    std::vector<TpContact> FContacts;
    TpContact FOutsider;
    int FSelected = 0;      // target of smSelected; -1 selects the outsider
    int FLastTarget = 0;    // target of smLastTarget
    int FCurrentSender = 0; // sender of the message being handled; -1 the outsider
    int FExpectedPeers = 0; // on a joiner: the other members the host announced

    std::unique_ptr<TQMsg> FPartial;  // a message still waiting for datagrams
    std::unique_ptr<TQMsg> FBuilding; // made by NewMsg, not yet sent
    std::deque<TReceived> FIncoming;
    // Pending messages are shared: FPending, their kind's chain and a tick
    // or acknowledgement that is handling one may each hold it.
    std::deque<TpQMsg> FPending;
    std::array<std::vector<TpQMsg>, kMessageKinds> FAckTable; // per kind, oldest first
    std::size_t FTickBatch = 0;
    bool FBusy = false;
    bool FTicking = false;

    std::unique_ptr<TUDPEndpoint> FEndpoint;
    // Endpoints closed while one of their calls was still running; released
    // from the event loop once none runs.
    std::vector<std::unique_ptr<TUDPEndpoint>> FRetired;
    int FEndpointUse = 0;
    std::unique_ptr<QTimer> FTimer;
};
