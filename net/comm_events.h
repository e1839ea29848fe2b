// The connection manager's events, each raised only when set.  TQComm
// carries them (comm.OnGotMsg = ...); its parts raise them through this.
#pragma once

#include "contact.h"
#include "qmsg.h"

#include <functional>
#include <string>

// aReason of OnConnectionFailed.
inline constexpr int kReasonNoAnswer = -1; // the host never answered (aContact: "Dummy")
inline constexpr int kReasonFull = 0;      // the host is full (aContact: null)
inline constexpr int kReasonVersion = 1;   // the host runs another version (aContact: null)
// aReason of OnClientDisconnection.
inline constexpr int kReasonLeft = 0;     // the contact sent a leave notice
inline constexpr int kReasonTimedOut = 1; // the contact did not acknowledge in time

using TMsgEvent = std::function<void(const TQMsg& aMsg, const TpContact& aContact)>;
// aContact is null for a refusal.
using TDisconnectEvent = std::function<void(const TpContact& aContact, int aReason)>;
using TNotifyEvent = std::function<void()>;
using TErrorEvent = std::function<void(const std::string& text)>;

struct TCommEvents {
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
    // A datagram could not be sent after the call that sent it had
    // returned: a host name (given to Connect, say) did not resolve
    // ("Recherche de l'hôte annulée") or resolved to 0.0.0.0 ("Adresse
    // distante nulle").  Once per datagram.  Without a handler the error is
    // thrown into the event loop as UDPSockError.
    TErrorEvent OnError;
    // A line for the program's log: why a peer was given up ("Gave up Ann
    // at 192.0.2.3: nothing heard from it for 20 s").
    TErrorEvent OnLog;

    void ClearEvents() { *this = TCommEvents{}; }
};
