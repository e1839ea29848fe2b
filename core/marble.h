// The marbles of a game: each knows its hole, the hole it came from, and
// its identity (colour, number), by which it is named across the program
// and the network.
#pragma once

#include <functional>
#include <memory>
#include <vector>

struct TZellhopPos;

struct TZellhopBall {
    TZellhopPos* pos = nullptr;     // the hole the marble is in
    TZellhopPos* prevPos = nullptr; // the hole it was in before its last placement
    bool targetsShown = false;      // the markers show this marble's targets
    int colour = 0;
    int number = 0; // 0..9 within its colour, in creation order
};

// Puts the marble into the hole.  No legality test: callers pass a legal
// destination.  Placing a marble on the hole it already occupies changes
// nothing here (its picture is only centred again).
void PlaceBall(TZellhopBall& marble, TZellhopPos& hole);

// All marbles of the running game in creation order: seat by seat in colour
// order, and within a seat by number.  The computer takes its candidates in
// this order, so the order is part of the game's behaviour.
class MarbleList {
  public:
    using Created = std::function<void(TZellhopBall&)>;

    // Lays out one colour's marbles from hole h (the tip of the colour's
    // star point): a marble on h, then recursively on the neighbours in
    // directions colour + 3 and colour + 4, four levels deep.  `counter`
    // numbers them and grows with each; `created` sees each new marble
    // after it has been placed.
    void CreateBalls(TZellhopPos* h, int colour, int depth, int& counter,
                     const Created& created = {});
    // Lays out a whole colour from its tip, numbered from 0.
    void CreateColour(TZellhopPos* tip, int colour, const Created& created = {});

    // A marble at an arbitrary hole, for positions read from files.
    TZellhopBall& Add(int colour, int number, TZellhopPos& hole);

    // The first marble with that colour and number, or none.
    TZellhopBall* FindBall(int colour, int number) const;

    // Takes every marble off the board and destroys it.
    void RemoveAll();

    bool empty() const { return items_.empty(); }
    size_t size() const { return items_.size(); }
    TZellhopBall& operator[](size_t i) const { return *items_[i]; }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

  private:
    std::vector<std::unique_ptr<TZellhopBall>> items_;
};
