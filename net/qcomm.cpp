#include "qcomm.h"

#include "file_version.h"
#include "udp_endpoint.h"

#include <QTimer>
#include <algorithm>
#include <climits>
#include <exception>
#include <random>
#include <set>

namespace {

// The running program's version cannot change while it runs.
const std::string& RunningVersion() {
    static const std::string version = OwnFileVersion();
    return version;
}

constexpr int kAccept = -2;     // a verdict that is not a refusal reason
constexpr int kLinkTickMs = 20; // the extension's timer: fine beside the shortest time-out

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

// A number that tells this program's datagrams from those of its earlier
// sessions and of other programs; never 0, which a trailer may not carry.
uint32_t NewSession() {
    static std::mt19937 generator(
        std::random_device{}() ^
        static_cast<uint32_t>(TLinkClock::now().time_since_epoch().count()));
    uint32_t session = 0;
    while (session == 0)
        session = generator();
    return session;
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
    : FOwnVersion(RunningVersion()), FSession(NewSession()),
      FFaults(TFaultSettings::FromEnvironment()),
      FOutsider(std::make_shared<TContact>(TContact{kOutsiderName, "", 0})),
      FTimer(std::make_unique<QTimer>()), FLinkTimer(std::make_unique<QTimer>()) {
    FTimer->setInterval(static_cast<int>(kDefaultTimeout));
    QObject::connect(FTimer.get(), &QTimer::timeout, FTimer.get(), [this] { TimerTick(); });
    FLinkTimer->setInterval(kLinkTickMs);
    QObject::connect(FLinkTimer.get(), &QTimer::timeout, FLinkTimer.get(), [this] { LinkTick(); });
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
        // Nobody will be here to send a tracked one again, so it goes
        // untracked: the written protocol's peers see the same bytes, and
        // the others get it several times over.
        Disconnect(false);
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
    if (enabled && !FEnabled)
        FSession = NewSession();
    FEnabled = enabled;
    if (enabled) {
        FTimer->start();
        FLinkTimer->start();
        return;
    }
    FTimer->stop();
    FLinkTimer->stop();
    if (!FEndpoint)
        return;
    try {
        Disconnect(false);
    } catch (...) {
        DropAllLinks();
        CloseEndpoint();
        throw;
    }
    DropAllLinks();
    CloseEndpoint();
}

void TQComm::setFaults(const TFaultSettings& settings) {
    FFaults = settings;
    if (FEndpoint)
        FEndpoint->setFaults(settings);
}

void TQComm::setWireTap(TUDPEndpoint::TOnWire tap) {
    FWireTap = std::move(tap);
    if (FEndpoint)
        FEndpoint->OnWire = FWireTap;
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
    FEndpoint->OnWire = FWireTap;
    FEndpoint->setFaults(FFaults);
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

int TQComm::PendingCount() const {
    std::set<const TQMsg*> pending;
    for (const TpQMsg& msg : FPending)
        pending.insert(msg.get());
    for (const THandshake& h : FHandshakes)
        if (!h.request->Recipients.empty())
            pending.insert(h.request.get());
    for (const TLinkEntry& entry : FLinks)
        for (const TpQMsg& msg : entry.link->Unacknowledged())
            pending.insert(msg.get());
    return static_cast<int>(pending.size());
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
    DropLink(gone);
}

void TQComm::RemoveContact(const TpContact& contact) {
    const int index = IndexOfContact(contact);
    if (index < 0)
        return;
    FContacts.erase(FContacts.begin() + index);
    DropLink(contact); // what it still owed is not sent again
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
    if (!FReliable) {
        Post(request, smSelected, true);
        return;
    }
    Address(*request, smSelected);
    StartHandshake(request, hostAddress);
}

void TQComm::Disconnect(bool wantAck) {
    Post(MakeMsg(mtDisconnect), smAll, wantAck);
}

void TQComm::Post(const TpQMsg& msg, TSendMode mode, bool wantAck) {
    Address(*msg, mode);
    Dispatch(msg, wantAck);
}

// Each addressee as it speaks: a peer that announced the extension gets the
// message numbered, with a trailer; the others get it as the written
// protocol has it, pending in FPending and its kind's chain when tracked.
void TQComm::Dispatch(const TpQMsg& msg, bool wantAck) {
    std::vector<TpContact> linked;
    std::erase_if(msg->Recipients, [&](const TpContact& contact) {
        if (!LinkOf(contact))
            return false;
        linked.push_back(contact);
        return true;
    });
    if (!msg->Recipients.empty()) {
        if (wantAck) {
            FAckTable[msg->MsgType & 0xFF].push_back(msg);
            FPending.push_back(msg);
        }
        Transmit(*msg);
    }
    for (const TpContact& contact : linked)
        SendLinked(contact, msg, wantAck);
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

void TQComm::SendBytes(const std::string& address, const std::string& bytes) {
    if (!FEndpoint)
        return;
    EndpointUse use(*this);
    TUDPEndpoint& endpoint = *FEndpoint;
    TMemoryStream datagram(bytes);
    endpoint.setRemoteHost(address);
    endpoint.SendStream(datagram);
}

void TQComm::Acknowledge(int kind) {
    const TpQMsg ack = MakeMsg(mtAck);
    ack->AddInt(kind);
    Post(ack, smSender, false);
}

// Straight to the sender's address, leaving alone the sender and the
// outsider of a message still being handled.
void TQComm::AcknowledgeTo(const std::string& address, int kind) {
    TQMsg ack;
    ack.MsgType = mtAck;
    ack.AddInt(kind);
    SendBytes(address, ack.Encode());
}

// --- Receiving -----------------------------------------------------------

void TQComm::HandleDatagram(std::string_view bytes, const std::string& fromIP, int sourcePort) {
    if (sourcePort != FPort)
        return;
    std::unique_ptr<TQMsg> msg = Reassemble(bytes, fromIP);
    if (!msg)
        return;
    // A message whose acknowledgement or answer could not be sent is still
    // handled; its sender will see it as lost.
    std::exception_ptr sendFailure;
    try {
        Receive(std::move(msg));
    } catch (...) {
        sendFailure = std::current_exception();
    }
    ProcessIncoming();
    if (sendFailure)
        std::rethrow_exception(sendFailure);
}

// Adds a datagram to the message being received; the message once it is
// complete.  A message continues only with the next datagram from the same
// address, and one that does not decode is dropped whole.
std::unique_ptr<TQMsg> TQComm::Reassemble(std::string_view bytes, const std::string& fromIP) {
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
        return nullptr;
    }
    if (FPartial->TotalLength() == 0) { // not even a header
        FPartial.reset();
        return nullptr;
    }
    if (missing > 0)
        return nullptr;
    return std::move(FPartial); // bytes beyond the declared length are dropped
}

// What must happen at once: acknowledgements, the answer to a connect
// request, the bookkeeping of the extension.  The rest waits in FIncoming.
void TQComm::Receive(std::unique_ptr<TQMsg> msg) {
    TLinkTrailer trailer;
    if (FReliable && msg->ItemCount() > 0 &&
        DecodeTrailer(msg->StrAt(msg->ItemCount() - 1), trailer)) {
        msg->RemoveLastItem();
        ReceiveLinked(std::move(msg), trailer);
    } else {
        ReceiveWritten(std::move(msg));
    }
}

void TQComm::ReceiveWritten(std::unique_ptr<TQMsg> msg) {
    const int kind = msg->MsgType;
    if (kind == mtConnectRequest) {
        AdmitAtReceipt(std::move(msg), nullptr);
        return;
    }
    TpQMsg request;
    if (FReliable && kind == mtConnectReply) {
        request = TakeHandshake();
        if (!request) { // nobody asked: a repeated or stray reply
            AcknowledgeTo(msg->FromAddress, kind);
            return;
        }
        // The reply is the answer the request waited for.
        request->Recipients.clear();
        Unlink(request);
    } else if (FReliable && kind == mtAck && msg->IntAt(0) == mtConnectRequest) {
        TakeHandshake(); // the host has it; MatchAck settles it in its turn
    }
    Queue({TReceived::What::Message, std::move(msg)});
    TReceived& received = FIncoming.back();
    if (request)
        Queue({TReceived::What::Settled, request, FOutsider});
    AcknowledgeAtReceipt(received);
}

void TQComm::AcknowledgeAtReceipt(TReceived& received) {
    const TQMsg& msg = *received.msg;
    if (msg.MsgType == mtAck)
        return;
    received.acknowledged = true;
    AcknowledgeTo(msg.FromAddress, msg.MsgType);
}

void TQComm::Queue(TReceived received) {
    FIncoming.push_back(std::move(received));
}

void TQComm::ProcessIncoming() {
    if (FBusy)
        return; // the running instance takes the new messages too
    FBusy = true;
    try {
        while (!FIncoming.empty()) {
            TReceived received = std::move(FIncoming.front());
            FIncoming.pop_front();
            Handle(received);
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

void TQComm::Handle(TReceived& received) {
    switch (received.what) {
    case TReceived::What::Message:
        Process(*received.msg, received.acknowledged, received.linked);
        break;
    case TReceived::What::Admission:
        Admitted(received);
        break;
    case TReceived::What::Settled:
        Settled(received.msg, received.contact);
        break;
    case TReceived::What::GivenUp:
        FellSilent(received.contact, received.owed);
        break;
    case TReceived::What::RequestUnanswered:
        if (OnTimeout)
            OnTimeout(*received.msg, FOutsider);
        if (OnConnectionFailed)
            OnConnectionFailed(FOutsider, kReasonNoAnswer);
        break;
    }
}

void TQComm::Process(const TQMsg& msg, bool acknowledged, bool linked) {
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
        PeerAnnounced(msg, linked);
        break;
    case mtConnectReply:
        ConnectReplied(msg);
        break;
    case mtConnectRequest:
        break; // admitted or refused at receipt
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

// Decided, answered and (in the written protocol) acknowledged at once,
// whatever handler may be running: a joiner must not wait for it.
// OnNewClient and the introductions follow in the joiner's turn.
void TQComm::AdmitAtReceipt(std::unique_ptr<TQMsg> requestIn, const TLinkTrailer* offer) {
    const TpQMsg request(std::move(requestIn));
    const std::string address = request->FromAddress;
    const int present = ContactCount();
    int verdict = present < FMaxConnections || IndexOfAddress(address) >= 0 ? kAccept : kReasonFull;
    if (FOwnVersion != request->StrAt(2))
        verdict = kReasonVersion;
    if (verdict != kAccept) {
        Refuse(address, verdict, offer != nullptr);
        return;
    }

    // Everyone present hears of the joiner, the joiner too when its address
    // is already in the table.
    const std::vector<TpContact> members = FContacts;
    Announce(request->StrAt(0), address, kJustJoined, offer ? offer->session : 0, members);

    // Looked up again: a send may run the event loop, and handlers the table.
    int index = IndexOfAddress(address);
    if (index < 0)
        index = AddContact(request->StrAt(0), address, request->IntAt(3));
    const TpContact joiner = FContacts[index];
    DropLink(joiner); // a joiner known before starts afresh
    if (offer)
        MakeLink(joiner, offer->session);
    TReceived admission{TReceived::What::Admission, request, joiner};
    std::copy_if(members.begin(), members.end(), std::back_inserter(admission.members),
                 [&](const TpContact& member) { return member != joiner; });
    Queue(std::move(admission));

    const TpQMsg reply = MakeMsg(mtConnectReply);
    reply->AddInt(kReplyAccepted);
    reply->AddInt(present);
    reply->AddStr(FClientName);
    reply->Recipients.push_back(joiner);
    Dispatch(reply, true);
    if (!offer)
        AcknowledgeTo(address, mtConnectRequest);
}

void TQComm::Refuse(const std::string& address, int reason, bool offered) {
    TQMsg reply;
    reply.MsgType = mtConnectReply;
    reply.AddInt(0);
    reply.AddInt(reason);
    reply.AddStr("");
    if (offered) {
        // Its repeats are refused again; no acknowledgement is needed.
        SendBytes(address, reply.EncodeWithTrailer(EncodeTrailer({kTrailerOffer, FSession})));
        return;
    }
    SendBytes(address, reply.Encode());
    AcknowledgeTo(address, mtConnectRequest);
}

// A peer announcement, tracked, to each recipient as it speaks: those of
// the extension also learn the member's session (0: the member speaks only
// the written protocol).
void TQComm::Announce(const std::string& name, const std::string& address, int flag,
                      uint32_t memberSession, const std::vector<TpContact>& recipients) {
    const TpQMsg written = MakeMsg(mtPeerInfo);
    const TpQMsg extended = MakeMsg(mtPeerInfo);
    for (const TpQMsg& msg : {written, extended}) {
        msg->AddStr(name);
        msg->AddStr(address);
        msg->AddInt(flag);
    }
    extended->AddInt(static_cast<int32_t>(memberSession));
    for (const TpContact& recipient : recipients)
        (LinkOf(recipient) ? extended : written)->Recipients.push_back(recipient);
    Dispatch(written, true);
    Dispatch(extended, true);
}

void TQComm::Admitted(TReceived& admission) {
    const TpContact& joiner = admission.contact;
    FSelected = IndexOfContact(joiner);
    if (FSelected < 0)
        return; // gone before its turn came
    FCurrentSender = FSelected;
    FLastTarget = FSelected;
    if (OnNewClient)
        OnNewClient(*admission.msg, joiner);
    IntroduceMembers(joiner, admission.members);
}

// Tells the joiner about the members that were present when it was
// admitted and still are; a later joiner announces itself to it.
void TQComm::IntroduceMembers(const TpContact& joiner, const std::vector<TpContact>& members) {
    for (const TpContact& member : members) {
        if (IndexOfContact(joiner) < 0)
            return; // the joiner is gone already
        if (IndexOfContact(member) < 0)
            continue;
        const TLinkEntry* entry = LinkOf(member);
        Announce(member->Name, member->Address, kAlreadyPresent,
                 entry ? entry->link->PeerSession() : 0, {joiner});
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
    // A host of the extension got its record when its reply arrived.
    if (const TpContact host = LinkedOutsideTable(reply.FromAddress))
        FContacts.push_back(host);
    else
        AddContact(reply.StrAt(2), reply.FromAddress, 0);
    if (FExpectedPeers == 0 && OnConnected)
        OnConnected();
    if (OnConnectionSuccess)
        OnConnectionSuccess();
}

void TQComm::PeerAnnounced(const TQMsg& info, bool linked) {
    const TpContact member = FContacts[AddContact(info.StrAt(0), info.StrAt(1), 0)];
    if (linked)
        LinkAnnounced(member, static_cast<uint32_t>(info.IntAt(3)));
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

// An acknowledgement of the written protocol names only a kind: it settles
// the oldest pending message of that kind that still waits for the sender
// (or for the outsider, which stands for a host that was not yet in the
// table when it was asked).
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
    Settled(settled, taken);
}

// A contact acknowledged a message: a leave notice once acknowledged by
// anyone leaves nobody to talk to.
void TQComm::Settled(const TpQMsg& msg, const TpContact& contact) {
    if (contact != FOutsider && IndexOfContact(contact) < 0)
        return; // deleted meanwhile: it is no longer waited for
    if (msg->MsgType == mtDisconnect)
        EmptyTableAfterLeaving();
    if (OnGotAck)
        OnGotAck(*msg, contact);
}

// Everyone has been told; those of the extension who have not acknowledged
// the leave notice yet keep their links, outside the table, until they do
// or fall silent: one acknowledgement must not cost the others the notice.
void TQComm::EmptyTableAfterLeaving() {
    while (ContactCount() > 0) {
        const TpContact gone = FContacts.back();
        FContacts.pop_back();
        StrikeFromPending(gone);
        TLinkEntry* entry = LinkOf(gone);
        if (entry && !entry->link->Unacknowledged().empty())
            entry->departing = true;
        else
            DropLink(gone);
    }
}

// --- The retry timer -----------------------------------------------------

void TQComm::Unlink(const TpQMsg& msg) {
    std::erase(FAckTable[msg->MsgType & 0xFF], msg);
}

bool TQComm::AcksWaiting() const {
    return std::any_of(FIncoming.begin(), FIncoming.end(), [](const TReceived& r) {
        return r.what == TReceived::What::Message && r.msg->MsgType == mtAck;
    });
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
