#include "incoming_queue.h"

#include "wire_format.h"

#include <algorithm>

TReceived& TIncomingQueue::Push(TReceived received) {
    waiting_.push_back(std::move(received));
    return waiting_.back();
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
            handle(received);
        }
    } catch (...) {
        busy_ = false;
        throw;
    }
    busy_ = false;
}
