// Keyboard play: a cursor that the arrow keys move over the marbles of the
// human here who has the turn and then over the targets of the marble
// chosen.  Choosing and stepping back are the clicks a mouse would make,
// so the game cannot tell the keyboard from the mouse.
#pragma once

#include <vector>

class Match;
struct TZellhopPos;

enum class Arrow { kLeft, kRight, kUp, kDown };

// The hole of `candidates` that lies nearest `from` in the arrow's
// direction, preferring those within about 60 degrees of it; none when no
// candidate lies that way.  Ties go to the earlier candidate.
const TZellhopPos* NearestToward(const TZellhopPos& from,
                                 const std::vector<const TZellhopPos*>& candidates, Arrow arrow);

class BoardCursor {
  public:
    enum class Mode {
        kOff,    // not shown until an arrow or Enter is pressed
        kMarble, // over the marbles that may move
        kTarget, // over the targets of the marble chosen
    };

    explicit BoardCursor(Match& match) : match_(&match) {}
    // The cursor follows another game (a new one replaced it), hidden.
    void SetMatch(Match& match) {
        match_ = &match;
        Hide();
    }

    // An arrow key: the cursor appears, or moves to the nearest marble or
    // target that way.
    void Move(Arrow arrow);
    // Enter or Space: a click on the marble or target under the cursor.
    void Choose();
    // Escape: from the targets back to their marble (hiding them while
    // nothing has moved yet), from the marbles off.
    void Back();
    void Hide() { mode_ = Mode::kOff; }
    // Puts the cursor back on something it may stand on after the game
    // changed under it (a click, another turn, an undo).
    void Follow();

    // Where the cursor stands while a human here may play, else none.
    const TZellhopPos* Shown() const;
    Mode mode() const { return mode_; }

  private:
    bool Playable() const;
    std::vector<const TZellhopPos*> Candidates() const;

    Match* match_;
    Mode mode_ = Mode::kOff;
    const TZellhopPos* hole_ = nullptr;
};
