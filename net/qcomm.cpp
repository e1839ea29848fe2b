#include "qcomm.h"

#include "file_version.h"
#include "qt_environment.h"

#include <exception>
#include <random>
#include <set>

namespace {

constexpr TMillis kLinkTick{20}; // the extension's timer: fine beside the shortest time-out

// The running program's version cannot change while it runs.
const std::string& RunningVersion() {
    static const std::string version = OwnFileVersion();
    return version;
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

TQComm::TQComm() : TQComm(std::make_unique<TQtEnvironment>(), nullptr) {}

TQComm::TQComm(TCommEnvironment& environment) : TQComm(nullptr, &environment) {}

TQComm::TQComm(std::unique_ptr<TCommEnvironment> own, TCommEnvironment* environment)
    : ownEnvironment_(std::move(own)), environment_(environment ? *environment : *ownEnvironment_),
      faults_(TFaultSettings::FromEnvironment()),
      paths_([this](const std::string& address, const std::string& bytes) {
          SendToAddress(address, bytes);
      }),
      links_(settings_, paths_, incoming_, [this] { return environment_.Now(); }),
      outbox_(contacts_, pending_, links_, paths_),
      admission_(settings_, *this, contacts_, pending_, links_, requests_, outbox_, incoming_,
                 [this] { return environment_.Now(); }),
      arrivals_(settings_, contacts_, pending_, links_, requests_, outbox_, admission_, incoming_) {
    settings_.ownVersion = RunningVersion();
    settings_.session = NewSession();
    settings_.keyPair = TLinkKeyPair::Generate();
    links_.SetLog([this](const std::string& line) {
        if (OnLog)
            OnLog(line);
    });
    MakeTimers();
}

TQComm::~TQComm() {
    ClearEvents();
    try {
        // Nobody will be here to send a tracked one again, so it goes
        // untracked: the written protocol's peers see the same bytes, and
        // the others get it several times over.
        Disconnect(false);
    } catch (const std::exception&) {
        // Nobody is left to tell; the peers will time us out.
    }
}

void TQComm::MakeTimers() {
    retryTimer_ = environment_.MakeTimer([this] { TimerTick(); });
    retryTimer_->SetInterval(settings_.TickInterval());
    linkTimer_ = environment_.MakeTimer([this] { LinkTick(); });
    linkTimer_->SetInterval(kLinkTick);
    resume_ = environment_.MakeTimer([this] { ProcessIncoming(); }, true);
    resume_->SetInterval(TMillis(0));
}

// --- Properties ----------------------------------------------------------

void TQComm::setTimeout(uint32_t ms) {
    settings_.timeout = ms;
    retryTimer_->SetInterval(settings_.TickInterval());
}

void TQComm::setPort(int port) {
    settings_.port = port;
    if (socket_)
        socket_->Rebind(settings_.localAddress, port);
}

void TQComm::setLocalAddress(const std::string& address) {
    settings_.localAddress = address;
    if (socket_)
        socket_->Rebind(address, settings_.port);
}

void TQComm::setEnabled(bool enabled) {
    if (enabled && !socket_)
        OpenSocket();
    if (enabled && !enabled_)
        settings_.session = NewSession();
    enabled_ = enabled;
    if (enabled) {
        retryTimer_->Start();
        linkTimer_->Start();
        return;
    }
    retryTimer_->Stop();
    linkTimer_->Stop();
    if (!socket_)
        return;
    try {
        Disconnect(false);
    } catch (...) {
        CloseSocket();
        throw;
    }
    CloseSocket();
}

void TQComm::setFaults(const TFaultSettings& settings) {
    faults_ = settings;
    if (socket_)
        socket_->SetFaults(settings);
}

void TQComm::setWireTap(TUDPEndpoint::TOnWire tap) {
    wireTap_ = std::move(tap);
    if (socket_)
        socket_->SetWireTap(wireTap_);
}

void TQComm::OpenSocket() {
    TSocketEvents events;
    events.received = [this](std::string_view bytes, const std::string& fromIP, int port) {
        HandleDatagram(bytes, fromIP, port);
    };
    events.sendFailed = [this](const std::string& text) { SendFailed(text); };
    socket_ = environment_.OpenSocket(settings_.localAddress, settings_.port, std::move(events));
    socket_->SetWireTap(wireTap_);
    socket_->SetFaults(faults_);
}

// The links and this program's requests end with the session; the written
// protocol's pending messages stay.
void TQComm::CloseSocket() {
    links_.Clear();
    for (const TReceived::TpQMsg& request : requests_.Clear())
        pending_.Unlink(request);
    reassembler_.Reset();
    socket_.reset();
}

void TQComm::SendToAddress(const std::string& address, const std::string& bytes) {
    if (socket_)
        socket_->SendTo(address, settings_.port, bytes);
}

void TQComm::SendFailed(const std::string& text) {
    if (!OnError)
        throw UDPSockError(text);
    OnError(text);
}

int TQComm::PendingCount() const {
    std::set<const TQMsg*> pending;
    pending_.Collect(pending);
    requests_.Collect(pending);
    links_.Collect(pending);
    return static_cast<int>(pending.size());
}

// --- Contacts ------------------------------------------------------------

void TQComm::DeleteContact(int index) {
    const TpContact gone = contacts_.TakeAt(index);
    if (!gone)
        return;
    pending_.Strike(gone);
    links_.Drop(gone);
    paths_.ClearPath(gone);
}

// Its path goes too: the record may live on elsewhere (a seat's player),
// and a path left behind would catch what goes to its address later, a
// member back from a restart over a new path.
void TQComm::RemoveContact(const TpContact& contact) {
    if (contacts_.Take(contact)) {
        links_.Drop(contact); // what it still owed is not sent again
        paths_.ClearPath(contact);
    }
}

// --- Sending -------------------------------------------------------------

TQMsg& TQComm::NewMsg(int kind) {
    building_ = std::make_unique<TQMsg>();
    building_->MsgType = kind;
    return *building_;
}

void TQComm::SendMsg(TSendMode mode, bool wantAck) {
    if (!building_)
        return;
    // Taken at once: a handler run during the send may start its own message.
    outbox_.Post(TOutbox::TpQMsg(std::move(building_)), mode, wantAck);
}

void TQComm::Connect(const std::string& hostAddress, bool hostIsOurs) {
    admission_.Ask(hostAddress, hostIsOurs);
}

void TQComm::Disconnect(bool wantAck) {
    outbox_.Post(TOutbox::Make(mtDisconnect), smAll, wantAck);
}

// --- Receiving -----------------------------------------------------------

void TQComm::HandleDatagram(std::string_view bytes, const std::string& fromIP, int sourcePort) {
    if (sourcePort != settings_.port)
        return;
    // Opened before anything reads it: a sealed datagram is whole, so
    // nothing unsealed that came before it may prefix it.
    std::string plain;
    const TLinkTable::TOpening opening = links_.Open(bytes, fromIP, plain);
    if (opening == TLinkTable::TOpening::Dropped)
        return;
    const bool sealed = opening == TLinkTable::TOpening::Opened;
    if (sealed)
        reassembler_.Reset();
    std::unique_ptr<TQMsg> msg = reassembler_.Add(sealed ? std::string_view(plain) : bytes, fromIP);
    if (!msg)
        return;
    // A message whose acknowledgement or answer could not be sent is still
    // handled; its sender will see it as lost.
    std::exception_ptr sendFailure;
    try {
        arrivals_.Take(std::move(msg), sealed);
    } catch (...) {
        sendFailure = std::current_exception();
    }
    ProcessIncoming();
    if (sendFailure)
        std::rethrow_exception(sendFailure);
}

void TQComm::ProcessIncoming() {
    try {
        incoming_.Drain([this](TReceived& received) { Handle(received); });
    } catch (...) {
        // The rest of the queue is taken up from the event loop.
        if (!incoming_.Empty())
            resume_->Start();
        throw;
    }
}

void TQComm::Handle(TReceived& received) {
    switch (received.what) {
    case TReceived::What::Message:
        Process(*received.msg, received.acknowledged, received.linked);
        break;
    case TReceived::What::Admission:
        admission_.Admitted(received);
        break;
    case TReceived::What::Settled:
        Settled(*received.msg, received.contact);
        break;
    case TReceived::What::GivenUp:
        FellSilent(received);
        break;
    case TReceived::What::RequestUnanswered:
        if (OnTimeout)
            OnTimeout(*received.msg, contacts_.Outsider());
        if (OnConnectionFailed)
            OnConnectionFailed(contacts_.Outsider(), kReasonNoAnswer);
        break;
    }
}

void TQComm::Process(const TQMsg& msg, bool acknowledged, bool linked) {
    contacts_.NoteSender(msg.FromAddress);
    if (msg.MsgType != mtAck && !acknowledged) {
        const TOutbox::TpQMsg ack = TOutbox::Make(mtAck);
        ack->AddInt(msg.MsgType);
        outbox_.Post(ack, smSender, false);
    }

    switch (msg.MsgType) {
    case mtDisconnect:
        PeerLeft(msg);
        break;
    case mtPeerInfo:
        admission_.Announced(msg, linked);
        break;
    case mtConnectReply:
        admission_.Replied(msg);
        break;
    case mtConnectRequest:
        break; // admitted or refused at receipt
    case mtAck:
        MatchAck(msg);
        break;
    default:
        if (OnGotMsg) {
            const TpContact sender = contacts_.Sender();
            OnGotMsg(msg, sender);
        }
    }
}

void TQComm::PeerLeft(const TQMsg& notice) {
    const int index = contacts_.IndexOfAddress(notice.FromAddress);
    if (index < 0)
        return;
    const TpContact leaver = contacts_.At(index);
    if (OnClientDisconnection)
        OnClientDisconnection(leaver, kReasonLeft);
    DeleteContact(contacts_.IndexOf(leaver));
}

// An acknowledgement of the written protocol names only a kind.
void TQComm::MatchAck(const TQMsg& ack) {
    const auto settled =
        pending_.Acknowledge(ack.IntAt(0), contacts_.Sender(), contacts_.Outsider());
    if (settled)
        Settled(*settled->msg, settled->contact);
}

// A contact acknowledged a message: a leave notice once acknowledged by
// anyone leaves nobody to talk to.
void TQComm::Settled(const TQMsg& msg, const TpContact& contact) {
    if (contact != contacts_.Outsider() && !contacts_.Holds(contact))
        return; // deleted meanwhile: it is no longer waited for
    if (msg.MsgType == mtDisconnect)
        EmptyTableAfterLeaving();
    if (OnGotAck)
        OnGotAck(msg, contact);
}

// Everyone has been told; those of the extension who have not acknowledged
// the leave notice yet keep their links, outside the table, until they do
// or fall silent: one acknowledgement must not cost the others the notice.
void TQComm::EmptyTableAfterLeaving() {
    while (contacts_.Count() > 0) {
        const TpContact gone = contacts_.TakeAt(contacts_.Count() - 1);
        pending_.Strike(gone);
        links_.Depart(gone);
    }
}

void TQComm::FellSilent(const TReceived& givenUp) {
    const TpContact& contact = givenUp.contact;
    links_.DropAbandoned(contact);
    if (!contacts_.Holds(contact))
        return; // already left the table
    if (OnLog)
        OnLog(givenUp.why);
    for (const TReceived::TpQMsg& msg : givenUp.owed)
        if (OnTimeout)
            OnTimeout(*msg, contact);
    if (OnClientDisconnection)
        OnClientDisconnection(contact, kReasonTimedOut);
    RemoveContact(contact);
}

// --- The timers ----------------------------------------------------------

void TQComm::TimerTick() {
    // A tick that would overlook acknowledgements not yet matched waits.
    if (incoming_.AcksWaiting())
        return;
    TPendingMessages::THooks hooks;
    hooks.overdue = [this](const TQMsg& msg, const TpContact& contact) {
        if (OnTimeout)
            OnTimeout(msg, contact);
    };
    hooks.giveUp = [this](const TQMsg& msg, const TpContact& contact) { GiveUp(msg, contact); };
    hooks.transmit = [this](TQMsg& msg) { outbox_.Transmit(msg); };
    pending_.Tick(settings_.timeout, settings_.packetRetries, hooks);
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

void TQComm::LinkTick() {
    if (linkTicking_)
        return;
    linkTicking_ = true;
    try {
        const TMillis interval = TConnectRequests::Interval(settings_.TickInterval());
        const TConnectRequests::TTick due =
            requests_.Tick(environment_.Now(), settings_.timeout != 0, interval);
        for (const TReceived::TpQMsg& request : due.unanswered) {
            pending_.Unlink(request);
            incoming_.Push({TReceived::What::RequestUnanswered, request, contacts_.Outsider()});
        }
        for (const TConnectRequests::TRequest& r : due.again)
            admission_.AskAgain(*r.request, r.host, r.cookie);
        links_.Tick(contacts_);
    } catch (...) {
        linkTicking_ = false;
        throw;
    }
    linkTicking_ = false;
    ProcessIncoming();
}
