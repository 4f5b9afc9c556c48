// IPv4 sockets on Windows (Windows Sockets 2).
#include "platform/net.h"

#include <cstdio>
#include <cstring>
#include <winsock2.h>

namespace
{

int last_error;

void fill_address(sockaddr_in *sa, uint32_t address, uint16_t port)
{
    std::memset(sa, 0, sizeof *sa);
    sa->sin_family = AF_INET;
    sa->sin_port = htons(port);
    sa->sin_addr.s_addr = address;
}

void set_blocking(SOCKET s, bool blocking)
{
    u_long lMode = blocking ? 0 : 1;
    ioctlsocket(s, FIONBIO, &lMode);
}

// Waits at most timeout_ms for a connect in progress. Returns 0 once it is
// made, else its error code.
int wait_connected(SOCKET s, int timeout_ms)
{
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval limit = {timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    int ready = select(0, nullptr, &writable, &failed, &limit);
    if (ready == 0)
        return WSAETIMEDOUT;
    if (ready == SOCKET_ERROR)
        return WSAGetLastError();
    int error = 0;
    int length = sizeof error;
    getsockopt(s, SOL_SOCKET, SO_ERROR, (char *)&error, &length);
    if (error == 0 && FD_ISSET(s, &failed))
        error = WSAECONNREFUSED;
    return error;
}

} // namespace

int net_startup(void)
{
    WSADATA wsa;
    return WSAStartup(MAKEWORD(2, 2), &wsa); // its result is the error code
}

int net_last_error(void)
{
    return last_error;
}

int net_resolve_ipv4(const char *host, uint32_t *last_address)
{
    // gethostbyname keeps the resolver's own order of the addresses.
    hostent *entry = gethostbyname(host);
    if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_addr_list[0] == nullptr) {
        last_error = entry == nullptr ? WSAGetLastError() : WSANO_DATA;
        return -1;
    }
    // Each address replaces the one before, however long the list.
    int count = 0;
    for (char **item = entry->h_addr_list; *item != nullptr; item++, count++)
        std::memcpy(last_address, *item, 4);
    return count;
}

void net_format_ipv4(uint32_t address, char *text, int size)
{
    in_addr a;
    a.s_addr = address;
    const char *dotted = inet_ntoa(a);
    std::snprintf(text, (size_t)size, "%s", dotted != nullptr ? dotted : "");
}

NetSocket net_open(bool tcp)
{
    SOCKET s =
        tcp ? socket(AF_INET, SOCK_STREAM, IPPROTO_TCP) : socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) {
        last_error = WSAGetLastError();
        return NET_INVALID_SOCKET;
    }
    return (NetSocket)s;
}

void net_set_receive_timeout(NetSocket s, int ms)
{
    // Milliseconds, in an 8-byte buffer of which the system reads a DWORD.
    uint64_t dwTime = (uint64_t)ms;
    setsockopt((SOCKET)s, SOL_SOCKET, SO_RCVTIMEO, (const char *)&dwTime, sizeof dwTime);
}

int net_connect(NetSocket s, uint32_t address, uint16_t port, int timeout_ms)
{
    // Connect without blocking, then wait for the outcome at most
    // timeout_ms: a device that never answers must not hold the cycle for
    // the system's own 21 seconds.
    SOCKET sock = (SOCKET)s;
    sockaddr_in sa;
    fill_address(&sa, address, port);
    set_blocking(sock, false);
    int error = 0;
    if (connect(sock, (sockaddr *)&sa, sizeof sa) == SOCKET_ERROR) {
        error = WSAGetLastError();
        if (error == WSAEWOULDBLOCK)
            error = wait_connected(sock, timeout_ms);
    }
    set_blocking(sock, true);
    if (error != 0) {
        last_error = error;
        return -1;
    }
    return 0;
}

int net_send(NetSocket s, const uint8_t *data, int length)
{
    int n = send((SOCKET)s, (const char *)data, length, 0);
    if (n == SOCKET_ERROR)
        last_error = WSAGetLastError();
    return n;
}

int net_send_to(NetSocket s, const uint8_t *data, int length, uint32_t address, uint16_t port)
{
    sockaddr_in sa;
    fill_address(&sa, address, port);
    int n = sendto((SOCKET)s, (const char *)data, length, 0, (sockaddr *)&sa, sizeof sa);
    if (n == SOCKET_ERROR)
        last_error = WSAGetLastError();
    return n;
}

long net_set_nonblocking(NetSocket s)
{
    u_long lMode = 1;
    int result = ioctlsocket((SOCKET)s, FIONBIO, &lMode);
    if (result != 0)
        last_error = WSAGetLastError();
    return result;
}

void net_bytes_waiting(NetSocket s, long *bytes)
{
    // On a datagram socket Windows counts every datagram queued, not only
    // the next one.
    u_long lBytesReadable = 0;
    if (ioctlsocket((SOCKET)s, FIONREAD, &lBytesReadable) != 0)
        lBytesReadable = 0;
    *bytes = (long)lBytesReadable;
}

int net_receive(NetSocket s, uint8_t *buffer, int size)
{
    sockaddr_in from;
    int length = sizeof from;
    int n = recvfrom((SOCKET)s, (char *)buffer, size, 0, (sockaddr *)&from, &length);
    if (n == SOCKET_ERROR)
        last_error = WSAGetLastError();
    return n;
}

void net_close(NetSocket s)
{
    closesocket((SOCKET)s);
}
