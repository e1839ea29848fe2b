#include "options_dialog.h"

#include "design_font.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSlider>

namespace {
// The design's 265 × 144 with one line more for the marble size, the OK
// button moved down by it.
constexpr int kMarbleSizeLine = 32;
constexpr QSize kClientSize{265, 144 + kMarbleSizeLine};
constexpr QRect kAllowBack{16, 8, 169, 17};
constexpr QPoint kSpeedLabel{16, 32};
constexpr QRect kSpeedSlider{8, 56, 249, 45};
constexpr int kSpeedTick = 100;
constexpr QPoint kMarbleSizeLabel{16, 116};
constexpr QRect kMarbleSizeBox{120, 112, 129, 21};
constexpr QRect kOkButton{88, 112 + kMarbleSizeLine, 75, 25};
constexpr int kSlowestDelay = 2000; // ms
} // namespace

int StepDelayFor(int speed) {
    return kSlowestDelay - speed;
}

TfOptions::TfOptions(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName("fOptions");
    setWindowTitle("Options");
    setFont(DesignFont());
    setFixedSize(kClientSize);

    cbAllowBack = new QCheckBox("Allow to jump back", this);
    cbAllowBack->setObjectName("cbAllowBack");
    cbAllowBack->setGeometry(kAllowBack);

    Label1 = new QLabel("Computer playing speed", this);
    Label1->setObjectName("Label1");
    Label1->move(kSpeedLabel);
    Label1->adjustSize();

    tbCompSpeed = new QSlider(Qt::Horizontal, this);
    tbCompSpeed->setObjectName("tbCompSpeed");
    tbCompSpeed->setGeometry(kSpeedSlider);
    tbCompSpeed->setRange(kSlowestSpeed, kFastestSpeed);
    tbCompSpeed->setValue(kDesignSpeed);
    tbCompSpeed->setTickInterval(kSpeedTick);
    tbCompSpeed->setPageStep(kSpeedTick);
    tbCompSpeed->setTickPosition(QSlider::TicksBelow);

    lblMarbleSize = new QLabel("Marble size", this);
    lblMarbleSize->setObjectName("lblMarbleSize");
    lblMarbleSize->move(kMarbleSizeLabel);
    lblMarbleSize->adjustSize();

    cbMarbleSize = new QComboBox(this);
    cbMarbleSize->setObjectName("cbMarbleSize");
    cbMarbleSize->addItems({"Small", "Medium", "Large"}); // in MarbleSize order
    cbMarbleSize->setCurrentIndex(kDefaultMarbleSize);
    cbMarbleSize->setGeometry(kMarbleSizeBox);
    lblMarbleSize->setBuddy(cbMarbleSize);

    Button1 = new QPushButton("OK", this);
    Button1->setObjectName("Button1");
    Button1->setGeometry(kOkButton);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
}

void TfOptions::showEvent(QShowEvent* event) {
    // Centred on the screen, not on the main window.
    if (const QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}
