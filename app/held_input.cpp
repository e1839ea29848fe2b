#include "held_input.h"

#include <QTimer>

HeldInput::HeldInput(std::function<bool()> busy, Run run, QObject* parent)
    : QObject(parent), busy_(std::move(busy)), run_(std::move(run)) {}

bool HeldInput::Hold(std::function<void()> input) {
    if (!busy_())
        return false;
    held_.push_back(std::move(input));
    return true;
}

void HeldInput::LobbyAnswered() {
    if (!held_.empty())
        QTimer::singleShot(0, this, [this] { Replay(); });
}

void HeldInput::Replay() {
    while (!held_.empty() && !busy_()) {
        const std::function<void()> input = held_.front();
        held_.erase(held_.begin());
        run_(input);
    }
}
