// The options dialog: the computer's playing speed, whether a marble may
// jump straight back in a jump chain, and the size of the marbles.  Its
// controls are the live settings of a run: the settings file is read into
// them and written from them.
#pragma once

#include "board_layout.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSlider;

inline constexpr int kSlowestSpeed = 0; // slider positions, left is slow
inline constexpr int kFastestSpeed = 1900;
inline constexpr int kDesignSpeed = 1000;

class TfOptions : public QDialog {
    Q_OBJECT
  public:
    explicit TfOptions(QWidget* parent = nullptr);

    QCheckBox* cbAllowBack;
    QLabel* Label1;
    QSlider* tbCompSpeed;
    QLabel* lblMarbleSize;
    QComboBox* cbMarbleSize; // index: MarbleSize
    QPushButton* Button1;

  protected:
    void showEvent(QShowEvent* event) override;
};

// The computer's wait between two holes, in ms, for a slider position:
// 2000 at the slow end down to 100 at the fast end.
int StepDelayFor(int speed);
