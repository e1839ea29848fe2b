// A shown path as the tests compare it: "r,c" of every hole, separated by
// blanks, as move lines write it.
#pragma once

#include "board.h"
#include "position_file.h"

#include <string>
#include <vector>

inline std::string PathText(const std::vector<TZellhopPos*>& path) {
    std::string s;
    for (const TZellhopPos* h : path) {
        if (!s.empty())
            s += ' ';
        s += HoleText(h->at);
    }
    return s;
}
