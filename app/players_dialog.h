// The player configuration dialog: who plays each of the six colours in the
// next game, with eight presets, the level of each computer seat, and the
// game's name when it is to be published for players joining over the
// Internet.
#pragma once

#include "board.h"
#include "computer_level.h"
#include "game_state.h"

#include <QDialog>
#include <array>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class UserPrompts;

inline constexpr int kPresetCount = 8;

class TfPlayers : public QDialog {
    Q_OBJECT
  public:
    // Refusals go through `prompts`.
    explicit TfPlayers(UserPrompts& prompts, QWidget* parent = nullptr);

    // Who plays each colour, as OK last took it from the dialog.
    const SeatKinds& ChosenKinds() const { return chosen_; }
    // The level of each colour's computer, as OK last took it: Classic for
    // a seat that is not Computer, and everywhere in a configuration with
    // an Open seat (every program of an online game plays the computer
    // seats alike).
    const ComputerLevels& ChosenLevels() const { return chosenLevels_; }
    // The levels the dialog remembers and opens with, as the settings file
    // keeps them.  Presets leave them alone.
    const ComputerLevels& Levels() const { return levels_; }
    void SetLevels(const ComputerLevels& levels) { levels_ = levels; }

    QLabel* Label7;
    QComboBox* cbPresets;
    std::array<QLabel*, kColours> seatLabels; // Label1..Label6
    QComboBox* cbPBlue;
    QComboBox* cbPRed;
    QComboBox* cbPPurple;
    QComboBox* cbPOrange;
    QComboBox* cbPGreen;
    QComboBox* cbPYellow;
    std::array<QComboBox*, kColours> seatBoxes; // the six above, in colour order
    QLabel* lblLevel;
    // Beside each seat box: "Classic", "Strong", "Expert" (item index =
    // level); enabled while the seat is Computer and no seat is Open.
    std::array<QComboBox*, kColours> levelBoxes;
    QLabel* lblGamename;
    QLineEdit* eGamename;
    QPushButton* btnOk;
    QPushButton* btnCancel;

  public slots:
    void cbPresetsChange();
    void cbPBlueChange();
    void btnOkClick();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void FormShow();
    void CreateSeatBoxes();
    void CreateLevelBoxes();
    bool AnySeatOpen() const;
    // Whether seat i's level counts: it is Computer and no seat is Open.
    bool LevelApplies(int i) const;
    void ShowLevels();

    SeatKinds chosen_{};
    ComputerLevels chosenLevels_{};
    ComputerLevels levels_{};
    ComputerLevels editedLevels_{}; // the level boxes' choice while the dialog is open
    UserPrompts& prompts_;
};
