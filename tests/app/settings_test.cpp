#include "application.h"
#include "main_window.h"
#include "options_dialog.h"
#include "qt_printers.h"
#include "scratch_config.h"
#include "scripted_prompts.h"
#include "settings.h"
#include "window_parts.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// Every test keeps zellhop.ini in a folder of its own.
class Settings : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(config.isValid());
        fMain = CreateWindows(&prompts);
    }
    void TearDown() override { fMain.reset(); }
    int Slider() const { return fMain->dialogs().options->tbCompSpeed->value(); }
    bool AllowBack() const { return fMain->dialogs().options->cbAllowBack->isChecked(); }

    ScratchConfig config;
    ScriptedPrompts prompts;
    std::unique_ptr<TfMain> fMain;
};

TEST_F(Settings, AreReadIntoTheOptionsAndTheGameAtStart) {
    const std::string longName = "Bartholomew Quincey-Ashford";
    const struct {
        const char* file; // nullptr: no file at all
        int slider, stepDelay;
        bool jumpBack;
        std::string clientName, nickname;
    } cases[] = {
        {nullptr, 1000, 1000, false, "", ""},
        {"[MAIN]\nCompSpeed=5000\n", 1900, 100, false, "", ""},
        {"[MAIN]\nCompSpeed=-5\n", 0, 2000, false, "", ""},
        {"[MAIN]\nCompSpeed=0x3E8\n", 1000, 1000, false, "", ""},
        {"[MAIN]\nCompSpeed=$76C\n", 1900, 100, false, "", ""},
        {"[MAIN]\nCompSpeed=fast\nJumpBack=yes\n", 1000, 1000, false, "", ""},
        {"[main]\ncompspeed=1500\njumpback=2\n", 1500, 500, true, "", ""},
        {"[MULTI]\nNickname=Ann\n", 1000, 1000, false, "Ann", "Ann"},
        {"[MULTI]\nNickname=Bartholomew Quincey-Ashford\n", 1000, 1000, false, longName,
         "Bartholomew Quin"},
        {"[MULTI]\nNickname=Zo\xc3\xab M\xc3\xbcller-L\xc3\xbc\xc3\x9f\x65nscheid\n", 1000, 1000,
         false, "Zo\xc3\xab M\xc3\xbcller-L\xc3\xbc\xc3\x9f\x65nscheid",
         "Zo\xc3\xab M\xc3\xbcller-L\xc3\xbc\xc3\x9f\x65n"},
    };
    for (const auto& c : cases) {
        const std::string label = c.file ? c.file : "(no file)";
        QFile::remove(config.IniPath());
        if (c.file)
            config.Write(c.file);
        fMain = CreateWindows(&prompts);
        fMain->LoadSettings();
        EXPECT_EQ(Slider(), c.slider) << label;
        EXPECT_EQ(fMain->StepDelay(), c.stepDelay) << label;
        EXPECT_EQ(AllowBack(), c.jumpBack) << label;
        EXPECT_EQ(fMain->game().state().jumpBackAllowed, c.jumpBack) << label;
        EXPECT_EQ(fMain->Messaging().ClientName(), c.clientName) << label;
        EXPECT_EQ(fMain->Session().nickname, c.nickname) << label;
    }
}

TEST_F(Settings, AreWrittenBackKeepingEverythingElseInTheFile) {
    config.Write("; my settings\n[Window]\nLeft=10\n[MAIN]\nCompSpeed=300\nJumpBack=2\nTheme=dark\n"
                 "[MULTI]\nNickname=Ann\nServer=local\n");
    fMain->LoadSettings();
    fMain->dialogs().options->tbCompSpeed->setValue(1234);
    fMain->Messaging().setClientName("Bob");
    fMain->SaveSettings();
    EXPECT_EQ(config.Read(),
              "; my settings\n[Window]\nLeft=10\n[MAIN]\nCompSpeed=1234\nJumpBack=1\n"
              "Theme=dark\nMarbleSize=1\n[MULTI]\nNickname=Bob\nServer=local\n"
              "LobbyHost=localhost\nLocalAddress=0.0.0.0\n");

    // And read again by the next run.
    fMain = CreateWindows(&prompts);
    fMain->LoadSettings();
    EXPECT_EQ(Slider(), 1234);
    EXPECT_TRUE(AllowBack());
    EXPECT_EQ(fMain->Messaging().ClientName(), "Bob");
}

TEST_F(Settings, ANameWithALineBreakCannotAddLinesToTheFile) {
    fMain->Messaging().setClientName("Eve\n[MAIN]\nCompSpeed=0");
    fMain->SaveSettings();
    EXPECT_EQ(config.Read(),
              "[MAIN]\nCompSpeed=1000\nJumpBack=0\nMarbleSize=1\n\n[MULTI]\nNickname=Eve\n"
              "LobbyHost=localhost\nLocalAddress=0.0.0.0\n");
}

TEST_F(Settings, AFileThatCannotBeWrittenIsLeftAloneSilently) {
    QDir().mkpath(config.IniPath()); // a folder where the file should be
    fMain->show();
    EXPECT_TRUE(fMain->close());
    EXPECT_TRUE(prompts.messages.isEmpty());
    EXPECT_TRUE(QFileInfo(config.IniPath()).isDir());
}

TEST_F(Settings, TheOptionsDialogAppliesItsControlsHoweverItCloses) {
    TfOptions& options = *fMain->dialogs().options;
    EXPECT_EQ(options.windowTitle(), "Options");
    EXPECT_EQ(options.size(), QSize(265, 176)); // one line more for the marble size
    EXPECT_EQ(options.cbAllowBack->text(), "Allow to jump back");
    EXPECT_EQ(options.Label1->text(), "Computer playing speed");
    EXPECT_EQ(options.tbCompSpeed->minimum(), 0);
    EXPECT_EQ(options.tbCompSpeed->maximum(), 1900);
    EXPECT_EQ(options.tbCompSpeed->pageStep(), 100);
    EXPECT_EQ(options.tbCompSpeed->tickInterval(), 100);

    const struct {
        const char* how;
        std::function<void()> close;
        int speed;
        bool back;
    } cases[] = {
        {"OK", [&] { options.Button1->click(); }, 1900, true},
        {"close box", [&] { options.close(); }, 250, false},
        {"Escape", [&] { options.reject(); }, 0, true},
    };
    for (const auto& c : cases) {
        QTimer::singleShot(0, &options, [&] {
            options.tbCompSpeed->setValue(c.speed);
            options.cbAllowBack->setChecked(c.back);
            c.close();
        });
        ActionOf(*fMain, "Options1")->trigger();
        EXPECT_FALSE(options.isVisible()) << c.how;
        EXPECT_EQ(fMain->StepDelay(), 2000 - c.speed) << c.how;
        EXPECT_EQ(fMain->game().state().jumpBackAllowed, c.back) << c.how;
    }
}

TEST(Nickname, KeepsTheFirstSixteenCharactersWhole) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"Ann", "Ann"},
        {"0123456789abcdef", "0123456789abcdef"},
        {"0123456789abcdefg", "0123456789abcdef"},
        {"\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9"
         "\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9",
         "\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9"
         "\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9"},
    };
    for (const auto& [name, nickname] : cases)
        EXPECT_EQ(NicknameOf(name), nickname) << name;
}

} // namespace
