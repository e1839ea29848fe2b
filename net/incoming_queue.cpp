#include "incoming_queue.h"

#include "wire_format.h"

#include <algorithm>

TReceived& TIncomingQueue::Push(TReceived received) {
    if (received.what == TReceived::What::Message)
        ++perSender_[received.msg->FromAddress];
    waiting_.push_back(std::move(received));
    return waiting_.back();
}

std::size_t TIncomingQueue::WaitingFrom(const std::string& address) const {
    const auto it = perSender_.find(address);
    return it == perSender_.end() ? 0 : it->second;
}

void TIncomingQueue::Forget(const TReceived& taken) {
    if (taken.what != TReceived::What::Message)
        return;
    const auto it = perSender_.find(taken.msg->FromAddress);
    if (it != perSender_.end() && --it->second == 0)
        perSender_.erase(it);
}

bool TIncomingQueue::AcksWaiting() const {
    return std::any_of(waiting_.begin(), waiting_.end(), [](const TReceived& r) {
        return r.what == TReceived::What::Message && r.msg->MsgType == mtAck;
    });
}

void TIncomingQueue::Drain(const std::function<void(TReceived&)>& handle) {
    if (busy_)
        return;
    busy_ = true;
    try {
        while (!waiting_.empty()) {
            TReceived received = std::move(waiting_.front());
            waiting_.pop_front();
            Forget(received);
            handle(received);
        }
    } catch (...) {
        busy_ = false;
        throw;
    }
    busy_ = false;
}
