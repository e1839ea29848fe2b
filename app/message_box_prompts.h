// The real message boxes, titled with the application's title.
#pragma once

#include "user_prompts.h"

class MessageBoxPrompts : public UserPrompts {
  public:
    void ShowMessage(const QString& text) override;
    bool Confirm(const QString& text) override;
};
