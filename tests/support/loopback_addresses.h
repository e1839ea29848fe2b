// Loopback addresses for tests that bind real sockets.  Every call hands
// out an address that no other case of this process and no other running
// process of the tests has, so the cases that ctest runs side by side
// never meet on a port, whatever port they use.
//
// A process reserves a block of 254 addresses at a time, 127.77.B.1 to
// 127.77.B.254 for a block B of 0..255, by binding an abstract Unix socket
// named after the block; the kernel takes the name back when the process
// ends, however it ends.  Every test process of the project takes its
// addresses here; nothing else in the project uses 127.77.0.0/16.
#pragma once

#include <string>

// The UDP port of the tests' real sockets: not the game's 3237, which a
// game running on the machine, or a test of the window that listens on
// every address, may hold on all of 127.0.0.0/8 at once.
inline constexpr int kTestUdpPort = 23237;

// A fresh loopback address, dotted.  Throws std::runtime_error when every
// block is taken.
std::string NewLoopbackAddress();

// The same address in the form a host name look-up reads (0x7f.77.B.H):
// not dotted, so it goes through the resolver.
std::string AsHostName(const std::string& loopbackAddress);
