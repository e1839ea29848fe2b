#include "about_box.h"
#include "application.h"
#include "file_version.h"
#include "main_window.h"
#include "qt_printers.h"
#include "scripted_prompts.h"
#include "window_parts.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

TEST(GetFileVersionString, ReadsTheGamesVersionAndAnswersOneHundredWithoutABlock) {
    const struct {
        std::string file;
        const char* version;
    } cases[] = {
        {ZELLHOP_BINARY, "1.4.0.5"},
        {ZELLHOP_ASSETS "/bluepin.bmp", "1.00"},
        {ZELLHOP_ASSETS "/no-such-file", "1.00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetFileVersionString(c.file), c.version) << c.file;
}

TEST(AboutBox, ShowsTheVersionAloneEveryTimeItOpens) {
    ScriptedPrompts prompts;
    const auto fMain = CreateWindows(&prompts);
    QStringList shown;
    for (int i = 0; i < 2; ++i) {
        QTimer::singleShot(0, [&] {
            EXPECT_TRUE(fMain->dialogs().about->isVisible());
            shown << fMain->dialogs().about->Version->text();
            fMain->dialogs().about->OKButton->click();
        });
        ActionOf(*fMain, "aAbout")->trigger();
        EXPECT_FALSE(fMain->dialogs().about->isVisible());
    }
    EXPECT_EQ(shown, QStringList({"1.4.0.5", "1.4.0.5"}));
}

TEST(AboutBox, IsLaidOutAsDesignedAndItsLinkOpensTheMakersPage) {
    TAboutBox box;
    EXPECT_EQ(box.windowTitle(), "About Zellhop");
    EXPECT_EQ(box.size(), QSize(298, 213));
    EXPECT_EQ(box.minimumSize(), box.maximumSize());
    EXPECT_EQ(box.ProductName->text(), "Zellhop");
    EXPECT_EQ(box.Version->text(), "Version");
    EXPECT_EQ(box.OKButton->text(), "OK");
    EXPECT_TRUE(box.OKButton->isDefault());
    EXPECT_EQ(box.OKButton->geometry(), QRect(111, 180, 75, 25));
    EXPECT_EQ(box.ProgramIcon->size(), QSize(17, 17));
    EXPECT_TRUE(box.Label1->text().contains("http://localhost/"));

    QList<QUrl> opened;
    box.SetUrlOpener([&](const QUrl& url) {
        opened << url;
        return true;
    });
    box.Label1Click();
    box.SetWebPage(QUrl("http://tavlo.example/"));
    emit box.Label1->linkActivated("ignored: the page is the box's");
    EXPECT_EQ(opened, QList<QUrl>({QUrl("http://localhost/"), QUrl("http://tavlo.example/")}));
}

} // namespace
