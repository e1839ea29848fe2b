// Socket errors as the players have always seen them: the Windows Sockets
// error numbers and their texts.  The platform's errno values and resolver
// codes are mapped onto those numbers so that messages and logs read alike
// on every system.
#pragma once

#include <string>

// Windows Sockets number of an errno value (ECONNREFUSED -> 10061); values
// without a counterpart come back unchanged.
int WinsockErrorFromErrno(int err);
// Windows Sockets number of a getaddrinfo() result (EAI_NONAME -> 11001).
int WinsockErrorFromResolver(int eaiCode);
// The text of a Windows Sockets number ("Connection refused."), or empty
// for numbers outside the table.
std::string WinsockErrorText(int winsockError);

inline constexpr int kWsaWouldBlock = 10035;
inline constexpr int kWsaTimedOut = 10060;
inline constexpr int kWsaConnRefused = 10061;
inline constexpr int kWsaHostNotFound = 11001;
