// Running the commands that build a router lab (ip, iptables, nft,
// sysctl) and waiting for them, with their error output kept for the
// message when one fails.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

// A lab that cannot be built or a command in it that failed.
class TLabError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Runs argv[0] (looked up in PATH) with `input` on its standard input;
// its standard output.  Throws TLabError when it cannot start or exits
// with anything but 0.
std::string RunCommand(const std::vector<std::string>& argv, const std::string& input = "");

// The same command inside a network namespace.
std::string RunIn(const std::string& ns, const std::vector<std::string>& argv,
                  const std::string& input = "");

// Whether a program is found in PATH.
bool HaveProgram(const std::string& name);
