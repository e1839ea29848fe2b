#include "outbox.h"

TOutbox::TpQMsg TOutbox::Make(int kind) {
    auto msg = std::make_shared<TQMsg>();
    msg->MsgType = kind;
    return msg;
}

void TOutbox::Post(const TpQMsg& msg, TSendMode mode, bool wantAck) {
    const std::vector<TpContact> addressees = contacts_.Addressees(mode);
    msg->Recipients.insert(msg->Recipients.end(), addressees.begin(), addressees.end());
    Dispatch(msg, wantAck);
}

void TOutbox::Dispatch(const TpQMsg& msg, bool wantAck) {
    std::vector<TpContact> linked;
    std::erase_if(msg->Recipients, [&](const TpContact& contact) {
        if (!links_.Of(contact))
            return false;
        linked.push_back(contact);
        return true;
    });
    if (!msg->Recipients.empty()) {
        if (wantAck)
            pending_.Track(msg);
        Transmit(*msg);
    }
    for (const TpContact& contact : linked) {
        if (wantAck)
            links_.SendTracked(contact, msg);
        else
            links_.SendUntracked(contact, *msg);
    }
}

void TOutbox::Transmit(TQMsg& msg) {
    const std::string datagram = msg.Encode();
    const std::vector<TpContact> addressees = msg.Recipients;
    for (const TpContact& contact : addressees)
        paths_.Send(contact, datagram);
    ++msg.SendCount;
}

void TOutbox::AcknowledgeTo(const std::string& address, int kind) {
    TQMsg ack;
    ack.MsgType = mtAck;
    ack.AddInt(kind);
    SendTo(address, ack.Encode());
}
