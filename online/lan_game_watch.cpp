#include "lan_game_watch.h"

#include <QTimer>
#include <chrono>

namespace {

// How often silent games are looked for: an entry leaves at most this much
// after its lifetime.
constexpr int kExpiryLookMs = 250;

std::int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

TLanGameWatch::TLanGameWatch(const std::string& localAddress, OnChanged onChanged, int port)
    : onChanged_(std::move(onChanged)), timer_(std::make_unique<QTimer>()) {
    // One byte more than an announcement holds, so a longer datagram is
    // seen as such and dropped.
    receiver_ = std::make_unique<TMulticastReceiver>(
        TMulticastGroup{kLanGroup, port, localAddress}, kLanMaxDatagramBytes + 1,
        [this](std::string_view datagram, const std::string& from) { Heard(datagram, from); });
    timer_->setInterval(kExpiryLookMs);
    QObject::connect(timer_.get(), &QTimer::timeout, timer_.get(), [this] { Expire(); });
    timer_->start();
}

TLanGameWatch::~TLanGameWatch() = default;

void TLanGameWatch::Heard(std::string_view datagram, const std::string& from) {
    if (games_.Take(datagram, from, NowMs()) && onChanged_)
        onChanged_(games_.Games());
}

void TLanGameWatch::Expire() {
    if (games_.Expire(NowMs()) && onChanged_)
        onChanged_(games_.Games());
}
