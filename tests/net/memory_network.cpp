#include "memory_network.h"

#include "udp_endpoint.h"
#include "wire_format.h"

#include <arpa/inet.h>
#include <stdexcept>

namespace {

constexpr const char* kAnyAddress = "0.0.0.0";

std::string Key(const std::string& address, int port) {
    return address + ":" + std::to_string(port);
}

bool IsDotted(const std::string& address) {
    in_addr parsed{};
    return inet_pton(AF_INET, address.c_str(), &parsed) == 1;
}

// A timer's state, reached weakly by its scheduled shots.
struct TimerState {
    std::function<void()> tick;
    bool singleShot = false;
    TMillis interval{0};
    bool running = false;
    bool ticking = false; // Qt does not fire a timer again inside its own tick
    uint64_t generation = 0;
};

class TMemoryTimer : public TCommTimer {
  public:
    TMemoryTimer(TMemoryNetwork& network, std::function<void()> tick, bool singleShot)
        : network_(network), state_(std::make_shared<TimerState>()) {
        state_->tick = std::move(tick);
        state_->singleShot = singleShot;
    }
    void SetInterval(TMillis interval) override {
        state_->interval = interval;
        if (state_->running)
            Start();
    }
    void Start() override {
        state_->running = true;
        Schedule(network_, state_, network_.Now() + state_->interval, ++state_->generation);
    }
    void Stop() override {
        state_->running = false;
        ++state_->generation;
    }

  private:
    static void Schedule(TMemoryNetwork& network, const std::shared_ptr<TimerState>& state,
                         TLinkTime at, uint64_t generation) {
        network.At(at, [&network, weak = std::weak_ptr<TimerState>(state), at, generation] {
            const std::shared_ptr<TimerState> s = weak.lock();
            if (!s || !s->running || s->generation != generation)
                return;
            if (s->singleShot)
                s->running = false;
            else
                Schedule(network, s, at + std::max(s->interval, TMillis(1)), generation);
            if (s->ticking)
                return;
            s->ticking = true;
            struct Done {
                TimerState& s;
                ~Done() { s.ticking = false; }
            } done{*s};
            const auto tick = s->tick;
            tick();
        });
    }

    TMemoryNetwork& network_;
    std::shared_ptr<TimerState> state_;
};

} // namespace

struct TMemoryNetwork::SocketState {
    std::string address;
    int port = 0;
    bool bound = false;
    TSocketEvents events;
    TOnWire wireTap;
    std::unique_ptr<TFaultSeam> seam;
};

class TMemorySocket : public TDatagramSocket {
  public:
    TMemorySocket(TMemoryNetwork& network, const std::string& address, int port,
                  TSocketEvents events)
        : network_(network), state_(std::make_shared<TMemoryNetwork::SocketState>()) {
        state_->events = std::move(events);
        Rebind(address, port);
    }
    ~TMemorySocket() override { Unbind(); }

    void SendTo(const std::string& address, int port, const std::string& bytes) override {
        if (bytes.empty())
            throw std::runtime_error(kStreamInvalidText);
        if (bytes.size() > kMaxDatagramBytes)
            throw std::length_error(kMessageTooLongText);
        if (IsDotted(address)) {
            SendResolved(state_, network_, address, port, bytes);
            return;
        }
        if (address.size() > kMaxHostNameLength)
            throw UDPSockError(kLookupCancelledText);
        LookUp(address, port, bytes);
    }
    void Rebind(const std::string& address, int port) override {
        Unbind();
        state_->address = address;
        state_->port = port;
        const std::string key = Key(address, port);
        const auto it = network_.bound_.find(key);
        if (it != network_.bound_.end() && !it->second.expired())
            return; // taken: this socket receives nothing
        network_.bound_[key] = state_;
        state_->bound = true;
    }
    void SetFaults(const TFaultSettings& settings) override {
        if (!settings.Active()) {
            state_->seam.reset();
            return;
        }
        TMemoryNetwork& network = network_;
        state_->seam =
            std::make_unique<TFaultSeam>(settings, [&network](int ms, std::function<void()> call) {
                network.At(network.Now() + TMillis(ms), std::move(call));
            });
    }
    const TFaultSeam* Faults() const override { return state_->seam.get(); }
    void SetWireTap(TOnWire tap) override { state_->wireTap = std::move(tap); }

