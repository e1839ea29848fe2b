#include "socket_error.h"

#include <cerrno>
#include <netdb.h>

namespace {

struct ErrorEntry {
    int err;     // errno value
    int winsock; // Windows Sockets number
    const char* text;
};

constexpr ErrorEntry kErrors[] = {
    {EINTR, 10004, "Interrupted system call."},
    {EBADF, 10009, "Bad file number."},
    {EACCES, 10013, "Access denied."},
    {EFAULT, 10014, "Bad address."},
    {EINVAL, 10022, "Invalid argument."},
    {EMFILE, 10024, "Too many open files."},
    {EWOULDBLOCK, 10035, "Operation would block. "},
    {EINPROGRESS, 10036, "Operation now in progress."},
    {EALREADY, 10037, "Operation already in progress."},
    {ENOTSOCK, 10038, "Socket operation on non-socket."},
    {EDESTADDRREQ, 10039, "Destination address required."},
    {EMSGSIZE, 10040, "Message too long."},
    {EPROTOTYPE, 10041, "Protocol wrong type for socket."},
    {ENOPROTOOPT, 10042, "Bad protocol option."},
    {EPROTONOSUPPORT, 10043, "Protocol not supported."},
    {ESOCKTNOSUPPORT, 10044, "Socket type not supported."},
    {EOPNOTSUPP, 10045, "Operation not supported on socket."},
    {EPFNOSUPPORT, 10046, "Protocol family not supported."},
    {EAFNOSUPPORT, 10047, "Address family not supported by protocol family."},
    {EADDRINUSE, 10048, "Address already in use."},
    {EADDRNOTAVAIL, 10049, "Cannot assign requested address."},
    {ENETDOWN, 10050, "Network is down."},
    {ENETUNREACH, 10051, "Network is unreachable."},
    {ENETRESET, 10052, "Net dropped connection or reset."},
    {ECONNABORTED, 10053, "Software caused connection abort."},
    {ECONNRESET, 10054, "Connection reset by peer."},
    {ENOBUFS, 10055, "No buffer space available."},
    {EISCONN, 10056, "Socket is already connected."},
    {ENOTCONN, 10057, "Socket is not connected."},
    {ESHUTDOWN, 10058, "Cannot send or receive after socket is closed."},
    {ETOOMANYREFS, 10059, "Too many references, cannot splice."},
    {ETIMEDOUT, 10060, "Connection timed out."},
    {ECONNREFUSED, 10061, "Connection refused."},
    {ELOOP, 10062, "Too many levels of symbolic links."},
    {ENAMETOOLONG, 10063, "File name too long."},
    {EHOSTDOWN, 10064, "Host is down."},
    {EHOSTUNREACH, 10065, "No route to host."},
    {ENOTEMPTY, 10066, "Directory not empty"},
};

} // namespace

int WinsockErrorFromErrno(int err) {
    for (const ErrorEntry& e : kErrors)
        if (e.err == err)
            return e.winsock;
    return err;
}

int WinsockErrorFromResolver(int eaiCode) {
    switch (eaiCode) {
    case EAI_NONAME:
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
        return kWsaHostNotFound;
    case EAI_AGAIN:
        return 11002; // try again
    case EAI_FAIL:
        return 11003; // no recovery
    default:
        return kWsaHostNotFound;
    }
}

std::string WinsockErrorText(int winsockError) {
    for (const ErrorEntry& e : kErrors)
        if (e.winsock == winsockError)
            return e.text;
    return {};
}
