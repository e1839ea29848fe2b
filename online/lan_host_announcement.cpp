#include "lan_host_announcement.h"

#include <QTimer>
#include <chrono>
#include <random>

namespace {

// The announcer decides when an announcement is due; the timer only looks
// often enough that one is never a whole interval late.
constexpr int kLookIntervalMs = 250;

std::int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::uint64_t NewGameId() {
    std::random_device random;
    return (static_cast<std::uint64_t>(random()) << 32) | random();
}

} // namespace

TLanHostAnnouncement::TLanHostAnnouncement(const std::string& localAddress, int port)
    : sender_(TMulticastGroup{kLanGroup, port, localAddress}),
      announcer_([this](const std::string& datagram) { sender_.Send(datagram); }),
      timer_(std::make_unique<QTimer>()) {
    timer_->setInterval(kLookIntervalMs);
    QObject::connect(timer_.get(), &QTimer::timeout, timer_.get(),
                     [this] { announcer_.Tick(NowMs()); });
}

TLanHostAnnouncement::~TLanHostAnnouncement() {
    Stop();
}

void TLanHostAnnouncement::Start(const std::string& name, const std::string& players) {
    game_ = {TLanKind::Open, NewGameId(), name, players};
    announcer_.Announce(game_, NowMs());
    timer_->start();
}

void TLanHostAnnouncement::SetPlayers(const std::string& players) {
    if (!announcer_.Announcing())
        return;
    game_.players = players;
    announcer_.Announce(game_, NowMs());
}

void TLanHostAnnouncement::SetRunning(const std::string& players) {
    if (!announcer_.Announcing())
        return;
    game_.kind = TLanKind::Running;
    game_.players = players;
    announcer_.Announce(game_, NowMs());
}

void TLanHostAnnouncement::Stop() {
    timer_->stop();
    announcer_.Withdraw();
}
