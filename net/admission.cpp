#include "admission.h"

namespace {

constexpr int kAccept = -2; // a verdict that is not a refusal reason

} // namespace

TAdmission::TAdmission(const TCommSettings& settings, TCommEvents& events, TContactBook& contacts,
                       TPendingMessages& pending, TLinkTable& links, TConnectRequests& requests,
                       TOutbox& outbox, TIncomingQueue& incoming, TNow now)
    : settings_(settings), events_(events), contacts_(contacts), pending_(pending), links_(links),
      requests_(requests), outbox_(outbox), incoming_(incoming), now_(std::move(now)) {}

// --- The joiner ----------------------------------------------------------

void TAdmission::Ask(const std::string& hostAddress) {
    const TpQMsg request = TOutbox::Make(mtConnectRequest);
    request->AddStr(settings_.clientName);
    request->AddInt(settings_.port);
    request->AddStr(settings_.ownVersion);
    request->AddInt(settings_.tavloNumber);
    contacts_.Outsider()->Address = hostAddress;
    contacts_.Select(-1);
    if (!settings_.reliable) {
        outbox_.Post(request, smSelected, true);
        return;
    }
    // It waits in its kind's chain too, where an acknowledgement of the
    // written protocol finds it.
    request->Recipients = contacts_.Addressees(smSelected);
    pending_.Chain(request);
    requests_.Start(request, hostAddress, TConnectRequests::Interval(settings_.TickInterval()),
                    now_());
    AskAgain(*request, hostAddress);
}

void TAdmission::AskAgain(const TQMsg& request, const std::string& host) {
    TLinkTrailer offer;
    offer.flags = kTrailerOffer;
    offer.session = settings_.session;
    outbox_.SendTo(host, request.EncodeWithTrailer(EncodeTrailer(offer)));
}

void TAdmission::Replied(const TQMsg& reply) {
    if (reply.IntAt(0) != kReplyAccepted) {
        if (events_.OnConnectionFailed)
            events_.OnConnectionFailed(nullptr, reply.IntAt(1));
        outbox_.Post(TOutbox::Make(mtDisconnect), smAll, false);
        return;
    }
    expectedPeers_ = reply.IntAt(1);
    // A host of the extension got its record when its reply arrived.
    if (const TpContact host = links_.LinkedOutside(reply.FromAddress, contacts_))
        contacts_.Append(host);
    else
        contacts_.Add(reply.StrAt(2), reply.FromAddress, 0);
    if (expectedPeers_ == 0 && events_.OnConnected)
        events_.OnConnected();
    if (events_.OnConnectionSuccess)
        events_.OnConnectionSuccess();
}

void TAdmission::Announced(const TQMsg& info, bool linked) {
    // A member announced again (it came back after the host gave it up)
    // keeps its one contact.
    int index = contacts_.IndexOfAddress(info.StrAt(1));
    if (index < 0)
        index = contacts_.Add(info.StrAt(0), info.StrAt(1), 0);
    const TpContact member = contacts_.At(index);
    if (linked)
        links_.Announced(member, static_cast<uint32_t>(info.IntAt(3)));
    if (contacts_.Count() - 1 >= expectedPeers_ && events_.OnConnected)
        events_.OnConnected();
    if (info.IntAt(2) > 0 && events_.OnNewClient)
        events_.OnNewClient(info, member);
}

// --- The host ------------------------------------------------------------

