#include "ice_path.h"

#include "ice_description.h"
#include "wire_format.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>
#include <deque>
#include <exception>
#include <nice/agent.h>

namespace {

constexpr guint kComponent = 1; // one component per path: datagrams only
constexpr std::size_t kMaxEarlyDatagrams = 32;

int& ClosingAgents() {
    static int count = 0;
    return count;
}

// The agent's events arrive through GLib's default main context; make
// sure the caller's event loop is the one that iterates it.
void CheckMainContext() {
    const QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return; // a plain GLib program iterates the default context itself
    if (QThread::currentThread() != app->thread())
        throw TIcePathError("ICE paths live on the main thread");
    const QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(app->thread());
    if (!dispatcher || !dispatcher->inherits("QEventDispatcherGlib"))
        throw TIcePathError("ICE needs Qt's GLib event loop (is QT_NO_GLIB set?)");
}

// An exception must not unwind through GLib's C frames: one that leaves
// a handler is thrown again from a Qt event, where the program's
// QCoreApplication::notify meets the errors of every other handler.
template <typename Event> void Guarded(Event event) {
    try {
        event();
    } catch (...) {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app)
            std::terminate();
        QMetaObject::invokeMethod(
            app, [error = std::current_exception()] { std::rethrow_exception(error); },
            Qt::QueuedConnection);
    }
}

bool IsRelayed(const NiceCandidate& c) {
    return c.type == NICE_CANDIDATE_TYPE_RELAYED;
}
bool IsReflexive(const NiceCandidate& c) {
    return c.type == NICE_CANDIDATE_TYPE_SERVER_REFLEXIVE ||
           c.type == NICE_CANDIDATE_TYPE_PEER_REFLEXIVE;
}

// libnice takes a STUN server's answer on a socket that also holds an
// allocation on that same server for a relayed message, and drops it: the
// binding would be sent again until it times out (2.3 s of gathering).
// The allocation's answer already names the server-reflexive address.
bool SameAsARelay(const TIceServer& stun, const std::vector<TIceRelay>& relays) {
    for (const TIceRelay& r : relays)
        if (r.server.address == stun.address && r.server.port == stun.port)
            return true;
    return false;
}

TIcePathKind KindOfPair(const NiceCandidate& local, const NiceCandidate& remote) {
    if (IsRelayed(local) || IsRelayed(remote))
        return TIcePathKind::Relayed;
    if (IsReflexive(local) || IsReflexive(remote))
        return TIcePathKind::Punched;
    return TIcePathKind::Direct;
}

std::string AddressText(const NiceAddress& address) {
    gchar text[NICE_ADDRESS_STRING_LEN] = {};
    nice_address_to_string(&address, text);
    return text;
}

std::string CandidateText(const NiceCandidate& c) {
    const std::string address = AddressText(c.addr);
    const std::string port = std::to_string(nice_address_get_port(&c.addr));
    const bool v6 = nice_address_ip_version(&c.addr) == 6;
    return (v6 ? "[" + address + "]" : address) + ":" + port + " " +
           nice_candidate_type_to_string(c.type);
}

// A gathered candidate as the other end will read it, if it may go there.
std::optional<TIceCandidate> Describe(const NiceCandidate& c) {
    TIceCandidate out;
    switch (c.type) {
    case NICE_CANDIDATE_TYPE_HOST:
        out.kind = TIceCandidateKind::Host;
        break;
    case NICE_CANDIDATE_TYPE_SERVER_REFLEXIVE:
        out.kind = TIceCandidateKind::ServerReflexive;
        break;
    case NICE_CANDIDATE_TYPE_RELAYED:
        out.kind = TIceCandidateKind::Relayed;
        break;
    default:
        return std::nullopt;
    }
    if (c.transport != NICE_CANDIDATE_TRANSPORT_UDP ||
        !UsableIceAddress(AddressText(c.addr), out.address))
        return std::nullopt;
    out.foundation = c.foundation;
    out.priority = c.priority;
    out.port = static_cast<uint16_t>(nice_address_get_port(&c.addr));
    if (out.foundation.empty() || out.priority == 0 || out.port == 0)
        return std::nullopt;
    return out;
}

NiceCandidateType NiceTypeOf(TIceCandidateKind kind) {
    switch (kind) {
    case TIceCandidateKind::ServerReflexive:
        return NICE_CANDIDATE_TYPE_SERVER_REFLEXIVE;
    case TIceCandidateKind::Relayed:
        return NICE_CANDIDATE_TYPE_RELAYED;
    case TIceCandidateKind::Host:
        break;
    }
    return NICE_CANDIDATE_TYPE_HOST;
}

