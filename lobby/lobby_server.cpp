#include "lobby_server.h"

#include "bounded_task_queue.h"
#include "limited_http_server.h"

#include <httplib.h>
#include <stdexcept>

namespace {

constexpr int kStatusUriTooLong = 414;
constexpr int kStatusInternalError = 500;
constexpr std::chrono::milliseconds kStartPoll{1};

std::string Reason(int status) {
    switch (status) {
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Payload Too Large";
    case 414:
        return "URI Too Long";
    case 500:
        return "Internal Server Error";
    default:
        return "Error";
    }
}

// The game reads a reply of length 0 until the connection closes, so no
// reply may be empty.
void SetStatusText(httplib::Response& response) {
    response.set_content(std::to_string(response.status) + " " + Reason(response.status) + "\n",
                         "text/plain");
}

std::string QueryOf(const std::string& target) {
    const std::size_t mark = target.find('?');
    return mark == std::string::npos ? std::string{} : target.substr(mark + 1);
}

} // namespace

LobbyServer::LobbyServer(LobbyService& service, ServerSettings settings, Log log)
    : service_(service), settings_(std::move(settings)), log_(std::move(log)),
      http_(std::make_unique<LimitedHttpServer>(
          LimitedSocketStream::Limits{settings_.maxRequestBytes, settings_.readTimeout,
                                      settings_.writeTimeout, settings_.requestDeadline})) {}

LobbyServer::~LobbyServer() {
    Stop();
}

int LobbyServer::Start() {
    Configure();
    const int port = Bind();
    thread_ = std::thread([this] {
        http_->listen_after_bind();
        listenEnded_ = true;
    });
    // Stop must find the server running, or it could not end it.
    while (!http_->is_running() && !listenEnded_)
        std::this_thread::sleep_for(kStartPoll);
    return port;
}

void LobbyServer::Stop() {
    if (!thread_.joinable())
        return;
    http_->stop();
    thread_.join();
}

int LobbyServer::Bind() {
    const std::string where = settings_.address + ":" + std::to_string(settings_.port);
    int port = -1;
    if (settings_.port == 0)
        port = http_->bind_to_any_port(settings_.address);
    else if (http_->bind_to_port(settings_.address, settings_.port))
        port = settings_.port;
    if (port <= 0)
        throw std::runtime_error("cannot listen on " + where +
                                 " (in use, not an address of this machine, or a port below "
                                 "1024 without the right to bind it)");
    http_->WidenListenQueue();
    return port;
}

void LobbyServer::Configure() {
    ConfigureLimits();
    ConfigureHandlers();
}

void LobbyServer::ConfigureLimits() {
    const ServerSettings& s = settings_;
    http_->new_task_queue = [threads = s.threads, capacity = s.maxConnections] {
        // cpp-httplib takes ownership of the queue it is given.
        return std::make_unique<BoundedTaskQueue>(threads, capacity).release();
    };
    http_->set_payload_max_length(s.maxPayload);
    http_->set_default_headers(
        {{"X-Content-Type-Options", "nosniff"}, {"Cache-Control", "no-store"}});

    http_->set_pre_routing_handler([maxTarget = s.maxTargetLength](const httplib::Request& request,
                                                                   httplib::Response& response) {
        if (request.target.size() <= maxTarget)
            return httplib::Server::HandlerResponse::Unhandled;
        response.status = kStatusUriTooLong;
        SetStatusText(response);
        return httplib::Server::HandlerResponse::Handled;
    });
}

void LobbyServer::ConfigureHandlers() {
    const auto route = [this](const httplib::Request& request, httplib::Response& response) {
        Route(request, response);
    };
    http_->Get(".*", route);
    http_->Post(".*", route);
    http_->set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (response.body.empty())
            SetStatusText(response);
    });
    http_->set_exception_handler(
        [this](const httplib::Request&, httplib::Response& response, std::exception_ptr error) {
            response.status = kStatusInternalError;
            SetStatusText(response);
            if (!log_)
                return;
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& e) {
                log_(std::string("error: ") + e.what());
            } catch (...) {
                log_("error: unknown exception");
            }
        });
    if (log_)
        // The query is left out: it holds passwords and session ids.
        http_->set_logger([this](const httplib::Request& request, const httplib::Response& reply) {
            log_(request.remote_addr + " " + request.method + " " + request.path + " " +
                 std::to_string(reply.status));
        });
}

void LobbyServer::Route(const httplib::Request& request, httplib::Response& response) {
    const LobbyReply reply = service_.Handle(
        {request.method, request.path, QueryOf(request.target), request.body, request.remote_addr});
    response.status = reply.status;
    for (const auto& [name, value] : reply.headers)
        response.set_header(name, value);
    response.set_content(reply.body, reply.contentType);
}
