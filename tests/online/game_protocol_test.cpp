#include "game_protocol.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <variant>

namespace {

std::string ToHex(const std::string& bytes) {
    std::string text;
    char part[4];
    for (unsigned char b : bytes) {
        std::snprintf(part, sizeof part, text.empty() ? "%02X" : " %02X", b);
        text += part;
    }
    return text;
}

TQMsg Received(const TQMsg& sent) {
    TQMsg msg;
    msg.AppendReceived(sent.Encode());
    EXPECT_EQ(msg.Decode(false), 0);
    return msg;
}

using Item = std::variant<int, std::string>;
TQMsg Message(int kind, const std::vector<Item>& items) {
    TQMsg msg;
    msg.MsgType = kind;
    for (const Item& item : items) {
        if (std::holds_alternative<int>(item))
            msg.AddInt(std::get<int>(item));
        else
            msg.AddStr(std::get<std::string>(item));
    }
    return Received(msg);
}

TEST(GameMessages, AMoveAndAnEndOfTurnTravelAsTheirDatagrams) {
    TQMsg move;
    move.MsgType = gmMove;
    WriteMove(move, {7, 3});
    EXPECT_EQ(ToHex(move.Encode()), "10 00 00 00 02 02 00 07 00 00 00 00 03 00 00 00");
    TQMsg endTurn;
    endTurn.MsgType = gmEndTurn;
    EXPECT_EQ(ToHex(endTurn.Encode()), "06 00 00 00 01 00");

    const std::optional<TGameMove> read = ReadMove(Received(move));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->number, 7);
    EXPECT_EQ(read->direction, 3);
}

// Blue Human at the host, Orange and Green taken by two joiners.
TEST(GameMessages, TheStartCarriesTheHostsSeatTable) {
    const TStartTable table = HostStartTable({skHuman, skNone, skNone, skRemote, skRemote, skNone},
                                             {"", "", "", "127.0.0.3", "127.0.0.4", ""});
    TQMsg start;
    start.MsgType = gmStart;
    WriteStart(start, table);
    const TQMsg sent = Received(start);
    ASSERT_EQ(sent.ItemCount(), 9);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(sent.IntAt(i), (std::array{4, 0, 0, 4, 4, 0})[i]) << i;
    EXPECT_EQ(sent.StrAt(6), "0");
    EXPECT_EQ(sent.StrAt(7), "127.0.0.3");
    EXPECT_EQ(sent.StrAt(8), "127.0.0.4");

    // A joiner reads back each Remote seat's address, its own included.
    const std::optional<TStartTable> read = ReadStart(sent);
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, table);
    EXPECT_EQ(read->addresses[0], "0");
    EXPECT_EQ(read->addresses[4], "127.0.0.4");

    // Computer seats go as they are; Open seats are none at the start.
    const TStartTable computers = HostStartTable(
        {skComputer, skHuman, skRemote, skNone, skOpen, skHuman}, {"", "", "10.0.0.9", "", "", ""});
    EXPECT_EQ(computers.kinds,
              (std::array<SeatKind, 6>{skComputer, skRemote, skRemote, skNone, skOpen, skRemote}));
    EXPECT_EQ(computers.addresses, (std::array<std::string, 6>{"", "0", "10.0.0.9", "", "", "0"}));
}

TEST(GameMessages, MessagesThatDoNotHoldWhatTheirKindNeedsAreRefused) {
    const std::string s = "x";
    EXPECT_FALSE(ReadMove(Message(gmMove, {7})));
    EXPECT_FALSE(ReadMove(Message(gmMove, {s, 3})));
    EXPECT_FALSE(ReadMove(Message(gmMove, {7, 6})));
    EXPECT_FALSE(ReadMove(Message(gmMove, {7, -1})));
    EXPECT_TRUE(ReadMove(Message(gmMove, {7, 5, s}))); // more than it needs
    EXPECT_FALSE(ReadSeat(Message(gmSeat, {6, 2})));
    EXPECT_FALSE(ReadSeat(Message(gmSeat, {-1, 2})));
    EXPECT_FALSE(ReadSeat(Message(gmSeat, {3})));
    EXPECT_EQ(ReadSeat(Message(gmSeat, {3, 2}))->maxConnections, 2);
    EXPECT_FALSE(ReadStart(Message(gmStart, {4, 0, 0, 4, 4})));
    EXPECT_FALSE(ReadStart(Message(gmStart, {4, 0, 0, 5, 4, 0, s})));
    EXPECT_FALSE(ReadStart(Message(gmStart, {4, 0, 0, s, 4, 0})));
    EXPECT_FALSE(ReadChat(Message(gmChat, {})));
    EXPECT_FALSE(ReadChat(Message(gmChat, {3})));
    // Addresses the message lacks read as empty.
    const std::optional<TStartTable> cut = ReadStart(Message(gmStart, {4, 0, 0, 4, 0, 0, s}));
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->addresses[0], "x");
    EXPECT_EQ(cut->addresses[3], "");
}

TEST(GameMessages, AChatLineIsCutToOneStringItemOnACharacterBoundary) {
    const std::string e = "\xc3\xa9"; // é, two bytes
    std::string longLine;
    while (longLine.size() < 1100)
        longLine += e;
    const struct {
        const char* what;
        std::string text;
        std::string sent;
    } cases[] = {
        {"short", "Hello " + e, "Hello " + e},
        {"empty", "", ""},
        {"too long, cut between characters", "a" + longLine, "a" + longLine.substr(0, 1024)},
        {"too long, cut at a byte limit", longLine, longLine.substr(0, 1024)},
    };
    for (const auto& c : cases) {
        TQMsg chat;
        chat.MsgType = gmChat;
        WriteChat(chat, c.text);
        const std::optional<std::string> read = ReadChat(Received(chat));
        ASSERT_TRUE(read) << c.what;
        EXPECT_EQ(*read, c.sent) << c.what;
        EXPECT_LE(read->size(), 1025u) << c.what;
    }
}

} // namespace