void DropDatagram(NiceAgent*, guint, guint, guint, gchar*, gpointer) {}

// The remote candidates as libnice takes them; freed with the list.
class TNiceCandidates {
  public:
    TNiceCandidates(const TIceDescription& d, guint stream) {
        for (const TIceCandidate& c : d.candidates) {
            NiceCandidate* n = nice_candidate_new(NiceTypeOf(c.kind));
            n->transport = NICE_CANDIDATE_TRANSPORT_UDP;
            n->stream_id = stream;
            n->component_id = kComponent;
            n->priority = c.priority;
            g_strlcpy(n->foundation, c.foundation.c_str(), sizeof n->foundation);
            nice_address_set_from_string(&n->addr, c.address.c_str()); // checked when parsed
            nice_address_set_port(&n->addr, c.port);
            list_ = g_slist_append(list_, n);
        }
    }
    ~TNiceCandidates() {
        g_slist_free_full(list_, reinterpret_cast<GDestroyNotify>(nice_candidate_free));
    }
    TNiceCandidates(const TNiceCandidates&) = delete;
    TNiceCandidates& operator=(const TNiceCandidates&) = delete;
    GSList* List() const { return list_; }

  private:
    GSList* list_ = nullptr;
};

} // namespace

const char* IcePathKindName(TIcePathKind kind) {
    switch (kind) {
    case TIcePathKind::Direct:
        return "direct";
    case TIcePathKind::Punched:
        return "punched";
    case TIcePathKind::Relayed:
        return "relayed";
    }
    return "?";
}

struct TIcePath::TState {
    TIcePath* owner = nullptr;
    TIceSettings settings;
    NiceAgent* agent = nullptr; // ours until Close hands it to the closing
    guint stream = 0;
    guint deadlineSource = 0;
    bool started = false;
    bool remoteSet = false;
    bool ready = false;
    bool failed = false;
    TIcePathKind kind = TIcePathKind::Direct;
    std::string localDescription;
    std::string selectedPair;
    TCounts counts;
    std::unique_ptr<TFaultSeam> seam;
    // Sent between SetRemote and OnReady (a reply to the other end's first
    // datagram, which may come before this end has its pair).
    std::deque<std::string> early;

    void Configure();
    void Shutdown();
    void Fail(const std::string& why);
    void Gathered();
    void StateChanged(guint state);
    void Selected(const NiceCandidate& local, const NiceCandidate& remote);
    bool SendNow(std::string_view bytes);

    static void OnGatheringDone(NiceAgent*, guint, gpointer self);
    static void OnStateChanged(NiceAgent*, guint, guint, guint state, gpointer self);
    static void OnSelectedPair(NiceAgent*, guint, guint, NiceCandidate* l, NiceCandidate* r,
                               gpointer self);
    static void OnReceived(NiceAgent*, guint, guint, guint len, gchar* buf, gpointer self);
    static gboolean OnDeadline(gpointer self);
    static void OnClosed(GObject*, GAsyncResult*, gpointer agent);
};

void TIcePath::TState::Configure() {
    // Aggressive nomination (no option): the first pair that works carries
    // datagrams at once, and a better one that works later (its check was
    // lost and sent again) takes over.  With regular nomination libnice
    // settles on the first pair for good, so one lost check puts a game on
    // the relay.  No consent checks: libnice ends a path after 10 s without
    // answers, and whether a member is gone is the link's silence rule
    // (20 s) to decide; the agent's keep-alive (a binding indication every
    // 25 s) and the link's own every 2 s keep the routers' mappings open.
    agent = nice_agent_new_full(g_main_context_default(), NICE_COMPATIBILITY_RFC5245,
                                NICE_AGENT_OPTION_NONE);
    // Datagrams only; the router mappings are the port mapping's business.
    g_object_set(agent, "ice-tcp", FALSE, "upnp", FALSE, "controlling-mode",
                 settings.role == TIceRole::Controlling, "force-relay", settings.relayOnly,
                 nullptr);
    if (settings.stun && !SameAsARelay(*settings.stun, settings.relays))
        g_object_set(agent, "stun-server", settings.stun->address.c_str(), "stun-server-port",
                     guint{settings.stun->port}, nullptr);
    stream = nice_agent_add_stream(agent, 1);
    for (const TIceRelay& relay : settings.relays)
        nice_agent_set_relay_info(agent, stream, kComponent, relay.server.address.c_str(),
                                  relay.server.port, relay.user.c_str(), relay.password.c_str(),
                                  NICE_RELAY_TYPE_TURN_UDP);
    g_signal_connect(agent, "candidate-gathering-done", G_CALLBACK(OnGatheringDone), this);
    g_signal_connect(agent, "component-state-changed", G_CALLBACK(OnStateChanged), this);
    g_signal_connect(agent, "new-selected-pair-full", G_CALLBACK(OnSelectedPair), this);
    nice_agent_attach_recv(agent, stream, kComponent, g_main_context_default(), OnReceived, this);
}

