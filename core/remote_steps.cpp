#include "remote_steps.h"

bool RemoteSteps::Push(const RemoteStep& step) {
    std::deque<Arrived>& line = lines_[step.sender];
    if (line.size() >= kMaxPerSender)
        return false;
    line.push_back({step, arrivals_++});
    return true;
}

std::optional<RemoteStep>
RemoteSteps::TakeReady(const std::function<bool(const RemoteStep&)>& ready) {
    auto chosen = lines_.end();
    for (auto it = lines_.begin(); it != lines_.end(); ++it) {
        const Arrived& front = it->second.front();
        if ((chosen == lines_.end() || front.order < chosen->second.front().order) &&
            ready(front.step))
            chosen = it;
    }
    if (chosen == lines_.end())
        return std::nullopt;
    const RemoteStep step = chosen->second.front().step;
    chosen->second.pop_front();
    if (chosen->second.empty())
        lines_.erase(chosen);
    return step;
}

bool RemoteSteps::Waiting(PlayerId sender) const {
    return lines_.contains(sender);
}
