#include "admission.h"

#include <algorithm>

namespace {

constexpr int kAccept = -2; // a verdict that is not a refusal reason

// Items of a connect request of the extension after the written ones: the
// joiner's proof, then the host's cookie (empty in the first request).
constexpr int kRequestProofAt = 4;
constexpr int kRequestCookieAt = 6;
// Items of the host's answers after the written ones: its proof, and in a
// cookie answer the cookie.
constexpr int kReplyProofAt = 3;
constexpr int kReplyCookieAt = 5;
// ... and of a peer announcement of the extension: the session, the proof.
constexpr int kAnnouncedSessionAt = 3;
constexpr int kAnnouncedProofAt = 4;

std::string CookieText(const TCookie& cookie) {
    return std::string(cookie.begin(), cookie.end());
}

} // namespace

TAdmission::TAdmission(const TCommSettings& settings, TCommEvents& events, TContactBook& contacts,
                       TPendingMessages& pending, TLinkTable& links, TConnectRequests& requests,
                       TOutbox& outbox, TIncomingQueue& incoming, TNow now)
    : settings_(settings), events_(events), contacts_(contacts), pending_(pending), links_(links),
      requests_(requests), outbox_(outbox), incoming_(incoming), now_(std::move(now)) {}

// --- The joiner ----------------------------------------------------------

void TAdmission::Ask(const std::string& hostAddress, bool hostIsOurs) {
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
    AddProof(*request, settings_.OwnProof());
    // It waits in its kind's chain too, where an acknowledgement of the
    // written protocol finds it.
    request->Recipients = contacts_.Addressees(smSelected);
    pending_.Chain(request);
    requests_.Start(request, hostAddress, TConnectRequests::Interval(settings_.TickInterval()),
                    now_(), hostIsOurs || outbox_.OnPath(hostAddress));
    AskAgain(*request, hostAddress, "");
}

void TAdmission::AskAgain(const TQMsg& request, const std::string& host,
                          const std::string& cookie) {
    TQMsg withCookie = request;
    withCookie.AddStr(cookie);
    TLinkTrailer offer;
    offer.flags = kTrailerOffer;
    offer.session = settings_.session;
    outbox_.SendTo(host, withCookie.EncodeWithTrailer(EncodeTrailer(offer)));
}

// The host's seal is agreed now, so that its reply is opened and a reply
// forged without it is not taken.  A later cookie answer replaces this
// one: a forged answer only costs a try.
void TAdmission::CookieCame(const TQMsg& answer, const TLinkTrailer& trailer) {
    TConnectRequests::TRequest* waiting = requests_.Oldest();
    const std::optional<TLinkProof> host = ReadProof(answer, kReplyProofAt);
    const std::string cookie = answer.StrAt(kReplyCookieAt);
    if (!waiting || !host || cookie.size() != kCookieBytes)
        return;
    links_.Expect(answer.FromAddress, trailer.session, host->key);
    waiting->cookie = cookie;
    AskAgain(*waiting->request, answer.FromAddress, cookie);
    TConnectRequests::Quicken(*waiting, now_());
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
    // A member of the extension is linked, sealed with the key the host
    // vouches for; one whose key or ticket does not hold is not taken.
    const uint32_t session = linked ? static_cast<uint32_t>(info.IntAt(kAnnouncedSessionAt)) : 0;
    std::optional<TLinkProof> proof;
    std::optional<TLinkSeal> seal;
    if (links_.Linkable(info.StrAt(1), session)) {
        proof = ReadProof(info, kAnnouncedProofAt);
        // A host with our address in its table announces us to ourselves:
        // a contact as the written protocol has it, with no link.
        const bool us = proof && proof->key == settings_.keyPair.publicKey &&
                        session == settings_.session;
        if (proof && !us)
            seal = links_.Vouch(info.StrAt(0), info.StrAt(1), session, *proof);
        if (!seal && !us)
            return;
    }
    // A member announced again (it came back after the host gave it up)
    // keeps its one contact.
    int index = contacts_.IndexOfAddress(info.StrAt(1));
    if (index < 0)
        index = contacts_.Add(info.StrAt(0), info.StrAt(1), 0);
    const TpContact member = contacts_.At(index);
    if (seal)
        links_.Make(member, session, *proof, std::move(*seal));
    if (contacts_.Count() - 1 >= expectedPeers_ && events_.OnConnected)
        events_.OnConnected();
    if (info.IntAt(2) > 0 && events_.OnNewClient)
        events_.OnNewClient(info, member);
}

