#include "about_box.h"

#include "design_font.h"
#include "program_icon.h"

#include <QDesktopServices>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

namespace {
constexpr QSize kClientSize{298, 213};
constexpr QRect kPanel{8, 8, 281, 161};
constexpr QRect kIcon{32, 24, 17, 17}; // the icon, drawn at this size
constexpr QPoint kProductName{88, 16};
constexpr QPoint kVersion{88, 40};
constexpr QPoint kNotice{8, 80};
constexpr QPoint kLink{8, 104};
constexpr QRect kOkButton{111, 180, 75, 25};
const char* const kDefaultWebPage = "http://localhost/";

// An icon drawn for the widget's size and its screen's pixel ratio.
class IconView : public QWidget {
  public:
    IconView(QIcon icon, QWidget* parent) : QWidget(parent), icon_(std::move(icon)) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        icon_.paint(&painter, rect());
    }

  private:
    QIcon icon_;
};

} // namespace

TAboutBox::TAboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint),
      urlOpener_([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {
    setObjectName("AboutBox");
    setWindowTitle("About Zellhop");
    setFont(DesignFont());
    setFixedSize(kClientSize);

    Panel1 = new QFrame(this);
    Panel1->setObjectName("Panel1");
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setGeometry(kPanel);

    ProgramIcon = new IconView(::ProgramIcon(), Panel1);
    ProgramIcon->setObjectName("ProgramIcon");
    ProgramIcon->setGeometry(kIcon);

    auto label = [this](const char* name, const QString& text, QPoint at) {
        auto* l = new QLabel(text, Panel1);
        l->setObjectName(name);
        l->move(at);
        l->adjustSize();
        return l;
    };
    ProductName = label("ProductName", "Zellhop", kProductName);
    Version = label("Version", "Version", kVersion);
    Copyright = label("Copyright", "Copyright \u00a9 Quorvik Games. All rights reserved.", kNotice);
    Label1 = label("Label1", QString(), kLink);
    Label1->setTextFormat(Qt::RichText);
    Label1->setCursor(Qt::PointingHandCursor);
    connect(Label1, &QLabel::linkActivated, this, &TAboutBox::Label1Click);
    SetWebPage(QUrl(kDefaultWebPage));

    OKButton = new QPushButton("OK", this);
    OKButton->setObjectName("OKButton");
    OKButton->setGeometry(kOkButton);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutBox::SetWebPage(const QUrl& page) {
    webPage_ = page;
    const QString shown = page.toString().toHtmlEscaped();
    // Blue and underlined, as links are.
    Label1->setText(
        QString("<a href=\"%1\" style=\"color:#0000ff; text-decoration:underline\">%1</a>")
            .arg(shown));
    Label1->adjustSize();
}

void TAboutBox::Label1Click() {
    urlOpener_(webPage_);
}

void TAboutBox::showEvent(QShowEvent* event) {
    // Centred on the screen, not on the main window.
    if (const QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}
