// Resizing the window while a game runs: whatever is happening (a computer
// move under way, a remote player's moves arriving, a marble's targets
// shown), every marble and every shown target marker is drawn at the pin
// size of the new board with its middle on its hole.
#include "game_protocol.h"
#include "game_window.h"
#include "qt_printers.h"

#include <cmath>

namespace {

constexpr int kBlue = 0;
constexpr int kOrange = 3;
const QSize kWindowSizes[] = {{1900, 1050}, {800, 1000}, {632, 595}, {1300, 700}, {1000, 1000}};

class ResizeDuringPlay : public GameWindow {
  protected:
    // The next of the window sizes.
    void Resize() {
        fMain->resize(kWindowSizes[resizes++ % std::size(kWindowSizes)]);
        Settle();
    }

    void ExpectOnItsHole(PictureWidget& pin, const TZellhopPos& hole, const std::string& what) {
        const PictureRect board = fMain->BoardRect();
        const QPointF dot =
            QPointF(board.left, board.top) + HoleCentre(hole, QSizeF(board.width, board.height));
        const QPointF middle = QPointF(pin.pos()) + pin.PictureCentre();
        EXPECT_TRUE(pin.isVisible()) << what;
        EXPECT_LT(std::hypot(middle.x() - dot.x(), middle.y() - dot.y()), 1e-3) << what;
        EXPECT_DOUBLE_EQ(pin.PinDiameter(), PinDiameterFor(board.width, kMediumMarbles)) << what;
    }
    void ExpectAllOnTheirHoles(const std::string& when) {
        const std::string size =
            ", window " + std::to_string(fMain->width()) + " x " + std::to_string(fMain->height());
        for (const auto& marble : fMain->game().marbles())
            ExpectOnItsHole(*fMain->MarblePicture(*marble), *marble->pos,
                            when + size + ", marble " + std::to_string(marble->colour) + "/" +
                                std::to_string(marble->number));
        for (int k = 0; k < kTargetMarkers; ++k)
            if (fMain->TargetMarker(k)->isVisible())
                ExpectOnItsHole(*fMain->TargetMarker(k), *fMain->MarkerHole(k),
                                when + size + ", marker " + std::to_string(k));
    }

    // An online game as every program starts it: the seats given, no
    // dialog, no socket.
    void StartOnline(const std::array<SeatKind, kColours>& kinds,
                     const std::array<TpContact, kColours>& players) {
        fMain->StartOnlineGame(kinds, players);
        Play();
    }
    TpContact Ann() {
        return fMain->Messaging().Contacts(fMain->Messaging().AddContact("Ann", "127.0.0.5", 0));
    }
    static TQMsg Step(int number, int direction) {
        TQMsg msg;
        msg.MsgType = gmMove;
        WriteMove(msg, {number, direction});
        return msg;
    }
    static TQMsg TurnEnds() {
        TQMsg msg;
        msg.MsgType = gmEndTurn;
        return msg;
    }

    size_t resizes = 0;
};

TEST_F(ResizeDuringPlay, DuringAComputerMoveEveryMarbleStaysOnItsHole) {
    onWait = [&](int wait) {
        Resize();
        ExpectAllOnTheirHoles("wait " + std::to_string(wait));
    };
    NewGame({skComputer, skNone, skNone, skHuman, skNone, skNone});
    ASSERT_GE(waits, 3);
    ExpectAllOnTheirHoles("after Blue's move");

    // Orange's marble 4 selected, its targets shown, then moved: the
    // computer answers, resized at each of its waits.
    Click(Marble(kOrange, 4));
    ASSERT_FALSE(ShownTargets().empty());
    Resize();
    ExpectAllOnTheirHoles("targets shown");
    const int before = waits;
    ASSERT_TRUE(ClickMarkerOn(Hole(4, -2)));
    EXPECT_GT(waits, before);
    ExpectAllOnTheirHoles("after Blue's answer");
}

TEST_F(ResizeDuringPlay, DuringAnOnlineGameEveryMarbleStaysOnItsHole) {
    const TpContact ann = Ann();
    StartOnline({skRemote, skNone, skNone, skHuman, skNone, skNone}, {ann});
    Resize();
    fMain->Messaging().OnGotMsg(Step(4, 3), ann);
    EXPECT_EQ(At(Marble(kBlue, 4)), (LatticePoint{-4, 2}));
    ExpectAllOnTheirHoles("after Ann's step");
    Resize();
    ExpectAllOnTheirHoles("resized after Ann's step");
    fMain->Messaging().OnGotMsg(TurnEnds(), ann);

    Click(Marble(kOrange, 4));
    Resize();
    ExpectAllOnTheirHoles("Orange's targets shown");
    ASSERT_TRUE(ClickMarkerOn(Hole(4, -2)));
    Resize();
    ExpectAllOnTheirHoles("after Orange's step");
    EXPECT_EQ(fMain->game().state().currentSeat, kBlue);
}

TEST_F(ResizeDuringPlay, ARemoteMoveArrivingDuringAComputerMoveLandsOnItsHole) {
    const TpContact ann = Ann();
    onWait = [&](int wait) {
        if (wait == 1) { // Blue's move has begun
            fMain->Messaging().OnGotMsg(Step(4, 0), ann);
            fMain->Messaging().OnGotMsg(TurnEnds(), ann);
        }
        Resize();
        ExpectAllOnTheirHoles("wait " + std::to_string(wait));
    };
    StartOnline({skComputer, skNone, skNone, skRemote, skNone, skNone},
                {nullptr, nullptr, nullptr, ann});
    EXPECT_EQ(At(Marble(kOrange, 4)), (LatticePoint{4, -2}));
    ExpectAllOnTheirHoles("after both moves");
}

} // namespace
