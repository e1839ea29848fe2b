#include "http_front.h"

#include "clean_text.h"
#include "lobby_protocol.h"
#include "work_queue.h"

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <unordered_map>
#include <unordered_set>

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using boost::system::error_code;

namespace {

constexpr int kListenBacklog = 1024;
// A kept-alive connection is closed after this many requests, so that one
// client cannot hold it for ever.
constexpr unsigned kMaxRequestsPerConnection = 1000;
// How long a client whose connection ends gets to read what it was sent
// before the socket closes under it.
constexpr std::chrono::seconds kLingerTime{1};
// Refusals being sent at once; beyond that, new connections are just closed.
constexpr std::size_t kMaxRefusing = 1024;
// After the process ran out of descriptors, accepting waits this long.
constexpr std::chrono::milliseconds kAcceptPause{100};
constexpr std::chrono::seconds kOverloadRetryAfter{5};
// Stop waits at most this long for the requests being answered.
constexpr std::chrono::seconds kStopGrace{30};
constexpr std::size_t kFramingAllowance = 4096; // chunk sizes and the like around a body

constexpr int kStatusBadRequest = 400;
constexpr int kStatusPayloadTooLarge = 413;
constexpr int kStatusUriTooLong = 414;
constexpr int kStatusTooManyRequests = 429;
constexpr int kStatusHeaderTooLarge = 431;
constexpr int kStatusInternalError = 500;
constexpr int kStatusUnavailable = 503;

std::string StandardReason(int status) {
    return std::string(http::obsolete_reason(http::int_to_status(static_cast<unsigned>(status))));
}

// A reply of the front itself. Never empty: the game reads a reply of
// length 0 until the connection closes.
LobbyReply FrontReply(int status, std::optional<std::chrono::seconds> retryAfter = {}) {
    LobbyReply reply;
    reply.status = status;
    reply.body = std::to_string(status) + " " + StandardReason(status) + "\n";
    if (retryAfter)
        reply.headers.emplace_back("Retry-After", std::to_string(retryAfter->count()));
    return reply;
}

// What a connection turned away at accept is sent; it has said nothing yet.
const std::string& RefusalBytes() {
    static const std::string kBytes = [] {
        const std::string body = "503 Service Unavailable\n";
        return "HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/plain\r\n"
               "Content-Length: " +
               std::to_string(body.size()) +
               "\r\nRetry-After: " + std::to_string(kOverloadRetryAfter.count()) +
               "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + body;
    }();
    return kBytes;
}

bool OutOfDescriptors(const error_code& error) {
    const int value = error.value();
    return value == EMFILE || value == ENFILE || value == ENOBUFS || value == ENOMEM;
}

std::optional<IpAddress> PeerOf(const tcp::socket& socket) {
    error_code error;
    const tcp::endpoint endpoint = socket.remote_endpoint(error);
    if (error)
        return std::nullopt;
    return IpAddress::Parse(endpoint.address().to_string());
}

// Ends a connection without cutting off what it was sent: no more writing,
// then whatever the client still sends is read and dropped until it closes
// or the linger time is up.
template <class Self> void LingerThenClose(std::shared_ptr<Self> self, beast::tcp_stream& stream) {
    error_code ignored;
    stream.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream.expires_after(kLingerTime);
    struct Drain {
        std::shared_ptr<Self> self;
        beast::tcp_stream& stream;
        std::shared_ptr<std::array<char, 512>> scratch = std::make_shared<std::array<char, 512>>();
        void operator()(error_code error = {}, std::size_t = 0) {
            if (error) {
                error_code ignore;
                stream.socket().close(ignore);
                return;
            }
            stream.async_read_some(asio::buffer(*scratch), std::move(*this));
        }
    };
    Drain{std::move(self), stream}();
}

} // namespace

class Connection;

class HttpFront::Impl {
  public:
    Impl(const ServerSettings& settings, Screen screen, Handler handler, Log log);
    ~Impl();

    int Start();
    void Stop();

