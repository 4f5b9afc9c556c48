// IPv4 sockets on Linux (BSD sockets).
#include "platform/net.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

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

} // namespace

int net_startup(void)
{
    return 0; // Linux sockets need no start-up
}

int net_last_error(void)
{
    return last_error;
}

int net_resolve_ipv4(const char *host, uint32_t *last_address)
{
    // gethostbyname keeps the resolver's own order of the addresses.
    struct hostent *entry = gethostbyname(host);
    if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_addr_list[0] == nullptr) {
        last_error = entry == nullptr ? h_errno : NO_DATA;
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
    if (inet_ntop(AF_INET, &a, text, (socklen_t)size) == nullptr && size > 0)
        text[0] = '\0';
}

NetSocket net_open(bool tcp)
{
    int s =
        tcp ? socket(AF_INET, SOCK_STREAM, IPPROTO_TCP) : socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s < 0) {
        last_error = errno;
        return NET_INVALID_SOCKET;
    }
    return s;
}

void net_set_receive_timeout(NetSocket s, int ms)
{
    struct timeval tv = {ms / 1000, (ms % 1000) * 1000};
    setsockopt((int)s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
}

int net_connect(NetSocket s, uint32_t address, uint16_t port, int timeout_ms)
{
    // Connect without blocking, then wait for the outcome at most
    // timeout_ms: a device that never answers must not hold the cycle for
    // the kernel's two minutes.
    int fd = (int)s;
    sockaddr_in sa;
    fill_address(&sa, address, port);
    int flags = fcntl(fd, F_GETFL, 0);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    int result = connect(fd, (sockaddr *)&sa, sizeof sa);
    if (result != 0 && errno == EINPROGRESS) {
        struct pollfd p = {fd, POLLOUT, 0};
        int ready;
        do
            ready = poll(&p, 1, timeout_ms);
        while (ready < 0 && errno == EINTR);
        if (ready == 0) {
            errno = ETIMEDOUT;
        } else if (ready > 0) {
            int error = 0;
            socklen_t length = sizeof error;
            getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
            errno = error;
            result = error == 0 ? 0 : -1;
        }
    }
    if (result != 0)
        last_error = errno;
    fcntl(fd, F_SETFL, flags);
    return result == 0 ? 0 : -1;
}

int net_send(NetSocket s, const uint8_t *data, int length)
{
    ssize_t n = send((int)s, data, (size_t)length, MSG_NOSIGNAL);
    if (n < 0)
        last_error = errno;
    return (int)n;
}

int net_send_to(NetSocket s, const uint8_t *data, int length, uint32_t address, uint16_t port)
{
    sockaddr_in sa;
    fill_address(&sa, address, port);
    ssize_t n = sendto((int)s, data, (size_t)length, MSG_NOSIGNAL, (sockaddr *)&sa, sizeof sa);
    if (n < 0)
        last_error = errno;
    return (int)n;
}

long net_set_nonblocking(NetSocket s)
{
    int mode = 1;
    int result = ioctl((int)s, FIONBIO, &mode);
    if (result != 0)
        last_error = errno;
    return result;
}

void net_bytes_waiting(NetSocket s, long *bytes)
{
    int waiting = 0;
    if (ioctl((int)s, FIONREAD, &waiting) != 0)
        waiting = 0;
    *bytes = waiting;
}

int net_receive(NetSocket s, uint8_t *buffer, int size)
{
    sockaddr_in from;
    socklen_t length = sizeof from;
    ssize_t n = recvfrom((int)s, buffer, (size_t)size, 0, (sockaddr *)&from, &length);
    if (n < 0)
        last_error = errno;
    return (int)n;
}

void net_close(NetSocket s)
{
    close((int)s);
}
