// The player configuration dialog: who plays each of the six colours in the
// next game, with eight presets, and the game's name when it is to be
// published for players joining over the Internet.
#pragma once

#include "board.h"
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
    bool AnySeatOpen() const;

    SeatKinds chosen_{};
    UserPrompts& prompts_;
};