// --- The host ------------------------------------------------------------

// Decided, answered and (in the written protocol) acknowledged at once,
// whatever handler may be running: a joiner must not wait for it.
// OnNewClient and the introductions follow in the joiner's turn.
void TAdmission::AtReceipt(std::unique_ptr<TQMsg> request) {
    // A live link is never replaced by a request of the written protocol:
    // the peer would not send one.
    if (links_.LiveAt(request->FromAddress)) {
        ++links_.Drops().refusedRequests;
        return;
    }
    Decide(TpQMsg(std::move(request)), nullptr);
}

// The first request costs the host one datagram and changes nothing: only
// who receives at its address can send the cookie back.
void TAdmission::Offered(std::unique_ptr<TQMsg> request, const TLinkTrailer& offer) {
    const std::string address = request->FromAddress;
    const std::optional<TLinkProof> proof = ReadProof(*request, kRequestProofAt);
    const bool live = links_.LiveAt(address);
    if (!proof) { // not a request of this version
        if (live)
            ++links_.Drops().refusedRequests;
        return;
    }
    if (!CookieHolds(*request, offer, *proof)) {
        if (live)
            ++links_.Drops().refusedRequests;
        SendCookie(address, offer, *proof);
        return;
    }
    if (live && !links_.SameOwner(address, request->StrAt(0), *proof)) {
        ++links_.Drops().refusedRequests;
        return;
    }
    const TJoiner joiner{offer, *proof, live};
    Decide(TpQMsg(std::move(request)), &joiner);
}

bool TAdmission::CookieHolds(const TQMsg& request, const TLinkTrailer& offer,
                             const TLinkProof& proof) const {
    const std::string text = request.StrAt(kRequestCookieAt);
    if (text.size() != kCookieBytes)
        return false;
    TCookie cookie;
    std::copy(text.begin(), text.end(), cookie.begin());
    return cookies_.Holds(cookie, request.FromAddress, offer.session, proof.key, now_());
}

// Shaped as a refusal (item 0 aside) with the host's key and the cookie.
void TAdmission::SendCookie(const std::string& address, const TLinkTrailer& offer,
                            const TLinkProof& proof) {
    TQMsg answer;
    answer.MsgType = mtConnectReply;
    answer.AddInt(kReplyCookie);
    answer.AddInt(0);
    answer.AddStr("");
    AddProof(answer, {settings_.keyPair.publicKey, ""});
    answer.AddStr(CookieText(cookies_.Make(address, offer.session, proof.key, now_())));
    outbox_.SendTo(address,
                   answer.EncodeWithTrailer(EncodeTrailer({kTrailerOffer, settings_.session})));
}

