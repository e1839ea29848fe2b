// The one way the game talks to the user in a box: plain messages and
// Yes/No questions.  The game shows message boxes; the tests answer from a
// script.
#pragma once

#include <QString>

class UserPrompts {
  public:
    virtual ~UserPrompts() = default;
    // A plain message box with the application's title and an OK button.
    virtual void ShowMessage(const QString& text) = 0;
    // A confirmation box with Yes and No; true only for Yes.
    virtual bool Confirm(const QString& text) = 0;
};
