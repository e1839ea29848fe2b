#include "lobby_choice_settings.h"
#include "scratch_config.h"

#include <gtest/gtest.h>

namespace {

TEST(UsedLobbiesSetting, IsReadAndWrittenInTheMultiSection) {
    const struct {
        const char* before; // nullptr: no file at all
        std::vector<std::string> read;
        std::vector<std::string> written;
        const char* after; // nullptr: the file is left as it was
    } cases[] = {
        {nullptr, {}, {}, nullptr},
        {"[MULTI]\nLobbyHost=lobby.example:8080\n", {}, {}, nullptr},
        {"[MULTI]\nLobbyHost=a.example\n",
         {},
         {"a.example"},
         "[MULTI]\nLobbyHost=a.example\nLobbies=a.example\n"},
        {"[MULTI]\nLobbies=b.example:8080,A.example, bad host ,b.example:8080\n",
         {"b.example:8080", "a.example"},
         {"c.example", "b.example:8080", "a.example"},
         "[MULTI]\nLobbies=c.example,b.example:8080,a.example\n"},
        // A key once written is kept up to date, also when the list empties.
        {"[multi]\nlobbies=a.example\n", {"a.example"}, {}, "[multi]\nLobbies=\n"},
    };
    for (const auto& c : cases) {
        ScratchConfig config;
        ASSERT_TRUE(config.isValid());
        if (c.before)
            config.Write(c.before);
        ProfileFile ini(config.IniPath().toStdString());
        const std::string label = c.before ? c.before : "(no file)";
        EXPECT_EQ(ReadUsedLobbies(ini), c.read) << label;
        const QByteArray unchanged = config.Read();
        WriteUsedLobbies(ini, c.written);
        EXPECT_EQ(config.Read().toStdString(), c.after ? c.after : unchanged.toStdString())
            << label;
        EXPECT_EQ(ReadUsedLobbies(ini), c.written) << label;
    }
}

TEST(UsedLobbiesSetting, AListTooLongForOneValueLosesWholeEntriesOnly) {
    ScratchConfig config;
    ASSERT_TRUE(config.isValid());
    ProfileFile ini(config.IniPath().toStdString());
    // Eight lobbies of 253 characters and a port: more than a value holds.
    std::vector<std::string> longest;
    for (char c = 'a'; c < 'a' + 8; ++c)
        longest.push_back(std::string(63, c) + "." + std::string(63, c) + "." + std::string(63, c) +
                          "." + std::string(61, c) + ":65535");
    WriteUsedLobbies(ini, longest);
    const std::vector<std::string> read = ReadUsedLobbies(ini);
    ASSERT_EQ(read.size(), 7u);
    EXPECT_TRUE(std::equal(read.begin(), read.end(), longest.begin()));
}

} // namespace