// Decided, answered and (in the written protocol) acknowledged at once,
// whatever handler may be running: a joiner must not wait for it.
// OnNewClient and the introductions follow in the joiner's turn.
void TAdmission::AtReceipt(std::unique_ptr<TQMsg> requestIn, const TLinkTrailer* offer) {
    const TpQMsg request(std::move(requestIn));
    const std::string address = request->FromAddress;
    // A live link is never replaced by a request: one that did not come
    // from the peer would cut the peer off.  A program that restarted is
    // taken once its old link has been given up, or at once when the
    // lobby vouched for its return.
    if (links_.LiveAt(address) && !Returning(address)) {
        ++links_.Drops().refusedRequests;
        return;
    }
    const int present = contacts_.Count();
    int verdict = present < settings_.maxConnections || contacts_.IndexOfAddress(address) >= 0
                      ? kAccept
                      : kReasonFull;
    if (settings_.ownVersion != request->StrAt(2))
        verdict = kReasonVersion;
    TLateEntry late = TLateEntry::kMember;
    if (verdict == kReasonFull && lateJoiner_) {
        late = lateJoiner_(request->StrAt(0), request->IntAt(3), offer != nullptr);
        verdict = late == TLateEntry::kRefused ? kReasonFull : kAccept;
    }
    if (verdict != kAccept) {
        Refuse(address, verdict, offer != nullptr);
        return;
    }

    // Everyone present hears of the joiner, a joiner of the written
    // protocol too when its address is already in the table.  A watcher is nobody's business but the
    // host's.
    const std::vector<TpContact> members =
        late == TLateEntry::kWatcher ? std::vector<TpContact>{} : contacts_.All();
    int index = contacts_.IndexOfAddress(address);
    // The members the joiner is to hear of: itself too when it is known
    // and of the written protocol (it is told of itself then).
    int others = present;
    if (index >= 0 && offer)
        --others;
    if (index < 0)
        index = contacts_.Add(request->StrAt(0), address, request->IntAt(3));
    const TpContact joiner = contacts_.At(index);
    links_.Drop(joiner); // a joiner known before starts afresh
    if (offer)
        links_.Make(joiner, offer->session);
    // A joiner of the extension is not told of itself: behind a router it
    // would take its own outside address for a member's.
    std::vector<TpContact> told = members;
    if (offer)
        std::erase(told, joiner);
    Announce(request->StrAt(0), address, kJustJoined, offer ? offer->session : 0, told);
    TReceived& admission = incoming_.Push({TReceived::What::Admission, request, joiner});
    std::copy_if(members.begin(), members.end(), std::back_inserter(admission.members),
                 [&](const TpContact& member) { return member != joiner; });

    const TpQMsg reply = TOutbox::Make(mtConnectReply);
    reply->AddInt(kReplyAccepted);
    reply->AddInt(late == TLateEntry::kWatcher ? 0 : others);
    reply->AddStr(settings_.clientName);
    reply->Recipients.push_back(joiner);
    outbox_.Dispatch(reply, true);
    if (!offer)
        outbox_.AcknowledgeTo(address, mtConnectRequest);
}

void TAdmission::ExpectReturn(const std::string& address) {
    returning_[address] = now_() + kReturnWindow;
}

bool TAdmission::Returning(const std::string& address) {
    const TLinkTime now = now_();
    std::erase_if(returning_, [now](const auto& entry) { return entry.second < now; });
    return returning_.erase(address) > 0;
}

void TAdmission::Refuse(const std::string& address, int reason, bool offered) {
    TQMsg reply;
    reply.MsgType = mtConnectReply;
    reply.AddInt(0);
    reply.AddInt(reason);
    reply.AddStr("");
    if (offered) {
        // Its repeats are refused again; no acknowledgement is needed.
        outbox_.SendTo(address,
                       reply.EncodeWithTrailer(EncodeTrailer({kTrailerOffer, settings_.session})));
        return;
    }
    outbox_.SendTo(address, reply.Encode());
    outbox_.AcknowledgeTo(address, mtConnectRequest);
}

// A peer announcement, tracked, to each recipient as it speaks: those of
// the extension also learn the member's session (0: the member speaks only
// the written protocol).
void TAdmission::Announce(const std::string& name, const std::string& address, int flag,
                          uint32_t memberSession, const std::vector<TpContact>& recipients) {
    const TpQMsg written = TOutbox::Make(mtPeerInfo);
    const TpQMsg extended = TOutbox::Make(mtPeerInfo);
    for (const TpQMsg& msg : {written, extended}) {
        msg->AddStr(name);
        msg->AddStr(address);
        msg->AddInt(flag);
    }
    extended->AddInt(static_cast<int32_t>(memberSession));
    for (const TpContact& recipient : recipients)
        (links_.Of(recipient) ? extended : written)->Recipients.push_back(recipient);
    outbox_.Dispatch(written, true);
    outbox_.Dispatch(extended, true);
}

void TAdmission::Admitted(const TReceived& admission) {
    const TpContact& joiner = admission.contact;
    const int index = contacts_.IndexOf(joiner);
    if (index < 0)
        return; // gone before its turn came
    contacts_.Select(index);
    contacts_.SetSender(index);
    contacts_.SetLastTarget(index);
    if (events_.OnNewClient)
        events_.OnNewClient(*admission.msg, joiner);
    Introduce(joiner, admission.members);
}

// Tells the joiner about the members that were present when it was
// admitted and still are; a later joiner announces itself to it.
void TAdmission::Introduce(const TpContact& joiner, const std::vector<TpContact>& members) {
    for (const TpContact& member : members) {
        if (!contacts_.Holds(joiner))
            return; // the joiner is gone already
        if (!contacts_.Holds(member))
            continue;
        const TLinkTable::TEntry* entry = links_.Of(member);
        Announce(member->Name, member->Address, kAlreadyPresent,
                 entry ? entry->link->PeerSession() : 0, {joiner});
    }
}
