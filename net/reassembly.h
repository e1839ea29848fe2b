// Puts received datagrams together into messages.  A message whose
// declared length exceeds what has come so far waits for the next datagram
// from the same address; one from another address gives it up.  A
// datagram that does not decode is dropped whole, and bytes beyond the
// declared length are dropped.
#pragma once

#include "qmsg.h"

#include <memory>
#include <string>
#include <string_view>

class TReassembler {
  public:
    // The message this datagram completes, if any, with its FromAddress.
    std::unique_ptr<TQMsg> Add(std::string_view bytes, const std::string& fromIP);
    // Forgets a message still waiting for datagrams.
    void Reset() { partial_.reset(); }

  private:
    std::unique_ptr<TQMsg> partial_;
};