    // I/O thread only, from here on.
    void Dispatch(const std::shared_ptr<Connection>& connection, LobbyRequest request);
    void Deliver(std::uint64_t id, LobbyReply reply);
    IpAddress ClientOf(const IpAddress& peer, const std::vector<std::string>& forwardedFor) const {
        return settings_.trustedProxies.ClientOf(peer, forwardedFor);
    }
    std::chrono::seconds TakeRequest(const IpAddress& client) {
        return requestLimiter_.Take(client.LimitKey());
    }
    std::optional<LobbyReply> ScreenRequest(const LobbyRequest& request) const {
        return screen_ ? screen_(request) : std::nullopt;
    }
    void Opened(Connection* connection, const std::string& limitKey);
    void Closed(Connection* connection, const std::string& limitKey);
    void Refusing(int change) { refusing_ += change; }
    bool Logging() const { return static_cast<bool>(log_); }
    void WriteLog(const std::string& line) const {
        if (log_)
            log_(line);
    }
    const ServerSettings& Settings() const { return settings_; }
    bool Stopping() const { return stopping_; }

  private:
    // Replies from the worker and hashing threads pass through here; once
    // the front is gone, late ones are dropped.
    struct Gate {
        std::mutex mutex;
        Impl* front = nullptr;
        void Deliver(std::uint64_t id, LobbyReply reply);
    };

    void Accept();
    void OnAccept(const error_code& error, tcp::socket socket);
    void Refuse(tcp::socket socket);
    void RunLoop();
    void InFlightChange(int change);

    const ServerSettings settings_;
    const Screen screen_;
    const Handler handler_;
    const Log log_;
    RateLimiter requestLimiter_;
    std::unordered_map<std::string, std::size_t> perAddress_;
    std::unordered_set<Connection*> connections_;
    std::unordered_map<std::uint64_t, std::shared_ptr<Connection>> answering_;
    std::uint64_t nextRequest_ = 0;
    std::size_t refusing_ = 0;
    bool stopping_ = false;
    std::shared_ptr<Gate> gate_ = std::make_shared<Gate>();

    std::mutex inFlightMutex_;
    std::condition_variable inFlightDone_;
    std::size_t inFlight_ = 0; // handed to a worker, not yet delivered

    std::unique_ptr<WorkQueue> workers_;
    // Last, so that the connections its handlers hold go first.
    asio::io_context io_{1};
    tcp::acceptor acceptor_{io_};
    asio::steady_timer acceptPause_{io_};
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> keepRunning_;
    std::thread thread_;

    friend class Connection;
};

// One client's connection: read a request within the deadline, hand it on,
// write the reply, and either read the next or close.
class Connection : public std::enable_shared_from_this<Connection> {
  public:
    Connection(HttpFront::Impl& front, tcp::socket socket, IpAddress peer, std::string limitKey)
        : front_(front), stream_(std::move(socket)),
          buffer_(front.Settings().maxHeaderBytes + front.Settings().maxPayload +
                  kFramingAllowance),
          peer_(peer), limitKey_(std::move(limitKey)) {
        front_.Opened(this, limitKey_);
    }
    ~Connection() { front_.Closed(this, limitKey_); }

    void Start() { ReadRequest(); }

    // A reply from the worker, or from the front itself.
    void Reply(LobbyReply reply) {
        BuildResponse(std::move(reply));
        reading_ = false;
        stream_.expires_after(front_.Settings().writeTimeout);
        http::async_write(stream_, response_,
                          [self = shared_from_this()](const error_code& error, std::size_t) {
                              self->OnWritten(error);
                          });
    }

    // On stop: a connection waiting for a request goes now; one being
    // answered goes after its reply.
    void CloseIfReading() {
        if (!reading_)
            return;
        error_code ignored;
        stream_.socket().close(ignored);
    }

  private:
    void ReadRequest() {
        const ServerSettings& settings = front_.Settings();
        parser_.emplace();
        parser_->header_limit(static_cast<std::uint32_t>(settings.maxHeaderBytes));
        parser_->body_limit(settings.maxPayload);
        reading_ = true;
        // The deadline is for the whole request, however slowly it trickles.
        stream_.expires_after(settings.requestDeadline);
        http::async_read(stream_, buffer_, *parser_,
                         [self = shared_from_this()](const error_code& error, std::size_t) {
                             self->OnRead(error);
                         });
    }

