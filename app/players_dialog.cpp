#include "players_dialog.h"

#include "design_font.h"
#include "user_prompts.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>

namespace {

// Wider than the configuration alone needs, for the level column.
constexpr QSize kClientSize{333, 242};
constexpr QRect kPresetsBox{80, 14, 145, 21};
constexpr QPoint kPresetsLabel{32, 16};
constexpr int kSeatLabelLeft = 32;
constexpr int kSeatLabelTop = 50;
constexpr int kSeatBoxLeft = 79;
constexpr int kSeatBoxTop = 46;
constexpr int kSeatRowHeight = 20;
constexpr int kBoxWidth = 145;
constexpr int kBoxHeight = 21;
constexpr QPoint kGamenameLabel{8, 176};
constexpr QRect kGamenameEdit{80, 174, 161, 21};
constexpr QRect kOkButton{24, 208, 75, 25};
constexpr QRect kCancelButton{160, 208, 75, 25};
constexpr int kFewestSeats = 2;
constexpr int kLevelBoxLeft = 232;
constexpr int kLevelBoxWidth = 85;
constexpr QPoint kLevelLabel{234, 32};
const char* const kOnlineLevels = "Online games play every computer seat at Classic";

const char* const kSeatWords[kColours] = {
    "Blue:", "Red:", "Purple:", "Orange:", "Green:", "Yellow:"};
// Item index = seat kind.
const QStringList kKindItems = {"None", "Human", "Computer", "Open for Multiplayer"};

struct Preset {
    const char* text;
    std::array<SeatKind, kColours> kinds; // Blue, Red, Purple, Orange, Green, Yellow
};
constexpr SeatKind H = skHuman, C = skComputer, O = skOpen, N = skNone;
// Two players sit at facing star points (Blue and Orange); four add the
// next facing pair (Red and Green).
const Preset kPresets[kPresetCount] = {
    {"1 Human vs 1 Computer", {H, N, N, C, N, N}}, {"1 Human vs 5 Computers", {H, C, C, C, C, C}},
    {"2 Players - Humans", {H, N, N, H, N, N}},    {"4 Players - Humans", {H, H, N, H, H, N}},
    {"6 Players - Humans", {H, H, H, H, H, H}},    {"2 Players - Tavlo", {H, N, N, O, N, N}},
    {"4 Players - Tavlo", {H, O, N, O, O, N}},     {"6 Players - Tavlo", {H, O, O, O, O, O}},
};

} // namespace

TfPlayers::TfPlayers(UserPrompts& prompts, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), prompts_(prompts) {
    setObjectName("fPlayers");
    setWindowTitle("Choose your player configuration");
    setFont(DesignFont());
    setFixedSize(kClientSize);

    Label7 = new QLabel("Presets:", this);
    Label7->setObjectName("Label7");
    Label7->move(kPresetsLabel);
    Label7->adjustSize();

    cbPresets = new QComboBox(this);
    cbPresets->setObjectName("cbPresets");
    for (const Preset& p : kPresets)
        cbPresets->addItem(p.text);
    cbPresets->setGeometry(kPresetsBox);
    connect(cbPresets, &QComboBox::currentIndexChanged, this, &TfPlayers::cbPresetsChange);

    CreateSeatBoxes();
    CreateLevelBoxes();

    lblGamename = new QLabel("Game name:", this);
    lblGamename->setObjectName("lblGamename");
    lblGamename->move(kGamenameLabel);
    lblGamename->adjustSize();
    lblGamename->hide();
    eGamename = new QLineEdit(this);
    eGamename->setObjectName("eGamename");
    eGamename->setGeometry(kGamenameEdit);
    eGamename->hide();

    btnOk = new QPushButton("OK", this);
    btnOk->setObjectName("btnOk");
    btnOk->setGeometry(kOkButton);
    btnOk->setDefault(true);
    connect(btnOk, &QPushButton::clicked, this, &TfPlayers::btnOkClick);
    btnCancel = new QPushButton("Cancel", this);
    btnCancel->setObjectName("btnCancel");
    btnCancel->setGeometry(kCancelButton);
    btnCancel->setAutoDefault(false);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject); // Escape does the same

    // The level column comes last, after the controls it was added to.
    QWidget* const order[] = {btnOk,         btnCancel,     cbPBlue,       cbPRed,
                              cbPPurple,     cbPOrange,     cbPGreen,      cbPYellow,
                              cbPresets,     eGamename,     levelBoxes[0], levelBoxes[1],
                              levelBoxes[2], levelBoxes[3], levelBoxes[4], levelBoxes[5]};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
}

