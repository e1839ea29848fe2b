#include "peer_paths.h"

#include "base64_text.h"
#include "ice_description.h"

#include <algorithm>

// What the messaging's path table holds for a member: sends go to the
// pair's end while it lives, and nowhere after.
class TPeerPaths::TAdapter : public TDatagramPath {
  public:
    explicit TAdapter(TIceEnd* end) : end_(end) {}
    void Send(const std::string& bytes) override {
        if (end_)
            end_->Send(bytes);
    }
    void Detach() { end_ = nullptr; }
    void Attach(TIceEnd* end) { end_ = end; }

  private:
    TIceEnd* end_;
};

struct TPeerPaths::TPair {
    int32_t peer = 0;
    std::string label;
    std::unique_ptr<TIceEnd> end;
    std::shared_ptr<TAdapter> adapter;
    TStage stage = TStage::Gathering;
    TClock::time_point deadline;
    std::string remote; // the other's description, kept until gathering is over
    std::string theirs; // the blob it came in: the same one fetched again is not news
    bool gatheredAgain = false;
};

TPeerPaths::TPeerPaths(int32_t self, TLobby lobby, TMakeEnd makeEnd, TEvents events)
    : self_(self), lobby_(std::move(lobby)), makeEnd_(std::move(makeEnd)),
      events_(std::move(events)), alive_(std::make_shared<bool>(true)) {}

TPeerPaths::~TPeerPaths() {
    *alive_ = false;
    CloseAll();
}

// The ends stay until destruction: this may run inside one of their
// handlers, which must not free its own path.
void TPeerPaths::CloseAll() {
    closed_ = true;
    answering_ = false;
    for (auto& [peer, pair] : pairs_) {
        pair->adapter->Detach();
        pair->end->Close();
        pair->stage = TStage::Failed;
    }
}

bool TPeerPaths::IsReady(int32_t peer) const {
    const auto found = pairs_.find(peer);
    return found != pairs_.end() && found->second->stage == TStage::Ready;
}

std::shared_ptr<TDatagramPath> TPeerPaths::PathOf(int32_t peer) const {
    const auto found = pairs_.find(peer);
    return found != pairs_.end() ? found->second->adapter : nullptr;
}

int32_t TPeerPaths::PeerOf(const std::string& label) const {
    for (const auto& [peer, pair] : pairs_)
        if (pair->label == label && pair->stage != TStage::Failed)
            return peer;
    return 0;
}

void TPeerPaths::Open(int32_t peer, const std::string& label, TClock::time_point now) {
    if (closed_ || peer <= 0 || peer == self_ || Has(peer))
        return;
    Begin(peer, label, now, {});
}

// A path that cannot even start (no agent here) fails at once.
void TPeerPaths::Begin(int32_t peer, const std::string& label, TClock::time_point now,
                       const std::string& remote) {
    try {
        TPair& pair = Make(peer, label, now);
        pair.remote = remote;
        pair.end->Start();
    } catch (const std::exception& e) {
        pairs_.erase(peer);
        if (events_.failed)
            events_.failed(peer, label, e.what());
    }
}

TPeerPaths::TPair& TPeerPaths::Make(int32_t peer, const std::string& label,
                                    TClock::time_point now) {
    auto pair = std::make_unique<TPair>();
    TPair& made = *pair;
    made.peer = peer;
    made.label = label;
    made.end = makeEnd_(self_ < peer ? TIceRole::Controlling : TIceRole::Controlled);
    made.adapter = std::make_shared<TAdapter>(made.end.get());
    made.deadline = now + kGiveUp;
    Wire(made);
    pairs_[peer] = std::move(pair);
    return made;
}