// Silences the agent and lets it give its relay allocations back; the
// closing owns it from here.
void TIcePath::TState::Shutdown() {
    if (deadlineSource != 0)
        g_source_remove(deadlineSource);
    deadlineSource = 0;
    seam.reset();
    early.clear();
    if (!agent)
        return;
    g_signal_handlers_disconnect_by_data(agent, this);
    // Still read, or the relay's answers to the agent's farewell would never
    // be seen and it would send it again until it gives up.
    nice_agent_attach_recv(agent, stream, kComponent, g_main_context_default(), DropDatagram,
                           nullptr);
    ++ClosingAgents();
    nice_agent_close_async(agent, OnClosed, agent);
    agent = nullptr;
}

void TIcePath::TState::OnClosed(GObject*, GAsyncResult*, gpointer agent) {
    g_object_unref(agent);
    --ClosingAgents();
}

void TIcePath::TState::Fail(const std::string& why) {
    if (failed)
        return;
    failed = true;
    Shutdown();
    if (owner->OnFailed)
        owner->OnFailed(why);
}

void TIcePath::TState::Gathered() {
    gchar* ufrag = nullptr;
    gchar* pwd = nullptr;
    nice_agent_get_local_credentials(agent, stream, &ufrag, &pwd);
    TIceDescription d{ufrag ? ufrag : "", pwd ? pwd : "", {}};
    g_free(ufrag);
    g_free(pwd);
    GSList* local = nice_agent_get_local_candidates(agent, stream, kComponent);
    for (GSList* i = local; i; i = i->next)
        if (const auto c = Describe(*static_cast<NiceCandidate*>(i->data)))
            d.candidates.push_back(*c);
    g_slist_free_full(local, reinterpret_cast<GDestroyNotify>(nice_candidate_free));
    TrimIceCandidates(d);
    if (d.candidates.empty()) {
        Fail("no usable local address");
        return;
    }
    try {
        localDescription = EncodeIceDescription(d);
    } catch (const TIceDescriptionError& e) { // nothing may leave a GLib signal
        Fail(e.what());
        return;
    }
    if (owner->OnGathered)
        owner->OnGathered(localDescription);
}

void TIcePath::TState::StateChanged(guint state) {
    if (state == NICE_COMPONENT_STATE_FAILED) {
        Fail(ready ? "path lost" : "no path found");
        return;
    }
    const bool usable =
        state == NICE_COMPONENT_STATE_CONNECTED || state == NICE_COMPONENT_STATE_READY;
    if (!usable || ready || selectedPair.empty())
        return;
    ready = true;
    if (deadlineSource != 0)
        g_source_remove(deadlineSource);
    deadlineSource = 0;
    for (; !early.empty(); early.pop_front())
        owner->Send(early.front());
    if (owner->OnReady)
        owner->OnReady(kind);
}

void TIcePath::TState::Selected(const NiceCandidate& local, const NiceCandidate& remote) {
    const TIcePathKind before = kind;
    kind = KindOfPair(local, remote);
    selectedPair = "local " + CandidateText(local) + ", remote " + CandidateText(remote);
    if (ready && kind != before && owner->OnKindChanged)
        owner->OnKindChanged(kind);
    else if (!ready) // a pair selected while the state already says connected
        StateChanged(nice_agent_get_component_state(agent, stream, kComponent));
}

bool TIcePath::TState::SendNow(std::string_view bytes) {
    if (!agent || !ready)
        return false;
    const gint sent =
        nice_agent_send(agent, stream, kComponent, static_cast<guint>(bytes.size()), bytes.data());
    if (sent != static_cast<gint>(bytes.size()))
        return false;
    ++counts.sent;
    counts.bytesSent += bytes.size();
    return true;
}

