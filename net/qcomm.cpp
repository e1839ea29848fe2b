#include "qcomm.h"

#include "file_version.h"
#include "udp_endpoint.h"

#include <QTimer>
#include <algorithm>
#include <climits>
#include <exception>

namespace {

// The running program's version cannot change while it runs.
const std::string& RunningVersion() {
    static const std::string version = OwnFileVersion();
    return version;
}

constexpr int kAccept = -2; // a verdict that is not a refusal reason
constexpr int kReplyAccepted = 1;
constexpr int kJustJoined = 1;
constexpr int kAlreadyPresent = 0;

bool Lists(const TQMsg& msg, const TpContact& contact) {
    return std::find(msg.Recipients.begin(), msg.Recipients.end(), contact) != msg.Recipients.end();
}

// Takes the first occurrence of contact out of the addressees.
bool TakeRecipient(TQMsg& msg, const TpContact& contact) {
    const auto it = std::find(msg.Recipients.begin(), msg.Recipients.end(), contact);
    if (it == msg.Recipients.end())
        return false;
    msg.Recipients.erase(it);
    return true;
}

} // namespace

// Counts the calls that may have an endpoint on the stack (a receive
// notification, a send that looks a host name up), so that an endpoint
// closed meanwhile is released only after they have returned.
class TQComm::EndpointUse {
  public:
    explicit EndpointUse(TQComm& comm) : comm_(comm) { ++comm_.FEndpointUse; }
    ~EndpointUse() {
        if (--comm_.FEndpointUse > 0 || comm_.FRetired.empty())
            return;
        TQComm* comm = &comm_;
        QTimer::singleShot(0, comm->FTimer.get(), [comm] {
            if (comm->FEndpointUse == 0)
                comm->FRetired.clear();
        });
    }
    EndpointUse(const EndpointUse&) = delete;
    EndpointUse& operator=(const EndpointUse&) = delete;

  private:
    TQComm& comm_;
};

TQComm::TQComm()
    : FOwnVersion(RunningVersion()),
      FOutsider(std::make_shared<TContact>(TContact{kOutsiderName, "", 0})),
      FTimer(std::make_unique<QTimer>()) {
    FTimer->setInterval(static_cast<int>(kDefaultTimeout));
    QObject::connect(FTimer.get(), &QTimer::timeout, FTimer.get(), [this] { TimerTick(); });
}

TQComm::~TQComm() {
    OnGotAck = nullptr;
    OnGotMsg = nullptr;
    OnConnectionFailed = nullptr;
    OnConnectionSuccess = nullptr;
    OnConnected = nullptr;
    OnNewClient = nullptr;
    OnTimeout = nullptr;
    OnClientDisconnection = nullptr;
    try {
        Disconnect(true);
    } catch (const std::exception&) {
        // Nobody is left to tell; the peers will time us out.
    }
}

// --- Properties ----------------------------------------------------------

void TQComm::setTimeout(uint32_t ms) {
    FTimeout = ms;
    const uint32_t interval = ms == 0 ? kIdleTickInterval : std::min<uint32_t>(ms, INT_MAX);
    FTimer->setInterval(static_cast<int>(interval));
}

void TQComm::setPort(int port) {
    FPort = port;
    if (FEndpoint) {
        FEndpoint->setLocalPort(port);
        FEndpoint->setRemotePort(port);
    }
}

void TQComm::setLocalAddress(const std::string& address) {
    FLocalAddress = address;
    if (FEndpoint) {
        FEndpoint->setLocalAddress(address);
        FEndpoint->setLocalPort(FPort);
    }
}

void TQComm::setEnabled(bool enabled) {
    if (enabled && !FEndpoint)
        OpenEndpoint();
    FEnabled = enabled;
    if (enabled) {
        FTimer->start();
        return;
    }
    FTimer->stop();
    if (!FEndpoint)
        return;
    try {
        Disconnect(false);
    } catch (...) {
        CloseEndpoint();
        throw;
    }
    CloseEndpoint();
}

