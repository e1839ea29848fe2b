// A shown path as the tests compare it: "r,c" of every hole, separated by
// blanks, as move lines write it.
#pragma once

#include "board.h"
#include "board_tables.h"
#include "position_file.h"

#include <string>
#include <vector>

// A path of hole indices (board_tables.h).
inline std::string PathText(const std::vector<int>& path) {
    std::string s;
    for (int h : path) {
        if (!s.empty())
            s += ' ';
        s += HoleText(Tables().at(h));
    }
    return s;
}

inline std::string PathText(const std::vector<TZellhopPos*>& path) {
    std::vector<int> indices;
    for (const TZellhopPos* h : path)
        indices.push_back(h->index);
    return PathText(indices);
}
