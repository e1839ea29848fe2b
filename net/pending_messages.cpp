#include "pending_messages.h"

#include <algorithm>

namespace {

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

void TPendingMessages::Track(const TpQMsg& msg) {
    Chain(msg);
    waiting_.push_back(msg);
}

void TPendingMessages::Chain(const TpQMsg& msg) {
    chains_[msg->MsgType & 0xFF].push_back(msg);
}

void TPendingMessages::Unlink(const TpQMsg& msg) {
    std::erase(chains_[msg->MsgType & 0xFF], msg);
}

std::optional<TPendingMessages::TSettled>
TPendingMessages::Acknowledge(int kind, const TpContact& sender, const TpContact& outsider) {
    if (kind < 0 || kind >= kMessageKinds)
        return std::nullopt;
    for (const TpQMsg& msg : chains_[kind]) {
        TpContact taken;
        if (TakeRecipient(*msg, sender))
            taken = sender;
        else if (TakeRecipient(*msg, outsider))
            taken = outsider;
        if (!taken)
            continue;
        const TSettled settled{msg, taken};
        if (msg->Recipients.empty())
            Unlink(msg); // freed at the next examination
        return settled;
    }
    return std::nullopt;
}

void TPendingMessages::Strike(const TpContact& contact) {
    for (auto& chain : chains_) {
        const std::vector<TpQMsg> chained = chain;
        for (const TpQMsg& msg : chained) {
            std::erase(msg->Recipients, contact);
            if (msg->Recipients.empty())
                Unlink(msg);
        }
    }
}

void TPendingMessages::Tick(uint32_t timeout, uint32_t retries, const THooks& hooks) {
    if (ticking_)
        return;
    ticking_ = true;
    try {
        tickBatch_ = std::min(tickBatch_, waiting_.size());
        for (std::size_t i = 0; i < tickBatch_ && !waiting_.empty(); ++i) {
            const TpQMsg msg = waiting_.front();
            waiting_.pop_front();
            bool keep = true;
            try {
                keep = Examine(msg, timeout, retries, hooks);
            } catch (...) {
                waiting_.push_back(msg);
                throw;
            }
            if (keep)
                waiting_.push_back(msg);
        }
        tickBatch_ = waiting_.size();
    } catch (...) {
        ticking_ = false;
        throw;
    }
    ticking_ = false;
}

// One examination of a message; false when it is done with.
bool TPendingMessages::Examine(const TpQMsg& msg, uint32_t timeout, uint32_t retries,
                               const THooks& hooks) {
    if (msg->Recipients.empty())
        return false;
    if (timeout == 0)
        return true;
    const bool lastChance = msg->SendCount >= retries;
    const std::vector<TpContact> overdue = msg->Recipients;
    for (const TpContact& contact : overdue) {
        // Hooks may run the event loop, and acknowledgements come in.
        if (!Lists(*msg, contact))
            continue;
        hooks.overdue(*msg, contact);
        if (lastChance && Lists(*msg, contact))
            hooks.giveUp(*msg, contact);
    }
    if (!lastChance) {
        hooks.transmit(*msg);
        return true;
    }
    Unlink(msg);
    return false;
}

void TPendingMessages::Collect(std::set<const TQMsg*>& into) const {
    for (const TpQMsg& msg : waiting_)
        into.insert(msg.get());
}