    void OnRead(const error_code& error) {
        reading_ = false;
        if (error == http::error::header_limit || error == http::error::buffer_overflow)
            return Refuse(kStatusHeaderTooLarge);
        if (error == http::error::body_limit)
            return Refuse(kStatusPayloadTooLarge);
        // A request that breaks the grammar is answered; a client that closed
        // or never finished in time is not.
        if (error &&
            error.category() == http::make_error_code(http::error::bad_method).category() &&
            error != http::error::end_of_stream && error != http::error::partial_message)
            return Refuse(kStatusBadRequest);
        if (error) {
            // Closed by the client, timed out, or stopped: nobody to answer.
            error_code ignored;
            stream_.socket().close(ignored);
            return;
        }
        Received(parser_->release());
    }

    void Received(http::request<http::string_body> request) {
        ++served_;
        version_ = request.version();
        head_ = request.method() == http::verb::head;
        keepAlive_ = request.keep_alive() && served_ < kMaxRequestsPerConnection;
        const std::string_view target(request.target().data(), request.target().size());
        const std::size_t mark = target.find('?');
        LobbyRequest lobbyRequest;
        lobbyRequest.method = std::string(request.method_string());
        lobbyRequest.path = std::string(target.substr(0, mark));
        if (mark != std::string_view::npos)
            lobbyRequest.query = std::string(target.substr(mark + 1));

        std::vector<std::string> forwardedFor;
        for (auto [field, end] = request.equal_range("X-Forwarded-For"); field != end; ++field)
            forwardedFor.emplace_back(field->value());
        const IpAddress client = front_.ClientOf(peer_, forwardedFor);
        lobbyRequest.clientAddress = client.ToString();
        if (front_.Logging())
            logPrefix_ = clean_text::ForLog(lobbyRequest.clientAddress) +
                         (client == peer_ ? "" : " via " + peer_.ToString()) + " " +
                         clean_text::ForLog(lobbyRequest.method) + " " +
                         clean_text::ForLog(lobbyRequest.path);

        if (target.size() > TargetLimit(lobbyRequest.path))
            return Refuse(kStatusUriTooLong);
        if (const auto wait = front_.TakeRequest(client); wait.count() > 0)
            return Reply(FrontReply(kStatusTooManyRequests, wait));
        lobbyRequest.body = std::move(request.body());
        if (auto refused = front_.ScreenRequest(lobbyRequest))
            return Reply(std::move(*refused));
        stream_.expires_never();
        front_.Dispatch(shared_from_this(), std::move(lobbyRequest));
    }

    std::size_t TargetLimit(const std::string& path) const {
        const ServerSettings& settings = front_.Settings();
        return path == lobby_protocol::kPostCandidatesPath ? settings.maxCandidateTargetLength
                                                           : settings.maxTargetLength;
    }

    // A request that cannot be read on: answered, then the connection ends.
    void Refuse(int status) {
        keepAlive_ = false;
        Reply(FrontReply(status));
    }

    void BuildResponse(LobbyReply reply) {
        response_ = {};
        response_.version(version_);
        response_.result(static_cast<unsigned>(reply.status));
        if (!reply.reason.empty())
            response_.reason(reply.reason);
        response_.set(http::field::content_type, reply.contentType);
        bool cacheSet = false;
        for (const auto& [name, value] : reply.headers) {
            response_.set(name, value);
            cacheSet = cacheSet || beast::iequals(name, "Cache-Control");
        }
        if (!cacheSet)
            response_.set(http::field::cache_control, "no-store");
        response_.set("X-Content-Type-Options", "nosniff");
        if (front_.Stopping())
            keepAlive_ = false;
        response_.keep_alive(keepAlive_);
        if (head_) {
            response_.content_length(reply.body.size());
        } else {
            response_.body() = std::move(reply.body);
            response_.prepare_payload();
        }
        if (!reply.error.empty())
            front_.WriteLog("error: " + clean_text::ForLog(reply.error));
        if (front_.Logging()) {
            if (logPrefix_.empty())
                logPrefix_ = peer_.ToString() + " - -"; // a request that could not be read
            front_.WriteLog(logPrefix_ + " " + std::to_string(reply.status));
            logPrefix_.clear();
        }
    }