void TIcePath::TState::OnGatheringDone(NiceAgent*, guint, gpointer self) {
    Guarded([self] { static_cast<TState*>(self)->Gathered(); });
}

void TIcePath::TState::OnStateChanged(NiceAgent*, guint, guint, guint state, gpointer self) {
    Guarded([self, state] { static_cast<TState*>(self)->StateChanged(state); });
}

void TIcePath::TState::OnSelectedPair(NiceAgent*, guint, guint, NiceCandidate* l, NiceCandidate* r,
                                      gpointer self) {
    if (l && r)
        Guarded([self, l, r] { static_cast<TState*>(self)->Selected(*l, *r); });
}

void TIcePath::TState::OnReceived(NiceAgent*, guint, guint, guint len, gchar* buf, gpointer self) {
    Guarded([self, len, buf] {
        TState& s = *static_cast<TState*>(self);
        ++s.counts.received;
        s.counts.bytesReceived += len;
        if (s.owner->OnDatagram)
            s.owner->OnDatagram(std::string_view(buf, len));
    });
}

gboolean TIcePath::TState::OnDeadline(gpointer self) {
    Guarded([self] {
        TState& s = *static_cast<TState*>(self);
        s.deadlineSource = 0;
        s.Fail("no path found in time");
    });
    return G_SOURCE_REMOVE;
}

TIcePath::TIcePath(const TIceSettings& settings) : state_(std::make_unique<TState>()) {
    CheckMainContext();
    if (settings.relays.size() > kMaxIceRelays)
        throw TIcePathError("too many relays for one path");
    state_->owner = this;
    state_->settings = settings;
    state_->Configure();
}

// Every handler is called as the last step of its event, so a handler may
// destroy the path: the agent lives on in the closing.
TIcePath::~TIcePath() {
    state_->Shutdown();
}

void TIcePath::Start() {
    TState& s = *state_;
    if (s.started || !s.agent)
        throw TIcePathError("ICE path started twice");
    s.started = true;
    if (!nice_agent_gather_candidates(s.agent, s.stream))
        throw TIcePathError("no local address to gather ICE candidates from");
}

void TIcePath::SetRemote(std::string_view description) {
    TState& s = *state_;
    if (!s.started || s.remoteSet || !s.agent)
        throw TIcePathError("remote ICE description out of turn");
    const TIceDescription remote = ParseIceDescription(description);
    s.remoteSet = true;
    nice_agent_set_remote_credentials(s.agent, s.stream, remote.ufrag.c_str(), remote.pwd.c_str());
    const TNiceCandidates candidates(remote, s.stream);
    s.deadlineSource =
        g_timeout_add_full(G_PRIORITY_DEFAULT, static_cast<guint>(s.settings.deadline.count()),
                           TState::OnDeadline, &s, nullptr);
    // Pairs that can never work (a family we lack) are left out by libnice;
    // if none is left, the deadline ends the path.
    nice_agent_set_remote_candidates(s.agent, s.stream, kComponent, candidates.List());
}

bool TIcePath::Send(std::string_view datagram) {
    TState& s = *state_;
    if (!s.agent || !s.remoteSet || s.failed || datagram.size() > kMaxDatagramBytes)
        return false;
    if (!s.ready) {
        if (s.early.size() == kMaxEarlyDatagrams)
            return false;
        s.early.emplace_back(datagram);
        return true;
    }
    if (!s.seam)
        return s.SendNow(datagram);
    s.seam->Pass(std::string(datagram), [&s](const std::string& bytes) { s.SendNow(bytes); });
    return true;
}

void TIcePath::Close() {
    state_->Shutdown();
}

bool TIcePath::Ready() const {
    return state_->ready && state_->agent;
}
TIcePathKind TIcePath::Kind() const {
    return state_->kind;
}
const std::string& TIcePath::LocalDescription() const {
    return state_->localDescription;
}
std::string TIcePath::SelectedPair() const {
    return state_->selectedPair;
}
const TIcePath::TCounts& TIcePath::Counts() const {
    return state_->counts;
}

void TIcePath::setFaults(const TFaultSettings& settings) {
    state_->seam = settings.Active() ? std::make_unique<TFaultSeam>(settings) : nullptr;
}

int TIcePath::ClosingCount() {
    return ClosingAgents();
}
