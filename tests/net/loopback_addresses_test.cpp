// The loopback addresses of the tests: never the same twice in a process,
// and never another running process's.
#include "loopback_addresses.h"

#include <gtest/gtest.h>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string BlockOf(const std::string& address) {
    return address.substr(0, address.rfind('.'));
}

TEST(LoopbackAddresses, EveryCaseAndEveryProcessGetsItsOwn) {
    std::set<std::string> addresses, blocks;
    for (int i = 0; i < 300; ++i) { // more than one block holds
        const std::string address = NewLoopbackAddress();
        EXPECT_EQ(address.rfind("127.77.", 0), 0u) << address;
        EXPECT_TRUE(addresses.insert(address).second) << address;
        blocks.insert(BlockOf(address));
    }
    EXPECT_EQ(blocks.size(), 2u);
    EXPECT_EQ(AsHostName("127.77.3.9"), "0x7f.77.3.9");

    // Another process, while this one holds its blocks.
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const std::string address = NewLoopbackAddress();
        [[maybe_unused]] const ssize_t n = ::write(pipeFds[1], address.data(), address.size());
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    char text[32] = {};
    const ssize_t n = ::read(pipeFds[0], text, sizeof text - 1);
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_GT(n, 0);
    EXPECT_EQ(blocks.count(BlockOf(text)), 0u) << text;
}

} // namespace
