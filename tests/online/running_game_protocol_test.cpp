// The messages that bring a program into a running game: a record sent in
// parts and put back together, and refused when its host sends what no
// host of this version would; the seats, the relayed moves and the seats
// that change hands, read back as written and refused when malformed.
#include "running_game_protocol.h"
#include "wire_format.h"

#include <gtest/gtest.h>

namespace {

TQMsg Part(int index, int count, const std::string& text) {
    TQMsg msg;
    msg.MsgType = gmRecordPart;
    WriteRecordPart(msg, index, count, text);
    return msg;
}

TEST(RecordTransfer, ARecordGoesInPartsAndComesBackWhole) {
    std::string record = "seats H--R-C\njumpback 0\n";
    for (int turn = 1; record.size() < 40 * 1000; ++turn)
        record += std::to_string(turn) + " BLUE 2 -6,2 -4,0\n";
    for (const std::string& text : {std::string(), std::string("x"), record}) {
        const std::vector<std::string> parts = RecordParts(text);
        RecordAssembly assembly;
        RecordAssembly::Outcome outcome = RecordAssembly::Outcome::kMore;
        for (size_t i = 0; i < parts.size(); ++i) {
            EXPECT_LE(parts[i].size(), kRecordPartBytes);
            EXPECT_EQ(outcome, RecordAssembly::Outcome::kMore);
            // Each part travels as a datagram of its own.
            TQMsg received;
            received.AppendReceived(Part(i, parts.size(), parts[i]).Encode());
            ASSERT_EQ(received.Decode(false), 0);
            outcome = assembly.Take(received);
        }
        EXPECT_EQ(outcome, RecordAssembly::Outcome::kComplete);
        EXPECT_EQ(assembly.Text(), text);
    }
}

TEST(RecordTransfer, PartsNoHostWouldSendEndTheAssembly) {
    const std::string big(kRecordPartBytes, 'x');
    const int tooMany = static_cast<int>(kLargestRunningRecord / kRecordPartBytes) + 2;
    TQMsg noText;
    noText.AddInt(0);
    noText.AddInt(1);
    const struct {
        const char* what;
        std::vector<TQMsg> parts;
        const char* refusal;
    } cases[] = {
        {"a part skipped",
         {Part(0, 3, big), Part(2, 3, big)},
         "the game's record came out of order"},
        {"a part twice", {Part(0, 3, big), Part(0, 3, big)}, "the game's record came out of order"},
        {"the count changes",
         {Part(0, 3, big), Part(1, 4, big)},
         "the game's record came out of order"},
        {"no parts", {Part(0, 0, "")}, "the game's record is too large"},
        {"more parts than any record has",
         {Part(0, tooMany, big)},
         "the game's record is too large"},
        {"a part over its size", {Part(0, 2, big + "y")}, "the game's record is too large"},
        {"no text", {noText}, "a part of the game's record is malformed"},
    };
    for (const auto& c : cases) {
        RecordAssembly assembly;
        RecordAssembly::Outcome outcome = RecordAssembly::Outcome::kMore;
        for (const TQMsg& part : c.parts)
            outcome = assembly.Take(part);
        EXPECT_EQ(outcome, RecordAssembly::Outcome::kRefused) << c.what;
        EXPECT_EQ(assembly.Refusal(), c.refusal) << c.what;
        EXPECT_TRUE(assembly.Text().empty()) << c.what;
        EXPECT_EQ(assembly.Take(Part(0, 1, "x")), RecordAssembly::Outcome::kRefused)
            << c.what << ": and stays refused";
    }
}

TEST(RunningGameMessages, AreReadBackAsWritten) {
    TRunningSeats seats;
    seats.playing = true;
    seats.kinds = {skRemote, skComputer, skNone, skHuman, skOpen, skNone};
    seats.seatBack = 3;
    seats.backAtTurn = 12;
    seats.names = {"Host", "", "", "Ann", "", ""};
    TQMsg table;
    WriteRunningSeats(table, seats);
    const auto read = ReadRunningSeats(table);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->kinds, seats.kinds);
    EXPECT_EQ(read->names, seats.names);
    EXPECT_EQ(read->seatBack, 3);
    EXPECT_EQ(read->backAtTurn, 12);

    TQMsg move, event, back, chat;
    WriteSeatMove(move, {4, 9, 5});
    WriteSeatEvent(event, 2, 1);
    WriteSeatBack(back, {5, 7, "10.0.0.3"});
    WriteWatcherChat(chat, {"Bob", "nice jump"});
    EXPECT_EQ(ReadSeatMove(move)->number, 9);
    EXPECT_EQ(ReadSeatEvent(event), std::make_pair(2, 1));
    EXPECT_EQ(ReadSeatBack(back)->address, "10.0.0.3");
    EXPECT_EQ(ReadWatcherChat(chat)->text, "nice jump");
}

TEST(RunningGameMessages, WhatNoHostWouldSendIsRefused) {
    const auto ints = [](std::initializer_list<int> values) {
        TQMsg msg;
        for (int v : values)
            msg.AddInt(v);
        return msg;
    };
    TQMsg seatsWithoutNames = ints({0, 1, 0, 0, 0, 0, 0, -1, 0});
    TQMsg watcherGivenASeat = ints({0, 1, 0, 0, 0, 0, 0, 2, 0});
    TQMsg badKind = ints({0, 1, 0, 0, 7, 0, 0, -1, 0});
    for (TQMsg* msg : {&watcherGivenASeat, &badKind})
        for (int i = 0; i < kColours; ++i)
            msg->AddStr("");
    EXPECT_FALSE(ReadRunningSeats(seatsWithoutNames));
    EXPECT_FALSE(ReadRunningSeats(watcherGivenASeat));
    EXPECT_FALSE(ReadRunningSeats(badKind));
    EXPECT_FALSE(ReadSeatMove(ints({6, 1, 1})));
    EXPECT_FALSE(ReadSeatMove(ints({1, 1, 6})));
    EXPECT_FALSE(ReadSeatMove(ints({1, 1})));
    EXPECT_FALSE(ReadSeatEvent(ints({-1, 0})));
    EXPECT_FALSE(ReadSeatBack(ints({1, 3})));
    EXPECT_FALSE(ReadWatcherChat(ints({1, 2})));
}

} // namespace
