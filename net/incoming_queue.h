// What waits to be handled, in the order it happened: messages that
// arrived (their acknowledgements already went out), admissions decided at
// receipt, messages a link settled, peers that fell silent and connect
// requests never answered.  Handled one at a time, never from inside
// itself: a handler may run the event loop for seconds, and whatever
// arrives meanwhile waits its turn behind it.
#pragma once

#include "contact.h"
#include "qmsg.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct TReceived {
    using TpQMsg = std::shared_ptr<TQMsg>;
    enum class What {
        Message,          // msg from its sender
        Admission,        // the host admitted contact with the request msg
        Settled,          // contact acknowledged the numbered message msg
        GivenUp,          // contact fell silent, owing the messages owed
        RequestUnanswered // the connect request msg was never answered
    };
    TReceived(What w, TpQMsg m, TpContact c = nullptr)
        : what(w), msg(std::move(m)), contact(std::move(c)) {}
    // A message that came with a trailer; its acknowledgement went out.
    static TReceived Linked(TpQMsg m) {
        TReceived received(What::Message, std::move(m));
        received.acknowledged = true;
        received.linked = true;
        return received;
    }

    What what;
    TpQMsg msg;
    TpContact contact;
    bool acknowledged = false;      // a Message whose acknowledgement went out
    bool linked = false;            // a Message that came with a trailer
    std::vector<TpQMsg> owed;       // GivenUp
    std::vector<TpContact> members; // Admission: those present when admitted
    std::string why;                // GivenUp: a line for the log
};

class TIncomingQueue {
  public:
    // The entry stays where it is while later ones are pushed.
    TReceived& Push(TReceived received);
    bool Empty() const { return waiting_.empty(); }
    // Messages from this address that wait: a peer that sends faster than
    // a long-running handler lets us take its messages is held back at a
    // cap rather than let to fill the memory.
    std::size_t WaitingFrom(const std::string& address) const;
    // Whether an acknowledgement waits: it may settle what a tick would
    // give up.
    bool AcksWaiting() const;
    // Hands every entry to handle, oldest first, including those pushed
    // meanwhile.  Inside a running Drain it returns at once: the running
    // one takes the new entries.  An error of handle propagates; the
    // entries behind it stay for the next Drain.
    void Drain(const std::function<void(TReceived&)>& handle);

  private:
    void Forget(const TReceived& taken);

    std::deque<TReceived> waiting_;
    std::map<std::string, std::size_t> perSender_; // Messages waiting, by FromAddress
    bool busy_ = false;
};