void TfPlayers::CreateSeatBoxes() {
    QComboBox** boxes[kColours] = {&cbPBlue,   &cbPRed,   &cbPPurple,
                                   &cbPOrange, &cbPGreen, &cbPYellow};
    const char* names[kColours] = {"cbPBlue",   "cbPRed",   "cbPPurple",
                                   "cbPOrange", "cbPGreen", "cbPYellow"};
    for (int i = 0; i < kColours; ++i) {
        auto* label = new QLabel(kSeatWords[i], this);
        label->setObjectName(QString("Label%1").arg(i + 1));
        label->move(kSeatLabelLeft, kSeatLabelTop + i * kSeatRowHeight);
        label->adjustSize();
        seatLabels[i] = label;

        auto* box = new QComboBox(this);
        box->setObjectName(names[i]);
        box->addItems(kKindItems);
        box->setGeometry(kSeatBoxLeft, kSeatBoxTop + i * kSeatRowHeight, kBoxWidth, kBoxHeight);
        connect(box, &QComboBox::currentIndexChanged, this, &TfPlayers::cbPBlueChange);
        *boxes[i] = box;
        seatBoxes[i] = box;
    }
}

void TfPlayers::CreateLevelBoxes() {
    lblLevel = new QLabel("Level:", this);
    lblLevel->setObjectName("lblLevel");
    lblLevel->move(kLevelLabel);
    lblLevel->adjustSize();
    for (int i = 0; i < kColours; ++i) {
        auto* box = new QComboBox(this);
        box->setObjectName(QString("cbLevel%1").arg(i));
        for (const ComputerLevel level : kComputerLevels)
            box->addItem(QString::fromUtf8(LevelName(level).data(), LevelName(level).size()));
        box->setGeometry(kLevelBoxLeft, kSeatBoxTop + i * kSeatRowHeight, kLevelBoxWidth,
                         kBoxHeight);
        box->setEnabled(false);
        connect(box, &QComboBox::currentIndexChanged, this, [this, i](int index) {
            if (index >= 0 && LevelApplies(i))
                editedLevels_[i] = kComputerLevels.at(index);
        });
        levelBoxes[i] = box;
    }
}

void TfPlayers::showEvent(QShowEvent* event) {
    // Centred on the screen, not on the main window.
    if (const QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());
    FormShow();
    QDialog::showEvent(event);
}

void TfPlayers::FormShow() {
    // Always opens on the first preset, whatever was chosen last time, and
    // on the levels last accepted.
    editedLevels_ = levels_;
    cbPresets->setCurrentIndex(0);
    cbPresetsChange();
}

void TfPlayers::cbPresetsChange() {
    const int preset = cbPresets->currentIndex();
    if (preset >= 0 && preset < kPresetCount)
        for (int i = 0; i < kColours; ++i)
            seatBoxes[i]->setCurrentIndex(kPresets[preset].kinds[i]);
    cbPBlueChange();
}

void TfPlayers::cbPBlueChange() {
    const bool open = AnySeatOpen();
    lblGamename->setVisible(open);
    eGamename->setVisible(open);
    ShowLevels();
}

bool TfPlayers::LevelApplies(int i) const {
    return seatBoxes[i]->currentIndex() == skComputer && !AnySeatOpen();
}

// A level box shows its seat's level, greyed where it does not count; with
// an Open seat every box shows Classic, the level of online games.
void TfPlayers::ShowLevels() {
    const bool open = AnySeatOpen();
    for (int i = 0; i < kColours; ++i) {
        QComboBox* box = levelBoxes[i];
        const QSignalBlocker shownOnly(box);
        const ComputerLevel shown = open ? ComputerLevel::kClassic : editedLevels_[i];
        box->setCurrentIndex(static_cast<int>(shown));
        box->setEnabled(LevelApplies(i));
        box->setToolTip(open ? kOnlineLevels : "");
    }
}

bool TfPlayers::AnySeatOpen() const {
    for (const QComboBox* box : seatBoxes)
        if (box->currentIndex() == skOpen)
            return true;
    return false;
}

void TfPlayers::btnOkClick() {
    int taking = 0;
    for (const QComboBox* box : seatBoxes)
        if (box->currentIndex() != skNone)
            ++taking;
    // The name is taken as typed: blanks make a name too.
    if (taking < kFewestSeats || (AnySeatOpen() && eGamename->text().isEmpty())) {
        prompts_.ShowMessage("Invalid selection");
        return;
    }
    for (int i = 0; i < kColours; ++i) {
        chosen_[i] = static_cast<SeatKind>(seatBoxes[i]->currentIndex());
        chosenLevels_[i] = LevelApplies(i) ? editedLevels_[i] : ComputerLevel::kClassic;
    }
    levels_ = editedLevels_;
    accept();
}