// An end replaced by a second gathering never had the other's description:
// only its gathering and failure could still come, and they are dropped.
void TPeerPaths::Wire(TPair& made) {
    TIceEnd& end = *made.end;
    end.OnGathered = [this, &made, &end](const std::string& description) {
        if (made.end.get() == &end)
            Gathered(made, description);
    };
    end.OnReady = [this, &made](TIcePathKind kind) {
        made.stage = TStage::Ready;
        if (events_.ready)
            events_.ready(made.peer, made.label, made.adapter, kind);
    };
    end.OnKindChanged = [this, &made](TIcePathKind kind) {
        if (events_.kindChanged)
            events_.kindChanged(made.peer, made.label, kind);
    };
    end.OnDatagram = [this, &made](std::string_view datagram) {
        if (events_.datagram)
            events_.datagram(made.peer, made.label, datagram);
    };
    end.OnFailed = [this, &made, &end](const std::string& why) {
        if (made.end.get() == &end)
            Fail(made, why);
    };
}

void TPeerPaths::Gathered(TPair& pair, const std::string& description) {
    if (GatherAgain(pair, description))
        return;
    lobby_.post(pair.peer, BlobOf(description));
    pair.stage = TStage::Waiting;
    if (!pair.remote.empty())
        Remote(pair, pair.remote);
}

// Once per pair: the second gathering's description goes out whatever it
// holds.  A fresh end has a fresh port, so a relay that kept the lost
// allocation of the first does not stand in its way.
bool TPeerPaths::GatherAgain(TPair& pair, const std::string& description) {
    if (!serverGiven_ || pair.gatheredAgain)
        return false;
    try {
        for (const TIceCandidate& candidate : ParseIceDescription(description).candidates)
            if (candidate.kind != TIceCandidateKind::Host)
                return false;
    } catch (const TIceDescriptionError&) {
        return false; // the other end refuses it with a reason
    }
    std::unique_ptr<TIceEnd> fresh;
    try {
        fresh = makeEnd_(self_ < pair.peer ? TIceRole::Controlling : TIceRole::Controlled);
    } catch (const std::exception&) {
        return false; // the first gathering's description goes out
    }
    pair.gatheredAgain = true;
    pair.end->Close();
    retired_.push_back(std::move(pair.end));
    pair.end = std::move(fresh);
    pair.adapter->Attach(pair.end.get());
    Wire(pair);
    try {
        pair.end->Start();
    } catch (const std::exception& e) {
        Fail(pair, e.what());
    }
    return true;
}

void TPeerPaths::Remote(TPair& pair, const std::string& description) {
    pair.remote = description;
    if (pair.stage != TStage::Waiting)
        return; // taken up once this end has gathered
    try {
        pair.stage = TStage::Checking;
        pair.end->SetRemote(description);
    } catch (const std::exception& e) {
        Fail(pair, e.what());
    }
}

void TPeerPaths::Fail(TPair& pair, const std::string& why) {
    if (pair.stage == TStage::Failed)
        return;
    pair.stage = TStage::Failed;
    pair.adapter->Detach();
    pair.end->Close();
    if (events_.failed)
        events_.failed(pair.peer, pair.label, why);
}

bool TPeerPaths::PollWanted(TClock::time_point now) const {
    return answering_ || (listenUntil_ && now < *listenUntil_) ||
           std::any_of(pairs_.begin(), pairs_.end(),
                       [](const auto& entry) { return entry.second->stage == TStage::Waiting; });
}

std::chrono::milliseconds TPeerPaths::PollInterval() const {
    const bool waiting = std::any_of(pairs_.begin(), pairs_.end(), [](const auto& entry) {
        return entry.second->stage == TStage::Waiting;
    });
    if (waiting)
        return kPairPoll;
    return answering_ && !running_ ? kAnswerPoll : kRunningPoll;
}

void TPeerPaths::Tick(TClock::time_point now) {
    if (closed_)
        return;
    for (auto& [peer, pair] : pairs_)
        if (pair->stage != TStage::Ready && pair->stage != TStage::Failed && now >= pair->deadline)
            Fail(*pair, "no path within 8 s");
    if (fetching_ || !PollWanted(now))
        return;
    if (lastPoll_ && now - *lastPoll_ < PollInterval())
        return;
    lastPoll_ = now;
    fetching_ = true;
    lobby_.fetch([this, alive = alive_, now](const TBlobs& blobs) {
        if (!*alive)
            return;
        fetching_ = false;
        Fetched(blobs, now);
    });
}