    void OnWritten(const error_code& error) {
        if (error) {
            error_code ignored;
            stream_.socket().close(ignored);
            return;
        }
        if (keepAlive_ && !front_.Stopping())
            return ReadRequest();
        // A client that has sent nothing more gets an orderly close at once;
        // one that has would get a reset that may destroy the reply, so it
        // is given time to read it.
        error_code unknown;
        if (buffer_.size() == 0 && stream_.socket().available(unknown) == 0 && !unknown) {
            error_code ignored;
            stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
            stream_.socket().close(ignored);
            return;
        }
        LingerThenClose(shared_from_this(), stream_);
    }

    HttpFront::Impl& front_;
    beast::tcp_stream stream_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    http::response<http::string_body> response_;
    const IpAddress peer_;
    const std::string limitKey_;
    std::string logPrefix_; // client, method and path of the request being answered
    unsigned served_ = 0;
    unsigned version_ = 11;
    bool head_ = false;
    bool keepAlive_ = false;
    bool reading_ = false;
};

// A connection turned away at accept: it gets the 503 and a moment to read it.
class Refusal : public std::enable_shared_from_this<Refusal> {
  public:
    Refusal(HttpFront::Impl& front, tcp::socket socket)
        : front_(front), stream_(std::move(socket)) {
        front_.Refusing(+1);
    }
    ~Refusal() { front_.Refusing(-1); }

    void Start() {
        stream_.expires_after(kLingerTime);
        asio::async_write(stream_, asio::buffer(RefusalBytes()),
                          [self = shared_from_this()](const error_code& error, std::size_t) {
                              if (error)
                                  return;
                              LingerThenClose(self, self->stream_);
                          });
    }

  private:
    HttpFront::Impl& front_;
    beast::tcp_stream stream_;
};

void HttpFront::Impl::Gate::Deliver(std::uint64_t id, LobbyReply reply) {
    std::lock_guard lock(mutex);
    if (front == nullptr)
        return;
    asio::post(front->io_, [front = front, id, reply = std::move(reply)]() mutable {
        front->Deliver(id, std::move(reply));
    });
}

HttpFront::Impl::Impl(const ServerSettings& settings, Screen screen, Handler handler, Log log)
    : settings_(settings), screen_(std::move(screen)), handler_(std::move(handler)),
      log_(std::move(log)), requestLimiter_(settings.requestsPerAddress) {
    gate_->front = this;
}

HttpFront::Impl::~Impl() {
    Stop();
    {
        std::lock_guard lock(gate_->mutex);
        gate_->front = nullptr;
    }
    // The connections go while the I/O context they belong to still exists.
    answering_.clear();
}

void HttpFront::Impl::Opened(Connection* connection, const std::string& limitKey) {
    connections_.insert(connection);
    ++perAddress_[limitKey];
}

void HttpFront::Impl::Closed(Connection* connection, const std::string& limitKey) {
    connections_.erase(connection);
    if (const auto found = perAddress_.find(limitKey); found != perAddress_.end())
        if (--found->second == 0)
            perAddress_.erase(found);
}

int HttpFront::Impl::Start() {
    const std::string where = settings_.address + ":" + std::to_string(settings_.port);
    const auto cannotListen = [&] {
        return std::runtime_error("cannot listen on " + where +
                                  " (in use, not an address of this machine, or a port below "
                                  "1024 without the right to bind it)");
    };
    error_code error;
    const auto address = asio::ip::make_address(settings_.address, error);
    if (error)
        throw cannotListen();
    const tcp::endpoint endpoint(address, static_cast<unsigned short>(settings_.port));
    acceptor_.open(endpoint.protocol(), error);
    // Address reuse alone, so that a restart can bind while old connections
    // linger; never port reuse, with which a second lobby could bind the same
    // port unnoticed and take half of the requests.
    if (!error)
        acceptor_.set_option(tcp::acceptor::reuse_address(true), error);
    if (!error)
        acceptor_.bind(endpoint, error);
    if (!error)
        acceptor_.listen(kListenBacklog, error);
    if (error)
        throw cannotListen();
    const int port = acceptor_.local_endpoint().port();

    workers_ = std::make_unique<WorkQueue>(settings_.threads, settings_.maxQueued);
    keepRunning_.emplace(io_.get_executor());
    Accept();
    thread_ = std::thread([this] { RunLoop(); });
    return port;
}

void HttpFront::Impl::RunLoop() {
    for (;;) {
        try {
            io_.run();
            return;
        } catch (const std::exception& e) {
            WriteLog(std::string("error: ") + clean_text::ForLog(e.what()));
        }
    }
}

