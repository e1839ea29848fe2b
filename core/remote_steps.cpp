#include "remote_steps.h"

bool RemoteSteps::Push(const RemoteStep& step) {
    Line& line = lines_[step.sender];
    const bool leave = step.kind == RemoteStep::kLeave;
    const bool full = line.steps.size() >= kMaxPerSender || line.turnsEnded >= kMaxTurnsPerSender;
    if (line.leaving || (full && !leave)) {
        if (line.steps.empty())
            lines_.erase(step.sender);
        return false;
    }
    line.steps.push_back({step, arrivals_++});
    line.turnsEnded += step.kind == RemoteStep::kEndTurn ? 1 : 0;
    line.leaving = leave;
    return true;
}

std::optional<RemoteStep>
RemoteSteps::TakeReady(const std::function<bool(const RemoteStep&)>& ready) {
    auto chosen = lines_.end();
    for (auto it = lines_.begin(); it != lines_.end(); ++it) {
        const Arrived& front = it->second.steps.front();
        if ((chosen == lines_.end() || front.order < chosen->second.steps.front().order) &&
            ready(front.step))
            chosen = it;
    }
    if (chosen == lines_.end())
        return std::nullopt;
    Line& line = chosen->second;
    const RemoteStep step = line.steps.front().step;
    line.steps.pop_front();
    line.turnsEnded -= step.kind == RemoteStep::kEndTurn ? 1 : 0;
    if (line.steps.empty())
        lines_.erase(chosen);
    return step;
}

bool RemoteSteps::Waiting(PlayerId sender) const {
    return lines_.contains(sender);
}
