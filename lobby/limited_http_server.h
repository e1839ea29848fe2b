#pragma once

#include "limited_socket_stream.h"

#include <httplib.h>

// cpp-httplib's server with what the lobby adds around each connection:
// one request per connection through a LimitedSocketStream, a listen
// queue long enough for a burst of players, and no SO_REUSEPORT (with it a
// second lobby could bind the same port unnoticed and take half of the
// requests).
class LimitedHttpServer : public httplib::Server {
  public:
    explicit LimitedHttpServer(const LimitedSocketStream::Limits& limits);

    // To be called once bound.
    void WidenListenQueue();

  private:
    bool process_and_close_socket(socket_t socket) override;

    LimitedSocketStream::Limits limits_;
};
