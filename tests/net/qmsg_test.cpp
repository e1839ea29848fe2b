#include "net_test_support.h"
#include "link_seal.h"
#include "qmsg.h"

#include <gtest/gtest.h>

namespace {

using Items = std::vector<std::variant<int, std::string>>;

struct WireCase {
    const char* what;
    int kind;
    Items items;
    const char* bytes;
};

const WireCase kWireCases[] = {
    {"acknowledgement of a move", 255, {2}, "0B 00 00 00 FF 01 00 02 00 00 00"},
    {"one string", 0, {std::string("abc")}, "0C 00 00 00 00 01 01 03 00 61 62 63"},
    {"no items", 9, {}, "06 00 00 00 09 00"},
    {"minus one", 1, {-1}, "0B 00 00 00 01 01 00 FF FF FF FF"},
    {"move of marble 7 in direction 3",
     2,
     {7, 3},
     "10 00 00 00 02 02 00 07 00 00 00 00 03 00 00 00"},
    {"end of turn", 1, {}, "06 00 00 00 01 00"},
    {"empty string", 0, {std::string()}, "09 00 00 00 00 01 01 00 00"},
    {"bytes above 127 as they are",
     0,
     {std::string("\xE9t\xE9")},
     "0C 00 00 00 00 01 01 03 00 E9 74 E9"},
    {"mixed items",
     3,
     {std::string("Ann"), 3237, std::string("1.4.0.5"), -2},
     "20 00 00 00 03 04 01 03 00 41 6E 6E 00 A5 0C 00 00 01 07 00 31 2E 34 2E 30 2E 35 00 FE "
     "FF FF FF"},
};

TEST(QMsgWire, EncodesByteForByte) {
    for (const WireCase& c : kWireCases)
        EXPECT_EQ(ToHex(Datagram(c.kind, c.items)), c.bytes) << c.what;
}

TEST(QMsgWire, DecodesWhatTheExamplesSay) {
    for (const WireCase& c : kWireCases) {
        TQMsg msg;
        msg.AppendReceived(Hex(c.bytes));
        EXPECT_EQ(msg.Decode(false), 0) << c.what;
        EXPECT_EQ(msg.MsgType, c.kind) << c.what;
        ASSERT_EQ(msg.ItemCount(), static_cast<int>(c.items.size())) << c.what;
        for (int i = 0; i < msg.ItemCount(); ++i) {
            if (std::holds_alternative<int>(c.items[i])) {
                EXPECT_EQ(msg.ItemKind(i), ikInteger) << c.what;
                EXPECT_EQ(msg.IntAt(i), std::get<int>(c.items[i])) << c.what;
            } else {
                EXPECT_EQ(msg.ItemKind(i), ikString) << c.what;
                EXPECT_EQ(msg.StrAt(i), std::get<std::string>(c.items[i])) << c.what;
            }
        }
    }
}

TEST(QMsgWire, ReassemblesAMessageFromTwoDatagrams) {
    // 6 + 3 + 21 = 30 bytes, received as 20 and then 10.
    const std::string whole = Datagram(5, {std::string("twenty-one characters")});
    ASSERT_EQ(whole.size(), 30u);
    TQMsg msg;
    msg.AppendReceived(whole.substr(0, 20));
    EXPECT_EQ(msg.Decode(false), 10);
    EXPECT_EQ(msg.TotalLength(), 30);
    EXPECT_EQ(msg.ItemCount(), 0);
    msg.AppendReceived(whole.substr(20));
    EXPECT_EQ(msg.Decode(false), 0);
    EXPECT_EQ(msg.MsgType, 5);
    EXPECT_EQ(msg.StrAt(0), "twenty-one characters");
}

TEST(QMsgWire, ReportsShortAndOverlongBuffers) {
    TQMsg shortOne;
    shortOne.AppendReceived(Hex("06 00 00"));
    EXPECT_EQ(shortOne.Decode(false), -3); // no header: declares 0
    EXPECT_EQ(shortOne.TotalLength(), 0);

    TQMsg overlong; // a message with two bytes behind it
    overlong.AppendReceived(Hex("0B 00 00 00 FF 01 00 02 00 00 00 AA BB"));
    EXPECT_EQ(overlong.Decode(false), -2);
    EXPECT_EQ(overlong.IntAt(0), 2);
}

TEST(QMsgWire, RefusesMalformedDatagramsWithoutReadingPastThem) {
    const struct {
        const char* what;
        const char* bytes;
        const char* error;
    } cases[] = {
        {"cut inside an integer", "0A 00 00 00 02 01 00 07 00 00", kReadErrorText},
        {"cut inside a string length", "08 00 00 00 00 01 01 03", kReadErrorText},
        {"string longer than the message", "0B 00 00 00 00 01 01 05 00 61 62", kReadErrorText},
        {"more items than bytes", "0B 00 00 00 02 03 00 07 00 00 00", kReadErrorText},
        {"negative string length", "0B 00 00 00 00 01 01 FF FF 61 62", kBadStringLengthText},
        {"string length over 1025", "0B 00 00 00 00 01 01 02 04 61 62", kBadStringLengthText},
        {"declared length below the header", "05 00 00 00 00 00", kBadLengthText},
        {"declared length over 2048", "01 08 00 00 00 00", kBadLengthText},
        {"declared length far too big", "FF FF FF FF 00 00", kBadLengthText},
    };
    for (const auto& c : cases) {
        TQMsg msg;
        msg.AppendReceived(Hex(c.bytes));
        try {
            msg.Decode(false);
            ADD_FAILURE() << c.what << ": accepted";
        } catch (const DatagramError& e) {
            EXPECT_STREQ(e.what(), c.error) << c.what;
        }
        EXPECT_EQ(msg.ItemCount(), 0) << c.what;
    }
}

TEST(QMsgItems, AnswersZeroAndEmptyOutOfRangeAndForTheOtherKind) {
    TQMsg msg;
    msg.AddInt(42);
    msg.AddStr("abc");
    EXPECT_EQ(msg.IntAt(-1), 0);
    EXPECT_EQ(msg.IntAt(2), 0);
    EXPECT_EQ(msg.StrAt(-1), "");
    EXPECT_EQ(msg.StrAt(2), "");
    EXPECT_EQ(msg.IntAt(1), 0);  // a string item
    EXPECT_EQ(msg.StrAt(0), ""); // an integer item
    EXPECT_EQ(msg.ItemKind(2), -1);
}

TEST(QMsgItems, RefusesContentTheFormatCannotCarry) {
    // Room is kept for the trailer of the reliable delivery extension, so
    // that the fullest message still fits one datagram of 2048 bytes.
    TQMsg msg;
    EXPECT_EQ(msg.StrRoom(), kMaxStringBytes);
    EXPECT_THROW(msg.AddStr(std::string(1026, 'x')), std::length_error);
    msg.AddStr(std::string(1025, 'x'));
    // 6 + 1028 bytes used; a second string item may hold 2048 - 48 - 1034 - 3.
    EXPECT_EQ(msg.StrRoom(), 963u);
    try {
        msg.AddStr(std::string(964, 'y'));
        ADD_FAILURE() << "a message too long for the trailer was accepted";
    } catch (const std::length_error& e) {
        EXPECT_STREQ(e.what(), kMessageTooLongText);
    }
    msg.AddStr(std::string(963, 'y'));
    EXPECT_EQ(msg.Encode().size(), kMaxDatagramBytes - kTrailerItemBytes - kSealBytes);
    const std::string plain = msg.EncodeWithTrailer(EncodeTrailer({kTrailerSequenced, 7}));
    EXPECT_EQ(plain.size(), kMaxDatagramBytes - kSealBytes);
    const TLinkKeyPair ann = TLinkKeyPair::Generate(), bob = TLinkKeyPair::Generate();
    EXPECT_EQ(TLinkSeal::Agree(ann, 1, bob.publicKey, 2)->Seal(plain).size(), kMaxDatagramBytes);
    EXPECT_EQ(msg.StrRoom(), 0u);
    EXPECT_EQ(msg.ItemCount(), 2);

    TQMsg many;
    for (int i = 0; i < kMaxItems - 1; ++i)
        many.AddInt(i);
    try {
        many.AddInt(254);
        ADD_FAILURE() << "a 255th item was accepted";
    } catch (const std::length_error& e) {
        EXPECT_STREQ(e.what(), kTooManyItemsText);
    }
    EXPECT_EQ(many.ItemCount(), kMaxItems - 1);
    EXPECT_EQ(many.StrRoom(), 0u);
}

TEST(QMsgItems, SendWithoutRecipientsOrEndpointStillCounts) {
    TQMsg msg;
    msg.Send();
    msg.Recipients.push_back(std::make_shared<TContact>(TContact{"Ann", "192.0.2.99", 0}));
    msg.Send(); // no endpoint: nothing goes out
    EXPECT_EQ(msg.SendCount, 2u);
}

} // namespace
