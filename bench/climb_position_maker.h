// The hill-climber's moves: crowded positions of several kinds to start a
// climb from, and the small changes it tries on them.  Every position keeps
// at most ten marbles of a colour, numbered apart, and at least one marble
// of the seat to move.  Seeded, so a climb can be run again, and the same
// on every machine but for Uniform, which only the climber's annealing uses.
#pragma once

#include "search_position.h"

#include <random>
#include <string>
#include <vector>

// Where a climb starts.
enum class ClimbStart {
    behind,  // the seat's marbles far from their target, a crowd in their way
    lattice, // other colours on one of the three jump lattices, the seat in between
    target,  // the seat's marbles inside their target star point among others
    scatter, // marbles of every colour anywhere
    file,    // a position read from a file, as found by an earlier climb
};

// "behind", "lattice", ... and back; false for an unknown name.
bool ParseClimbStart(const std::string& name, ClimbStart& start);
const char* ClimbStartName(ClimbStart start);

class ClimbPositionMaker {
  public:
    ClimbPositionMaker(uint32_t seed, int seatMarbles);

    // A new position of the kind; `files` are the positions a file start
    // takes one of.
    SearchPosition Start(ClimbStart kind, const std::vector<SearchPosition>& files);
    // One small change: a marble moved near or far, two marbles swapped, a
    // marble recoloured, added or removed, two marbles swapped in the list,
    // or another seat to move.
    SearchPosition Mutate(const SearchPosition& from);

    int Pick(int n);
    double Uniform() { return std::uniform_real_distribution<double>(0, 1)(rng_); }

  private:
    SearchPosition Empty();
    SearchPosition Behind();
    SearchPosition Lattice();
    SearchPosition Target();
    SearchPosition Scatter();
    SearchPosition Change(const SearchPosition& from);
    bool MoveNear(SearchPosition& p, int i);
    int OtherColour(int seat);
    int FreeHole(const SearchPosition& p);
    void Shuffle(std::vector<int>& holes);

    std::mt19937 rng_;
    int seatMarbles_;
};
