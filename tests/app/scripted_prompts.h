// Answers the game's message boxes from a script and keeps what they said.
#pragma once

#include "user_prompts.h"

#include <QStringList>
#include <deque>

class ScriptedPrompts : public UserPrompts {
  public:
    void ShowMessage(const QString& text) override { messages.append(text); }
    bool Confirm(const QString& text) override {
        questions.append(text);
        if (answers.empty())
            return false;
        const bool yes = answers.front();
        answers.pop_front();
        return yes;
    }

    std::deque<bool> answers; // the next Confirm answers; No once they run out
    QStringList messages;
    QStringList questions;
};
