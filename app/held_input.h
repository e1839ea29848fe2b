// Input that would change the game or ask the lobby again, kept while a
// lobby request runs and carried out in order once the lobby has answered
// (after the request's callback has taken its reply).
#pragma once

#include <QObject>
#include <functional>
#include <vector>

class HeldInput : public QObject {
  public:
    using Run = std::function<void(const std::function<void()>& input)>;

    // `busy` tells whether a request runs; `run` carries an input out.
    HeldInput(std::function<bool()> busy, Run run, QObject* parent = nullptr);

    // Runs the input at once, or keeps it while a request runs; true when
    // it was kept.
    bool Hold(std::function<void()> input);
    // The lobby has answered: what was kept runs once the current event is
    // over, while no other request has started.
    void LobbyAnswered();

  private:
    void Replay();

    std::function<bool()> busy_;
    Run run_;
    std::vector<std::function<void()>> held_;
};
