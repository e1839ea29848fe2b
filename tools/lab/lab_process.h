// A program running inside one namespace of a router lab, talked to by
// lines: what it prints on its standard output is read line by line with
// a time limit, and lines can be written to its standard input.  Its
// error output goes to a file (or is dropped).  It is ended with the
// object: politely first, then by force.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

class TLabProcess {
  public:
    using TMillis = std::chrono::milliseconds;

    // Starts argv inside namespace ns ("" for the caller's own), with
    // `environment` ("NAME=VALUE") added to the caller's.  It is killed
    // when the caller dies, however it dies (setpriv --pdeathsig, where
    // util-linux has it).  Throws TLabError when it cannot start.
    TLabProcess(const std::string& ns, const std::vector<std::string>& argv,
                const std::string& errorFile = "", const std::vector<std::string>& environment = {});
    ~TLabProcess();
    TLabProcess(const TLabProcess&) = delete;
    TLabProcess& operator=(const TLabProcess&) = delete;

    void WriteLine(const std::string& line);
    // End of input: the probes take it as "finish and exit".
    void CloseInput();
    // The next whole line, without its line end; none by the time limit
    // or once the program has closed its output.
    std::optional<std::string> ReadLine(TMillis timeout);
    // The next line that starts with `prefix`; the lines before it are
    // skipped (they stay in Lines()).
    std::optional<std::string> WaitFor(const std::string& prefix, TMillis timeout);
    // A line that starts with `prefix`, read already or waited for: for
    // lines whose order against those waited for before is not fixed.
    std::optional<std::string> Saw(const std::string& prefix, TMillis timeout);
    // Every line read so far.
    const std::vector<std::string>& Lines() const { return lines_; }

    pid_t Pid() const { return pid_; }
    // Waits up to `timeout` for the program to end by itself; its exit
    // status, or none while it runs.
    std::optional<int> Wait(TMillis timeout);
    // SIGTERM, and SIGKILL after `grace`; the exit status (-signal when
    // killed).
    int Stop(TMillis grace = TMillis(2000));

  private:
    bool Reap(int options);

    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    std::string pending_; // read but not yet a whole line
    std::vector<std::string> lines_;
    std::optional<int> status_;
};
