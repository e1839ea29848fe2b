#include "limited_http_server.h"

#include <sys/socket.h>
#include <unistd.h>

namespace {

// cpp-httplib listens with a queue of 5; a burst overflows it, and the
// system then leaves connections half-open for seconds.
constexpr int kListenQueue = 512;

} // namespace

LimitedHttpServer::LimitedHttpServer(const LimitedSocketStream::Limits& limits) : limits_(limits) {
    // SO_REUSEADDR alone, so that a restart can bind while old connections
    // linger.
    set_socket_options([](socket_t socket) {
        const int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
}

void LimitedHttpServer::WidenListenQueue() {
    ::listen(svr_sock_, kListenQueue);
}

bool LimitedHttpServer::process_and_close_socket(socket_t socket) {
    bool closed = false;
    bool served = false;
    {
        LimitedSocketStream stream(socket, limits_);
        // The game makes one request per connection; closing after it also
        // frees the worker at once.
        served = process_request(stream, true, closed, nullptr);
    }
    shutdown(socket, SHUT_RDWR);
    close(socket);
    return served;
}
