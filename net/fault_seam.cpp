#include "fault_seam.h"

#include <QObject>
#include <QTimer>
#include <algorithm>
#include <charconv>
#include <cstdlib>

namespace {

constexpr double kGeneratorRange = 4294967296.0; // 2^32: mt19937 gives 32-bit words

bool ReadShare(std::string_view text, double& share) {
    // std::from_chars for double; a share is a plain decimal.
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), share);
    return ec == std::errc() && end == text.data() + text.size() && share >= 0 && share <= 1;
}

template <typename Number> bool ReadWhole(std::string_view text, Number& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && value >= 0;
}

bool ReadSetting(std::string_view name, std::string_view value, TFaultSettings& s) {
    if (name == "loss")
        return ReadShare(value, s.loss);
    if (name == "duplicate")
        return ReadShare(value, s.duplicate);
    if (name == "reorder")
        return ReadShare(value, s.reorder);
    if (name == "late")
        return ReadWhole(value, s.lateMs);
    if (name == "delay")
        return ReadWhole(value, s.delayMs);
    if (name == "seed")
        return ReadWhole(value, s.seed);
    return false;
}

} // namespace

std::optional<TFaultSettings> TFaultSettings::FromText(std::string_view text) {
    TFaultSettings settings;
    if (text.empty())
        return settings;
    for (;;) {
        const std::size_t comma = text.find(',');
        const std::string_view part = text.substr(0, comma);
        const std::size_t equals = part.find('=');
        if (equals == std::string_view::npos ||
            !ReadSetting(part.substr(0, equals), part.substr(equals + 1), settings))
            return std::nullopt;
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    return settings;
}

TFaultSettings TFaultSettings::FromEnvironment() {
    const char* text = std::getenv(kFaultsVariable);
    if (text == nullptr)
        return {};
    return FromText(text).value_or(TFaultSettings{});
}

TFaultSeam::TFaultSeam(const TFaultSettings& settings, TLater later)
    : settings_(settings), random_(settings.seed), later_(std::move(later)) {
    if (!later_)
        context_ = std::make_unique<QObject>();
}

TFaultSeam::~TFaultSeam() {
    *alive_ = false;
}

bool TFaultSeam::Chance(double share) {
    return static_cast<double>(random_()) / kGeneratorRange < share;
}

int TFaultSeam::Hold() {
    const int late = std::max(settings_.lateMs, 1);
    return 1 + static_cast<int>(random_() % static_cast<uint32_t>(late));
}

void TFaultSeam::Pass(const std::string& bytes, const TDeliver& deliver) {
    ++counts_.passed;
    // Every datagram draws the same five numbers, so the decisions about
    // one datagram never depend on those about the earlier ones.
    const bool lost = Chance(settings_.loss);
    const bool repeated = Chance(settings_.duplicate);
    const bool held = Chance(settings_.reorder);
    const int holdMs = Hold();
    const int copyMs = Hold();
    if (lost) {
        ++counts_.lost;
        return;
    }
    if (held)
        ++counts_.held;
    DeliverAfter(settings_.delayMs + (held ? holdMs : 0), bytes, deliver);
    if (repeated) {
        ++counts_.repeated;
        DeliverAfter(settings_.delayMs + copyMs, bytes, deliver);
    }
}

void TFaultSeam::DeliverAfter(int ms, const std::string& bytes, const TDeliver& deliver) {
    if (ms <= 0) {
        deliver(bytes);
        return;
    }
    if (later_) {
        later_(ms, [alive = std::weak_ptr<bool>(alive_), deliver, bytes] {
            if (const auto live = alive.lock(); live && *live)
                deliver(bytes);
        });
        return;
    }
    QTimer::singleShot(ms, context_.get(), [deliver, bytes] { deliver(bytes); });
}