void TQComm::OpenEndpoint() {
    FEndpoint = std::make_unique<TUDPEndpoint>();
    FEndpoint->OnDataReceived = [this](TUDPEndpoint& sender, int, const std::string& fromIP,
                                       int sourcePort) {
        EndpointUse use(*this);
        TMemoryStream datagram;
        sender.ReadStream(datagram);
        HandleDatagram(datagram.Bytes(), fromIP, sourcePort);
    };
    FEndpoint->setLocalAddress(FLocalAddress);
    FEndpoint->setLocalPort(FPort);
    FEndpoint->setRemotePort(FPort);
}

void TQComm::CloseEndpoint() {
    FPartial.reset();
    FEndpoint->Close();
    if (FEndpointUse > 0)
        FRetired.push_back(std::move(FEndpoint));
    else
        FEndpoint.reset();
}

// --- Contacts ------------------------------------------------------------

TpContact TQComm::Contacts(int index) const {
    return index >= 0 && index < ContactCount() ? FContacts[index] : FOutsider;
}

int TQComm::IndexOfAddress(const std::string& address) const {
    for (int i = 0; i < ContactCount(); ++i)
        if (FContacts[i]->Address == address)
            return i;
    return -1;
}

int TQComm::IndexOfContact(const TpContact& contact) const {
    const auto it = std::find(FContacts.begin(), FContacts.end(), contact);
    return it == FContacts.end() ? -1 : static_cast<int>(it - FContacts.begin());
}

int TQComm::AddContact(const std::string& name, const std::string& address, int32_t tavloNumber) {
    FContacts.push_back(std::make_shared<TContact>(TContact{name, address, tavloNumber}));
    return ContactCount() - 1;
}

void TQComm::DeleteContact(int index) {
    if (index < 0 || index >= ContactCount())
        return;
    const TpContact gone = FContacts[index];
    FContacts.erase(FContacts.begin() + index);
    StrikeFromPending(gone);
}

void TQComm::RemoveContact(const TpContact& contact) {
    const int index = IndexOfContact(contact);
    if (index >= 0)
        FContacts.erase(FContacts.begin() + index);
}

// A deleted contact will never acknowledge: no pending message waits for it
// any more, and a message left without addressees is settled.
void TQComm::StrikeFromPending(const TpContact& contact) {
    for (auto& chain : FAckTable) {
        const std::vector<TpQMsg> waiting = chain;
        for (const TpQMsg& msg : waiting) {
            std::erase(msg->Recipients, contact);
            if (msg->Recipients.empty())
                Unlink(msg);
        }
    }
}

// --- Sending -------------------------------------------------------------

TQComm::TpQMsg TQComm::MakeMsg(int kind) const {
    auto msg = std::make_shared<TQMsg>(FEndpoint.get());
    msg->MsgType = kind;
    return msg;
}

TQMsg& TQComm::NewMsg(int kind) {
    FBuilding = std::make_unique<TQMsg>(FEndpoint.get());
    FBuilding->MsgType = kind;
    return *FBuilding;
}

void TQComm::SendMsg(TSendMode mode, bool wantAck) {
    if (!FBuilding)
        return;
    // Taken at once: a handler run during the send may start its own message.
    Post(TpQMsg(std::move(FBuilding)), mode, wantAck);
}

void TQComm::Connect(const std::string& hostAddress) {
    const TpQMsg request = MakeMsg(mtConnectRequest);
    request->AddStr(FClientName);
    request->AddInt(FPort);
    request->AddStr(FOwnVersion);
    request->AddInt(FTavloNumber);
    FOutsider->Address = hostAddress;
    FSelected = -1;
    Post(request, smSelected, true);
}

void TQComm::Disconnect(bool wantAck) {
    Post(MakeMsg(mtDisconnect), smAll, wantAck);
}

void TQComm::Post(const TpQMsg& msg, TSendMode mode, bool wantAck) {
    Address(*msg, mode);
    if (msg->Recipients.empty())
        return;
    if (wantAck) {
        FAckTable[msg->MsgType & 0xFF].push_back(msg);
        FPending.push_back(msg);
    }
    Transmit(*msg);
}