void TPeerPaths::Fetched(const TBlobs& blobs, TClock::time_point now) {
    if (!blobs || closed_)
        return; // the next tick asks again
    for (const TCandidateBlob& blob : *blobs)
        Take(blob, now);
}

void TPeerPaths::Take(const TCandidateBlob& blob, TClock::time_point now) {
    if (blob.sender <= 0 || blob.sender == self_)
        return;
    const auto found = pairs_.find(blob.sender);
    if (found != pairs_.end()) {
        TPair& pair = *found->second;
        if (pair.theirs == blob.blob)
            return; // fetched again: nothing new
        if (!pair.theirs.empty()) {
            Restarted(pair, blob, now);
            return;
        }
        if (const auto description = DescriptionOf(blob.blob)) {
            pair.theirs = blob.blob;
            Remote(pair, *description);
        }
        return;
    }
    if (!answering_)
        return;
    const std::optional<std::string> description = DescriptionOf(blob.blob);
    if (!description)
        return;
    // Two members behind one router show the same outside address: the
    // second is told apart by the next address its description shows.
    const std::vector<std::string> labels = LabelsOf(*description);
    const auto label = std::find_if(labels.begin(), labels.end(),
                                    [this](const std::string& l) { return PeerOf(l) == 0; });
    if (label == labels.end())
        return; // unreadable, or no address of its own left
    Begin(blob.sender, *label, now, *description);
    if (const auto made = pairs_.find(blob.sender); made != pairs_.end())
        made->second->theirs = blob.blob;
}

// The member tries afresh (it restarted, or rejoins after its path
// failed): the old pair goes, silently if it had failed already, and the
// new description is answered under the same label.
void TPeerPaths::Restarted(TPair& pair, const TCandidateBlob& blob, TClock::time_point now) {
    if (closed_)
        return;
    const std::optional<std::string> description = DescriptionOf(blob.blob);
    if (!description || !LabelOf(*description))
        return;
    const int32_t peer = pair.peer;
    const std::string label = pair.label;
    const bool wasAlive = pair.stage != TStage::Failed;
    pair.stage = TStage::Failed;
    pair.adapter->Detach();
    pair.end->Close();
    pairs_.erase(peer);
    if (wasAlive && events_.restarted)
        events_.restarted(peer, label);
    Begin(peer, label, now, *description);
    if (const auto made = pairs_.find(peer); made != pairs_.end())
        made->second->theirs = blob.blob;
}

std::string TPeerPaths::BlobOf(const std::string& description) {
    return base64_text::EncodeUrl(description);
}

std::optional<std::string> TPeerPaths::DescriptionOf(const std::string& blob) {
    return base64_text::DecodeUrl(blob, kMaxIceDescriptionBytes);
}

std::optional<std::string> TPeerPaths::LabelOf(std::string_view description) {
    const std::vector<std::string> labels = LabelsOf(description);
    return labels.empty() ? std::nullopt : std::optional<std::string>(labels.front());
}

std::vector<std::string> TPeerPaths::LabelsOf(std::string_view description) {
    TIceDescription read;
    try {
        read = ParseIceDescription(description);
    } catch (const TIceDescriptionError&) {
        return {};
    }
    // IPv4 first: the messaging's contacts and the written introductions
    // carry dotted addresses.
    std::vector<std::string> labels;
    for (const bool v4 : {true, false})
        for (const TIceCandidateKind kind : {TIceCandidateKind::ServerReflexive,
                                             TIceCandidateKind::Host, TIceCandidateKind::Relayed})
            for (const TIceCandidate& candidate : read.candidates)
                if (candidate.kind == kind &&
                    (candidate.address.find(':') == std::string::npos) == v4 &&
                    std::find(labels.begin(), labels.end(), candidate.address) == labels.end())
                    labels.push_back(candidate.address);
    return labels;
}
