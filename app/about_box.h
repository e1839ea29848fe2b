// The about box: the program's name, its version and a link to the maker's
// web page.
#pragma once

#include <QDialog>
#include <QUrl>
#include <functional>

class QFrame;
class QLabel;
class QPushButton;

class TAboutBox : public QDialog {
    Q_OBJECT
  public:
    using UrlOpener = std::function<bool(const QUrl&)>;

    explicit TAboutBox(QWidget* parent = nullptr);

    // The maker's web page that Label1 shows and opens.
    void SetWebPage(const QUrl& page);
    QUrl WebPage() const { return webPage_; }
    // How a web page is opened: the user's browser unless a test says
    // otherwise.
    void SetUrlOpener(UrlOpener opener) { urlOpener_ = std::move(opener); }

    QFrame* Panel1;
    QWidget* ProgramIcon; // drawn for its size, crisp at any pixel ratio
    QLabel* ProductName;
    QLabel* Version; // replaced by the version string each time the box opens
    QLabel* Copyright;
    QLabel* Label1; // the link
    QPushButton* OKButton;

  public slots:
    void Label1Click();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QUrl webPage_;
    UrlOpener urlOpener_;
};