void TQComm::Address(TQMsg& msg, TSendMode mode) {
    if (mode == smResend)
        return;
    if (mode == smAll) {
        msg.Recipients.insert(msg.Recipients.end(), FContacts.begin(), FContacts.end());
        FLastTarget = ContactCount() - 1;
        return;
    }
    const int index = mode == smSender       ? FCurrentSender
                      : mode == smLastTarget ? FLastTarget
                      : mode == smSelected   ? FSelected
                                             : 0;
    FLastTarget = index;
    msg.Recipients.push_back(Contacts(index));
}

void TQComm::Transmit(TQMsg& msg) {
    EndpointUse use(*this);
    msg.Endpoint = FEndpoint.get(); // the endpoint may have changed since NewMsg
    msg.Send();
}

void TQComm::Acknowledge(int kind) {
    const TpQMsg ack = MakeMsg(mtAck);
    ack->AddInt(kind);
    Post(ack, smSender, false);
}

// --- Receiving -----------------------------------------------------------

void TQComm::HandleDatagram(std::string_view bytes, const std::string& fromIP, int sourcePort) {
    if (sourcePort != FPort || !Reassemble(bytes, fromIP))
        return;
    // A message whose acknowledgement could not be sent is still handled;
    // its sender will see it as lost.
    std::exception_ptr ackFailure;
    try {
        AcknowledgeAtReceipt(FIncoming.back());
    } catch (...) {
        ackFailure = std::current_exception();
    }
    ProcessIncoming();
    if (ackFailure)
        std::rethrow_exception(ackFailure);
}

// The acknowledgement goes straight to the sender's address, leaving alone
// the sender and the outsider of a message still being handled.
void TQComm::AcknowledgeAtReceipt(TReceived& received) {
    const TQMsg& msg = *received.msg;
    if (msg.MsgType == mtAck || msg.MsgType == mtConnectRequest)
        return; // a connect request is acknowledged after its reply
    received.acknowledged = true;
    const int index = IndexOfAddress(msg.FromAddress);
    const TpContact sender =
        index >= 0 ? FContacts[index]
                   : std::make_shared<TContact>(TContact{kOutsiderName, msg.FromAddress, 0});
    TQMsg ack;
    ack.MsgType = mtAck;
    ack.AddInt(msg.MsgType);
    ack.Recipients.push_back(sender);
    Transmit(ack);
}

// Adds a datagram to the message being received; true when that message is
// complete and queued.  A message continues only with the next datagram from
// the same address, and one that does not decode is dropped whole.
bool TQComm::Reassemble(std::string_view bytes, const std::string& fromIP) {
    if (FPartial && FPartial->FromAddress != fromIP)
        FPartial.reset();
    if (!FPartial) {
        FPartial = std::make_unique<TQMsg>();
        FPartial->FromAddress = fromIP;
    }
    FPartial->AppendReceived(bytes);
    int missing = 0;
    try {
        missing = FPartial->Decode(false);
    } catch (const DatagramError&) {
        FPartial.reset();
        return false;
    }
    if (FPartial->TotalLength() == 0) { // not even a header
        FPartial.reset();
        return false;
    }
    if (missing > 0)
        return false;
    FIncoming.push_back(
        {std::move(FPartial), false}); // bytes beyond the declared length are dropped
    return true;
}

void TQComm::ProcessIncoming() {
    if (FBusy)
        return; // the running instance takes the new messages too
    FBusy = true;
    try {
        while (!FIncoming.empty()) {
            const TReceived received = std::move(FIncoming.front());
            FIncoming.pop_front();
            Process(*received.msg, received.acknowledged);
        }
    } catch (...) {
        FBusy = false;
        // The rest of the queue is taken up from the event loop.
        if (!FIncoming.empty())
            QTimer::singleShot(0, FTimer.get(), [this] { ProcessIncoming(); });
        throw;
    }
    FBusy = false;
}

