#include "qt_environment.h"

#include "udp_datagram_socket.h"

#include <QTimer>
#include <algorithm>
#include <climits>

namespace {

class TQtTimer : public TCommTimer {
  public:
    TQtTimer(std::function<void()> tick, bool singleShot) {
        timer_.setSingleShot(singleShot);
        QObject::connect(&timer_, &QTimer::timeout, &timer_, std::move(tick));
    }
    void SetInterval(TMillis interval) override {
        timer_.setInterval(static_cast<int>(std::clamp<long long>(interval.count(), 0, INT_MAX)));
    }
    void Start() override { timer_.start(); }
    void Stop() override { timer_.stop(); }

  private:
    QTimer timer_;
};

} // namespace

std::unique_ptr<TCommTimer> TQtEnvironment::MakeTimer(std::function<void()> tick, bool singleShot) {
    return std::make_unique<TQtTimer>(std::move(tick), singleShot);
}

std::unique_ptr<TDatagramSocket> TQtEnvironment::OpenSocket(const std::string& localAddress,
                                                            int port, TSocketEvents events) {
    return std::make_unique<TUdpDatagramSocket>(localAddress, port, std::move(events));
}
