// The program's start: the application's title and its windows, created
// once in a fixed order and reused until the program ends.
#pragma once

#include <QApplication>
#include <memory>

class TfMain;
class UserPrompts;

// Shown on the task bar and as the caption of every message box.
inline constexpr const char* kApplicationTitle = "Zellhop";

// The game's application object.  An error that leaves an event handler is
// shown in a message box and the program goes on: the main window's handlers
// catch their own, and this catches whatever else reaches the event loop
// (the messaging component's socket and timer notifications).
class ZellhopApplication : public QApplication {
  public:
    ZellhopApplication(int& argc, char** argv);
    ~ZellhopApplication() override;
    bool notify(QObject* receiver, QEvent* event) override;

  private:
    std::unique_ptr<UserPrompts> prompts_;
};

// Sets the application's title (and nothing that would change the main
// window's caption).
void InitApplication(QApplication& app);

// Creates the windows, hidden, in the order the program has always used:
// the main window first (so that it is the main window), then the options,
// player configuration and about dialogs.  The dialogs belong to the main
// window and go with it.  Message boxes go through `prompts`, or through
// real message boxes when none is given.  The settings are read after this
// (TfMain::LoadSettings), since they go into the options dialog.
std::unique_ptr<TfMain> CreateWindows(UserPrompts* prompts = nullptr);
