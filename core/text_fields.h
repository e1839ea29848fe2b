// What the game's small text files (positions, game records) are read
// with: lines split into fields at blanks, whole numbers, holes as "r,c",
// and the error that names the line at fault.
#pragma once

#include "board.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// A text that cannot be read; the message begins with "line N: ".  Line 0
// stands for the whole file (one that cannot be read at all).
class LineError : public std::runtime_error {
  public:
    LineError(int line, const std::string& reason);
    int line() const { return line_; }
    // What is wrong, without the line.
    const std::string& reason() const { return reason_; }

  private:
    int line_;
    std::string reason_;
};

// The lines of a text, LF or CRLF ended; the last needs no line end.
std::vector<std::string_view> TextLines(std::string_view text);
// The fields of a line, separated by blanks, tabs or a CR.
std::vector<std::string_view> Fields(std::string_view line);
// A decimal number with an optional minus sign and nothing else.
std::optional<int> WholeNumber(std::string_view text);
// "r,c": a lattice point as position files and move lines name holes (the
// point may still lie off the board).
std::optional<LatticePoint> LatticePointOf(std::string_view text);
// The text in double quotes, for messages.
std::string Quoted(std::string_view text);
