// The tree of holes visited in the current turn: the record of a human's
// jump chain (always a single chain) and the computer's search tree.  Only
// its structure matters: each node's hole, its parent, and the order in
// which nodes were added.
#pragma once

#include <vector>

struct TZellhopPos;

class PathTree {
  public:
    static constexpr int kNone = -1;

    struct Node {
        TZellhopPos* hole = nullptr;
        int parent = kNone;
    };

    int AddRoot(TZellhopPos& hole) { return AddChild(kNone, hole); }
    int AddChild(int parent, TZellhopPos& hole) {
        nodes_.push_back({&hole, parent});
        return static_cast<int>(nodes_.size()) - 1;
    }
    // The most recently added node, or kNone.
    int Last() const { return static_cast<int>(nodes_.size()) - 1; }

    // Whether the hole is held by the node or one of its ancestors; false
    // for kNone.
    bool PathContains(int node, const TZellhopPos& hole) const;
    // The holes from the root down to the node.
    std::vector<TZellhopPos*> PathTo(int node) const;

    const Node& operator[](int node) const { return nodes_[node]; }
    int Count() const { return static_cast<int>(nodes_.size()); }
    void Clear() { nodes_.clear(); }

  private:
    std::vector<Node> nodes_;
};
