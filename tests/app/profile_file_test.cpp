#include "profile_file.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <sstream>
#include <unistd.h>

namespace {

class ProfileFileTest : public ::testing::Test {
  protected:
    // A folder per test and process: ctest runs the tests of this fixture
    // side by side.
    std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) /
                                ("profile-test-" + std::to_string(getpid()) + "-" +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::string path = (dir / "zellhop.ini").string();

    void SetUp() override {
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void Write(const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
    std::string Content() {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

TEST_F(ProfileFileTest, FindsSectionsAndKeysWithoutRegardToCase) {
    Write("; the game's settings\r\n[main]\r\n  compspeed = 1200 \r\nJumpBack=1\r\n[Multi]\r\n"
          "Nickname=\"Ann Lee\"\r\n[MAIN]\r\nCompSpeed=7\r\n");
    const ProfileFile ini(path);
    EXPECT_EQ(ini.ReadString("MAIN", "CompSpeed"), "1200") << "the first section of that name wins";
    EXPECT_EQ(ini.ReadInteger("Main", "JUMPBACK", 0), 1);
    EXPECT_EQ(ini.ReadString("MULTI", "Nickname"), "Ann Lee") << "quotes are taken off";
    EXPECT_FALSE(ini.ReadString("MULTI", "CompSpeed"));
    EXPECT_FALSE(ini.ReadString("OTHER", "CompSpeed"));
    EXPECT_EQ(ini.ReadString("OTHER", "x", "dflt"), "dflt");
}

TEST_F(ProfileFileTest, IntegersConvertByTheGamesRulesOrGiveTheDefault) {
    Write("[MAIN]\nA=0x3E8\nB=$3E8\nC=-5\nD=12abc\nE=\nF=0x\n");
    const ProfileFile ini(path);
    const std::pair<const char*, int> cases[] = {
        {"A", 1000}, {"B", 1000}, {"C", -5}, {"D", 99}, {"E", 99}, {"F", 99}, {"missing", 99}};
    for (const auto& [key, value] : cases)
        EXPECT_EQ(ini.ReadInteger("MAIN", key, 99), value) << key;
}

TEST_F(ProfileFileTest, AMissingFileGivesDefaultsAndWritingCreatesIt) {
    ProfileFile ini((dir / "new" / "zellhop.ini").string());
    EXPECT_EQ(ini.ReadInteger("MAIN", "CompSpeed", 1000), 1000);
    ini.WriteString("MAIN", "CompSpeed", "1500");
    EXPECT_EQ(ini.ReadInteger("MAIN", "CompSpeed", 1000), 1500);
}

TEST_F(ProfileFileTest, WritingAKeyKeepsEverythingElse) {
    Write("; keep me\n[MAIN]\nCompSpeed=1000\nOther=x\n\n[Window]\nLeft=10\n");
    ProfileFile ini(path);
    ini.WriteString("main", "compspeed", "300");
    ini.WriteString("MAIN", "JumpBack", "1");
    ini.WriteString("MULTI", "Nickname", "Bob");
    EXPECT_EQ(Content(),
              "; keep me\n[MAIN]\ncompspeed=300\nOther=x\nJumpBack=1\n\n[Window]\nLeft=10\n"
              "\n[MULTI]\nNickname=Bob\n");
}

TEST_F(ProfileFileTest, AFileThatCannotBeWrittenThrowsAndLeavesTheOldOne) {
    Write("[MAIN]\nCompSpeed=1000\n");
    std::filesystem::create_directories(path + ".new"); // the replacement cannot be made
    ProfileFile ini(path);
    EXPECT_THROW(ini.WriteString("MAIN", "CompSpeed", "5"), std::runtime_error);
    EXPECT_EQ(ini.ReadInteger("MAIN", "CompSpeed", 0), 1000);
}

TEST(SettingsPath, FollowsXdgConfigHome) {
    // Restores an environment variable when the test ends.
    struct SavedVariable {
        const char* name;
        std::optional<std::string> value;
        explicit SavedVariable(const char* n) : name(n) {
            if (const char* v = std::getenv(n))
                value = v;
        }
        ~SavedVariable() {
            if (value)
                setenv(name, value->c_str(), 1);
            else
                unsetenv(name);
        }
    } xdg("XDG_CONFIG_HOME"), home("HOME");

    setenv("XDG_CONFIG_HOME", "/tmp/cfg", 1);
    EXPECT_EQ(DefaultSettingsPath(), "/tmp/cfg/zellhop/zellhop.ini");
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", "/home/ann", 1);
    EXPECT_EQ(DefaultSettingsPath(), "/home/ann/.config/zellhop/zellhop.ini");
}

} // namespace
