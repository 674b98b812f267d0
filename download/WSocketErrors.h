#pragma once

#include <QString>

// Windows Sockets error numbers, kept so that texts and codes match what users and lists know.
enum : int {
    WSAEINTR = 10004,
    WSAEINVAL = 10022,
    WSAEWOULDBLOCK = 10035,
    WSAENOTSOCK = 10038,
    WSAEPROTONOSUPPORT = 10043,
    WSAECONNABORTED = 10053,
    WSAECONNRESET = 10054,
    WSAEISCONN = 10056,
    WSAENOTCONN = 10057,
    WSAHOST_NOT_FOUND = 11001,
    WSANO_RECOVERY = 11003,
    WSANO_DATA = 11004,
};

// Maps a POSIX errno value to its Windows Sockets number (unknown values pass through).
int WSocketErrnoToWinsock(int err);

// The text shown for a Windows Sockets error number.
QString WSocketErrorDesc(int code);