void TAdmission::Decide(const TpQMsg& request, const TJoiner* joinerOf) {
    const std::string address = request->FromAddress;
    int verdict = contacts_.Count() < settings_.maxConnections || contacts_.IndexOfAddress(address) >= 0
                      ? kAccept
                      : kReasonFull;
    if (settings_.ownVersion != request->StrAt(2))
        verdict = kReasonVersion;
    TLateEntry late = TLateEntry::kMember;
    if (verdict == kReasonFull && lateJoiner_) {
        late = lateJoiner_({request->StrAt(0), request->IntAt(3),
                            joinerOf ? &joinerOf->proof.key : nullptr});
        verdict = late == TLateEntry::kRefused ? kReasonFull : kAccept;
    }
    if (verdict != kAccept) {
        Refuse(address, verdict, joinerOf);
        return;
    }
    std::optional<TLinkSeal> seal;
    if (joinerOf) {
        seal = links_.Vouch(request->StrAt(0), address, joinerOf->offer.session, joinerOf->proof);
        if (!seal)
            return; // told in the log; the joiner hears nothing
    }

    // Everyone present hears of the joiner, a joiner of the written
    // protocol too when its address is already in the table.  A watcher is
    // nobody's business but the host's.
    std::vector<TpContact> members =
        late == TLateEntry::kWatcher ? std::vector<TpContact>{} : contacts_.All();
    // A joiner of the extension is told of the others only, as any joiner
    // is, also when it is known already (it restarted, or comes back):
    // behind a router it would take its own outside address for a member's.
    if (joinerOf)
        std::erase_if(members, [&](const TpContact& m) { return m->Address == address; });
    int index = contacts_.IndexOfAddress(address);
    if (index < 0)
        index = contacts_.Add(request->StrAt(0), address, request->IntAt(3));
    const TpContact joiner = contacts_.At(index);
    links_.Drop(joiner); // a joiner known before starts afresh
    const TLinkProof noProof;
    if (joinerOf)
        links_.Make(joiner, joinerOf->offer.session, joinerOf->proof, std::move(*seal));
    Announce(request->StrAt(0), address, kJustJoined, joinerOf ? joinerOf->offer.session : 0,
             joinerOf ? joinerOf->proof : noProof, members);
    TReceived& admission = incoming_.Push({TReceived::What::Admission, request, joiner});
    std::copy_if(members.begin(), members.end(), std::back_inserter(admission.members),
                 [&](const TpContact& member) { return member != joiner; });

    const TpQMsg reply = TOutbox::Make(mtConnectReply);
    reply->AddInt(kReplyAccepted);
    reply->AddInt(late == TLateEntry::kWatcher ? 0 : static_cast<int>(members.size()));
    reply->AddStr(settings_.clientName);
    if (joinerOf)
        AddProof(*reply, settings_.OwnProof());
    reply->Recipients.push_back(joiner);
    outbox_.Dispatch(reply, true);
    if (!joinerOf)
        outbox_.AcknowledgeTo(address, mtConnectRequest);
}

// A joiner of the extension gets the refusal sealed, so that nobody else
// can refuse it in the host's name.
void TAdmission::Refuse(const std::string& address, int reason, const TJoiner* joiner) {
    TQMsg reply;
    reply.MsgType = mtConnectReply;
    reply.AddInt(0);
    reply.AddInt(reason);
    reply.AddStr("");
    if (joiner) {
        // Its repeats are refused again; no acknowledgement is needed.
        const std::string plain =
            reply.EncodeWithTrailer(EncodeTrailer({kTrailerOffer, settings_.session}));
        outbox_.SendTo(address, links_.SealOnce(joiner->proof.key, joiner->offer.session, plain));
        return;
    }
    outbox_.SendTo(address, reply.Encode());
    outbox_.AcknowledgeTo(address, mtConnectRequest);
}

// A peer announcement, tracked, to each recipient as it speaks: those of
// the extension also learn the member's session (0: the member speaks only
// the written protocol).
void TAdmission::Announce(const std::string& name, const std::string& address, int flag,
                          uint32_t memberSession, const TLinkProof& proof,
                          const std::vector<TpContact>& recipients) {
    const TpQMsg written = TOutbox::Make(mtPeerInfo);
    const TpQMsg extended = TOutbox::Make(mtPeerInfo);
    for (const TpQMsg& msg : {written, extended}) {
        msg->AddStr(name);
        msg->AddStr(address);
        msg->AddInt(flag);
    }
    extended->AddInt(static_cast<int32_t>(memberSession));
    AddProof(*extended, proof);
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
                 entry ? entry->link->PeerSession() : 0, entry ? entry->proof : TLinkProof{},
                 {joiner});
    }
}