void HttpFront::Impl::Stop() {
    if (!thread_.joinable())
        return;
    asio::post(io_, [this] {
        stopping_ = true;
        error_code ignored;
        acceptor_.close(ignored);
        acceptPause_.cancel();
        for (Connection* connection : connections_)
            connection->CloseIfReading();
    });
    {
        std::unique_lock lock(inFlightMutex_);
        inFlightDone_.wait_for(lock, kStopGrace, [this] { return inFlight_ == 0; });
    }
    // The loop ends by itself once the last replies are written and their
    // connections closed.
    keepRunning_.reset();
    thread_.join();
    workers_.reset();
}

void HttpFront::Impl::Accept() {
    acceptor_.async_accept(io_, [this](const error_code& error, tcp::socket socket) {
        OnAccept(error, std::move(socket));
    });
}

void HttpFront::Impl::OnAccept(const error_code& error, tcp::socket socket) {
    if (stopping_ || error == asio::error::operation_aborted)
        return;
    if (error) {
        if (!OutOfDescriptors(error))
            return Accept();
        acceptPause_.expires_after(kAcceptPause);
        acceptPause_.async_wait([this](const error_code& waited) {
            if (!waited && !stopping_)
                Accept();
        });
        return;
    }
    Accept();
    const auto peer = PeerOf(socket);
    if (!peer)
        return;
    error_code ignored;
    socket.set_option(tcp::no_delay(true), ignored);
    std::string limitKey = peer->LimitKey();
    const std::size_t perAddressLimit = settings_.maxConnectionsPerAddress;
    const auto fromHere = perAddress_.find(limitKey);
    const bool overAddressLimit = perAddressLimit > 0 && fromHere != perAddress_.end() &&
                                  fromHere->second >= perAddressLimit &&
                                  !settings_.trustedProxies.Trusts(*peer);
    if (connections_.size() >= settings_.maxConnections || overAddressLimit)
        return Refuse(std::move(socket));
    std::make_shared<Connection>(*this, std::move(socket), *peer, std::move(limitKey))->Start();
}

void HttpFront::Impl::Refuse(tcp::socket socket) {
    if (refusing_ >= kMaxRefusing)
        return; // closed as it goes out of scope
    std::make_shared<Refusal>(*this, std::move(socket))->Start();
}

void HttpFront::Impl::InFlightChange(int change) {
    {
        std::lock_guard lock(inFlightMutex_);
        inFlight_ = static_cast<std::size_t>(static_cast<long>(inFlight_) + change);
    }
    if (change < 0)
        inFlightDone_.notify_all();
}

void HttpFront::Impl::Dispatch(const std::shared_ptr<Connection>& connection,
                               LobbyRequest request) {
    const std::uint64_t id = ++nextRequest_;
    answering_.emplace(id, connection);
    InFlightChange(+1);
    Respond respond = [gate = gate_, id](LobbyReply reply) { gate->Deliver(id, std::move(reply)); };
    const bool queued = workers_->TryPush(
        [this, request = std::move(request), respond = std::move(respond)]() mutable {
            try {
                handler_(request, respond);
            } catch (const std::exception& e) {
                LobbyReply failed = FrontReply(kStatusInternalError);
                failed.error = e.what();
                respond(std::move(failed));
            }
        });
    if (queued)
        return;
    answering_.erase(id);
    InFlightChange(-1);
    connection->Reply(FrontReply(kStatusUnavailable, kOverloadRetryAfter));
}

void HttpFront::Impl::Deliver(std::uint64_t id, LobbyReply reply) {
    const auto found = answering_.find(id);
    if (found == answering_.end())
        return; // answered already
    const std::shared_ptr<Connection> connection = std::move(found->second);
    answering_.erase(found);
    InFlightChange(-1);
    connection->Reply(std::move(reply));
}

HttpFront::HttpFront(const ServerSettings& settings, Screen screen, Handler handler, Log log)
    : impl_(std::make_unique<Impl>(settings, std::move(screen), std::move(handler),
                                   std::move(log))) {}

HttpFront::~HttpFront() = default;

int HttpFront::Start() {
    return impl_->Start();
}

void HttpFront::Stop() {
    impl_->Stop();
}