  private:
    using TpState = std::shared_ptr<TMemoryNetwork::SocketState>;

    static void SendResolved(const TpState& state, TMemoryNetwork& network,
                             const std::string& address, int port, const std::string& bytes) {
        if (address == kAnyAddress)
            throw UDPSockError(kNullAddressText);
        const auto onWire = [weak = std::weak_ptr(state), &network, address,
                             port](const std::string& b) {
            const TpState s = weak.lock();
            if (!s)
                return;
            if (s->wireTap)
                s->wireTap(b, address, port);
            const std::string from = s->address == kAnyAddress ? "127.0.0.1" : s->address;
            network.Deliver(b, from, s->bound ? s->port : 0, address, port);
        };
        if (state->seam)
            state->seam->Pass(bytes, onWire);
        else
            onWire(bytes);
    }

    void LookUp(const std::string& name, int port, const std::string& bytes) {
        TMemoryNetwork& network = network_;
        network.At(network.Now() + network.lookupTime_,
                   [weak = std::weak_ptr(state_), &network, name, port, bytes] {
                       const TpState s = weak.lock();
                       if (!s)
                           return; // closed: dropped without a word
                       const auto host = network.hosts_.find(name);
                       try {
                           if (host == network.hosts_.end())
                               throw UDPSockError(kLookupCancelledText);
                           SendResolved(s, network, host->second, port, bytes);
                       } catch (const UDPSockError& e) {
                           const auto failed = s->events.sendFailed;
                           if (!failed)
                               throw;
                           failed(e.what());
                       }
                   });
    }

    void Unbind() {
        if (!state_->bound)
            return;
        network_.bound_.erase(Key(state_->address, state_->port));
        state_->bound = false;
    }

    TMemoryNetwork& network_;
    TpState state_;
};

TMemoryNetwork::TMemoryNetwork() : start_(std::chrono::hours(1)), now_(start_) {}

TMemoryNetwork::~TMemoryNetwork() = default;

std::unique_ptr<TCommTimer> TMemoryNetwork::MakeTimer(std::function<void()> tick, bool singleShot) {
    return std::make_unique<TMemoryTimer>(*this, std::move(tick), singleShot);
}

std::unique_ptr<TDatagramSocket> TMemoryNetwork::OpenSocket(const std::string& localAddress,
                                                            int port, TSocketEvents events) {
    return std::make_unique<TMemorySocket>(*this, localAddress, port, std::move(events));
}

void TMemoryNetwork::At(TLinkTime at, std::function<void()> call) {
    due_.emplace(std::make_pair(std::max(at, now_), sequence_++), std::move(call));
}

void TMemoryNetwork::Deliver(const std::string& bytes, const std::string& from, int fromPort,
                             const std::string& to, int toPort) {
    if (filter_ && !filter_(bytes, from, to))
        return;
    At(now_ + latency_, [this, bytes, from, fromPort, to, toPort] {
        auto it = bound_.find(Key(to, toPort));
        if (it == bound_.end())
            it = bound_.find(Key(kAnyAddress, toPort));
        if (it == bound_.end())
            return;
        const std::shared_ptr<SocketState> socket = it->second.lock();
        if (!socket)
            return;
        const auto received = socket->events.received; // the socket may close inside it
        if (received)
            received(bytes, from, fromPort);
    });
}

bool TMemoryNetwork::RunUntil(const std::function<bool()>& cond, int ms) {
    const TLinkTime deadline = now_ + TMillis(ms);
    for (;;) {
        if (cond())
            return true;
        if (due_.empty() || due_.begin()->first.first > deadline) {
            now_ = std::max(now_, deadline);
            return cond();
        }
        auto next = due_.extract(due_.begin());
        now_ = std::max(now_, next.key().first);
        try {
            next.mapped()();
        } catch (const std::exception& e) {
            escaped_.push_back(e.what());
        }
    }
}

void TMemoryNetwork::RunFor(int ms) {
    RunUntil([] { return false; }, ms);
}

TMillis TMemoryNetwork::Elapsed() const {
    return std::chrono::duration_cast<TMillis>(now_ - start_);
}
