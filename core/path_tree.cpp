#include "path_tree.h"

#include <algorithm>

bool PathTree::PathContains(int node, const TZellhopPos& hole) const {
    for (; node != kNone; node = nodes_[node].parent)
        if (nodes_[node].hole == &hole)
            return true;
    return false;
}

std::vector<TZellhopPos*> PathTree::PathTo(int node) const {
    std::vector<TZellhopPos*> path;
    for (; node != kNone; node = nodes_[node].parent)
        path.push_back(nodes_[node].hole);
    std::reverse(path.begin(), path.end());
    return path;
}
