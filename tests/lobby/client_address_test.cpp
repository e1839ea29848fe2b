#include "client_address.h"

#include <gtest/gtest.h>

namespace {

TEST(ClientAddress, AddressesParseToOneFormAndCountByHostOrSlash64) {
    const struct {
        const char* text;
        const char* shown; // nullptr: not an address
        const char* limitKey;
    } cases[] = {
        {"192.0.2.7", "192.0.2.7", "192.0.2.7"},
        {"::ffff:198.51.100.4", "198.51.100.4", "198.51.100.4"},
        {"2001:DB8::5", "2001:db8::5", "2001:db8::/64"},
        {"2001:db8:0:0:ffff::1", "2001:db8::ffff:0:0:1", "2001:db8::/64"},
        {"2001:db8:1:2:3:4:5:6", "2001:db8:1:2:3:4:5:6", "2001:db8:1:2::/64"},
        {"", nullptr, nullptr},
        {"192.0.2", nullptr, nullptr},
        {"192.0.2.7:80", nullptr, nullptr},
        {"unknown", nullptr, nullptr},
        {"[2001:db8::5]", nullptr, nullptr},
    };
    for (const auto& c : cases) {
        const auto address = IpAddress::Parse(c.text);
        if (c.shown == nullptr) {
            EXPECT_FALSE(address) << c.text;
            continue;
        }
        ASSERT_TRUE(address) << c.text;
        EXPECT_EQ(address->ToString(), c.shown);
        EXPECT_EQ(address->LimitKey(), c.limitKey);
    }
}

TEST(ClientAddress, RangesHoldWhatTheirPrefixCovers) {
    const struct {
        const char* range;
        const char* address;
        bool inside;
    } cases[] = {
        {"10.0.0.0/8", "10.255.1.2", true},
        {"10.0.0.0/8", "11.0.0.1", false},
        {"192.0.2.128/25", "192.0.2.200", true},
        {"192.0.2.128/25", "192.0.2.127", false},
        {"192.0.2.7", "192.0.2.7", true},
        {"192.0.2.7", "192.0.2.8", false},
        {"0.0.0.0/0", "203.0.113.9", true},
        {"0.0.0.0/0", "::1", false},
        {"fd00::/8", "fd12::1", true},
        {"fd00::/8", "fe80::1", false},
        {"::1", "::1", true},
        {"127.0.0.1/32", "::ffff:127.0.0.1", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AddressRange::Parse(c.range).Contains(*IpAddress::Parse(c.address)), c.inside)
            << c.range << " " << c.address;
    for (const char* bad : {"10.0.0.0/33", "::/129", "10.0.0.0/", "10.0.0.0/x", "host/8", ""})
        EXPECT_THROW(AddressRange::Parse(bad), std::invalid_argument) << bad;
}

TEST(ClientAddress, ForwardedForIsReadFromTheRightOnlyFromTrustedProxies) {
    TrustedProxies proxies;
    proxies.Add(AddressRange::Parse("127.0.0.1"));
    proxies.Add(AddressRange::Parse("10.0.0.0/8"));
    const struct {
        const char* peer;
        std::vector<std::string> forwardedFor;
        const char* client;
    } cases[] = {
        {"127.0.0.1", {"203.0.113.5"}, "203.0.113.5"},
        {"127.0.0.1", {}, "127.0.0.1"},
        // The client wrote the left-most entries itself.
        {"127.0.0.1", {"198.51.100.1, 203.0.113.5"}, "203.0.113.5"},
        {"127.0.0.1", {"198.51.100.1", "203.0.113.5, 10.1.2.3"}, "203.0.113.5"},
        {"127.0.0.1", {"203.0.113.5,10.1.2.3 , 10.9.9.9"}, "203.0.113.5"},
        {"127.0.0.1", {"10.1.2.3, 10.9.9.9"}, "10.1.2.3"},
        // An entry that is no address stops the walk at the hop to its right.
        {"127.0.0.1", {"203.0.113.5, unknown"}, "127.0.0.1"},
        {"127.0.0.1", {"garbage, 10.1.1.1"}, "10.1.1.1"},
        {"127.0.0.1", {"203.0.113.5, , "}, "203.0.113.5"},
        {"127.0.0.1", {"2001:db8::7"}, "2001:db8::7"},
        // Nobody else's header counts.
        {"192.0.2.50", {"203.0.113.5"}, "192.0.2.50"},
        {"::ffff:10.0.0.1", {"203.0.113.5"}, "203.0.113.5"},
    };
    for (const auto& c : cases) {
        const IpAddress client = proxies.ClientOf(*IpAddress::Parse(c.peer), c.forwardedFor);
        EXPECT_EQ(client.ToString(), c.client) << c.peer;
    }
}

} // namespace
