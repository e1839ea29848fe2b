// A zellhop-bot process, read line by line: what it printed, and waits for
// a line to come.  Killed when the object goes.
#pragma once

#include <QProcess>
#include <QStringList>
#include <string>
#include <vector>

class BotProcess {
  public:
    explicit BotProcess(const std::vector<std::string>& args,
                        const std::vector<std::string>& prefix = {});
    ~BotProcess();
    BotProcess(const BotProcess&) = delete;
    BotProcess& operator=(const BotProcess&) = delete;

    // Runs the event loop until the line has come (or the time is up).
    bool WaitForLine(const std::string& line, int timeoutMs = 30000);
    bool WaitForLinePrefix(const std::string& prefix, int timeoutMs = 30000);
    // The last line so far that begins with the prefix, or "".
    std::string LineWithPrefix(const std::string& prefix) const;
    void Send(const std::string& line);
    // SIGKILL, as a crash or a power cut ends a program.
    void Kill();
    // Everything it printed, for a failure's message.
    std::string Output() const;

  private:
    void ReadLines();
    bool WaitFor(const std::function<bool()>& done, int timeoutMs);

    QProcess process_;
    QStringList lines_;
    QByteArray pending_;
};