void TQComm::Process(const TQMsg& msg, bool acknowledged) {
    if (msg.MsgType == mtConnectRequest)
        AdmitJoiner(msg);
    FCurrentSender = IndexOfAddress(msg.FromAddress);
    if (FCurrentSender < 0)
        FOutsider->Address = msg.FromAddress;
    if (msg.MsgType != mtAck && !acknowledged)
        Acknowledge(msg.MsgType);

    switch (msg.MsgType) {
    case mtDisconnect:
        PeerLeft(msg);
        break;
    case mtPeerInfo:
        PeerAnnounced(msg);
        break;
    case mtConnectReply:
        ConnectReplied(msg);
        break;
    case mtConnectRequest:
        break; // admitted or refused above
    case mtAck:
        MatchAck(msg);
        break;
    default:
        if (OnGotMsg) {
            const TpContact sender = Contacts(FCurrentSender);
            OnGotMsg(msg, sender);
        }
    }
}

// --- The host's side of the handshake ------------------------------------

void TQComm::AdmitJoiner(const TQMsg& request) {
    const std::string& address = request.FromAddress;
    const int present = ContactCount();
    FSelected = IndexOfAddress(address);
    int verdict = present < FMaxConnections || FSelected >= 0 ? kAccept : kReasonFull;
    if (FOwnVersion != request.StrAt(2))
        verdict = kReasonVersion;
    if (verdict != kAccept) {
        Refuse(address, verdict);
        return;
    }

    const TpQMsg announcement = MakeMsg(mtPeerInfo);
    announcement->AddStr(request.StrAt(0));
    announcement->AddStr(address);
    announcement->AddInt(kJustJoined);
    Post(announcement, smAll, true);

    // Looked up again: a send may run the event loop, and handlers the table.
    FSelected = IndexOfAddress(address);
    if (FSelected < 0)
        FSelected = AddContact(request.StrAt(0), address, request.IntAt(3));
    const TpContact joiner = FContacts[FSelected];
    FCurrentSender = FSelected;

    const TpQMsg reply = MakeMsg(mtConnectReply);
    reply->AddInt(kReplyAccepted);
    reply->AddInt(present);
    reply->AddStr(FClientName);
    Post(reply, smSelected, true);

    if (OnNewClient)
        OnNewClient(request, joiner);
    IntroduceMembers(joiner);
}

void TQComm::Refuse(const std::string& address, int reason) {
    FOutsider->Address = address;
    FSelected = -1;
    const TpQMsg reply = MakeMsg(mtConnectReply);
    reply->AddInt(0);
    reply->AddInt(reason);
    reply->AddStr("");
    Post(reply, smSelected, false);
}

// Tells the joiner about every other member, as the table stands after the
// application has seen the joiner.
void TQComm::IntroduceMembers(const TpContact& joiner) {
    const std::vector<TpContact> members = FContacts;
    for (const TpContact& member : members) {
        if (member == joiner)
            continue;
        FSelected = IndexOfContact(joiner);
        if (FSelected < 0)
            return; // the joiner is gone already
        const TpQMsg info = MakeMsg(mtPeerInfo);
        info->AddStr(member->Name);
        info->AddStr(member->Address);
        info->AddInt(kAlreadyPresent);
        Post(info, smSelected, true);
    }
}

// --- The joiner's side and the members' messages -------------------------

void TQComm::ConnectReplied(const TQMsg& reply) {
    if (reply.IntAt(0) != kReplyAccepted) {
        if (OnConnectionFailed)
            OnConnectionFailed(nullptr, reply.IntAt(1));
        Disconnect(false);
        return;
    }
    FExpectedPeers = reply.IntAt(1);
    AddContact(reply.StrAt(2), reply.FromAddress, 0);
    if (FExpectedPeers == 0 && OnConnected)
        OnConnected();
    if (OnConnectionSuccess)
        OnConnectionSuccess();
}

void TQComm::PeerAnnounced(const TQMsg& info) {
    const TpContact member = FContacts[AddContact(info.StrAt(0), info.StrAt(1), 0)];
    if (ContactCount() - 1 >= FExpectedPeers && OnConnected)
        OnConnected();
    if (info.IntAt(2) > 0 && OnNewClient)
        OnNewClient(info, member);
}

void TQComm::PeerLeft(const TQMsg& notice) {
    const int index = IndexOfAddress(notice.FromAddress);
    if (index < 0)
        return;
    const TpContact leaver = FContacts[index];
    if (OnClientDisconnection)
        OnClientDisconnection(leaver, kReasonLeft);
    DeleteContact(IndexOfContact(leaver));
}

// An acknowledgement names only a kind: it settles the oldest pending message
// of that kind that still waits for the sender (or for the outsider, which
// stands for a host that was not yet in the table when it was asked).
void TQComm::MatchAck(const TQMsg& ack) {
    const int kind = ack.IntAt(0);
    if (kind < 0 || kind >= kMessageKinds)
        return;
    const TpContact sender = Contacts(FCurrentSender);
    TpQMsg settled;
    TpContact taken;
    for (const TpQMsg& msg : FAckTable[kind]) {
        if (TakeRecipient(*msg, sender))
            taken = sender;
        else if (TakeRecipient(*msg, FOutsider))
            taken = FOutsider;
        if (taken) {
            settled = msg;
            break;
        }
    }
    if (!settled)
        return;
    if (settled->Recipients.empty())
        Unlink(settled); // freed at the next examination
    if (settled->MsgType == mtDisconnect)
        while (ContactCount() > 0)
            DeleteContact(ContactCount() - 1);
    if (OnGotAck)
        OnGotAck(*settled, taken);
}

// --- The retry timer -----------------------------------------------------

void TQComm::Unlink(const TpQMsg& msg) {
    std::erase(FAckTable[msg->MsgType & 0xFF], msg);
}

bool TQComm::AcksWaiting() const {
    return std::any_of(FIncoming.begin(), FIncoming.end(),
                       [](const TReceived& r) { return r.msg->MsgType == mtAck; });
}

void TQComm::TimerTick() {
    // A tick while a tick's own events run (a nested event loop) is skipped,
    // and so is one that would overlook acknowledgements not yet matched.
    if (FTicking || AcksWaiting())
        return;
    FTicking = true;
    try {
        FTickBatch = std::min(FTickBatch, FPending.size());
        for (std::size_t i = 0; i < FTickBatch && !FPending.empty(); ++i) {
            const TpQMsg msg = FPending.front();
            FPending.pop_front();
            bool keep = true;
            try {
                keep = Examine(msg);
            } catch (...) {
                FPending.push_back(msg);
                throw;
            }
            if (keep)
                FPending.push_back(msg);
        }
        FTickBatch = FPending.size();
    } catch (...) {
        FTicking = false;
        throw;
    }
    FTicking = false;
}

// One examination of a pending message; false when it is done with.
bool TQComm::Examine(const TpQMsg& msg) {
    if (msg->Recipients.empty())
        return false;
    if (FTimeout == 0)
        return true;
    const bool lastChance = msg->SendCount >= FPacketRetries;
    const std::vector<TpContact> overdue = msg->Recipients;
    for (const TpContact& contact : overdue) {
        // Handlers may run the event loop, and acknowledgements come in.
        if (!Lists(*msg, contact))
            continue;
        if (OnTimeout)
            OnTimeout(*msg, contact);
        if (lastChance && Lists(*msg, contact))
            GiveUp(*msg, contact);
    }
    if (!lastChance) {
        Transmit(*msg);
        return true;
    }
    Unlink(msg);
    return false;
}

void TQComm::GiveUp(const TQMsg& msg, const TpContact& contact) {
    if (msg.MsgType == mtConnectRequest) {
        if (OnConnectionFailed)
            OnConnectionFailed(contact, kReasonNoAnswer);
    } else if (OnClientDisconnection) {
        OnClientDisconnection(contact, kReasonTimedOut);
    }
    RemoveContact(contact);
}
