// IPv4 sockets, in the shape of the socket calls the poll makes.
//
// Every failing call leaves its code for net_last_error(), which is what the
// console messages print.
#pragma once

#include <cstdint>

typedef intptr_t NetSocket;
enum { NET_INVALID_SOCKET = -1 };

// Starts the socket library. Returns 0, or the library's error code.
int net_startup(void);

// The error code of the last failed socket call, as a signed decimal.
int net_last_error(void);

// Resolves a host name or dotted address to its list of IPv4 addresses and
// stores the last address of the list, in network byte order: the one the
// device is polled at. Returns how many addresses the list holds, or -1 with
// the last error set.
int net_resolve_ipv4(const char *host, uint32_t *last_address);

// Dotted text of an address in network byte order; buffer of at least 16.
void net_format_ipv4(uint32_t address, char *text, int size);

NetSocket net_open(bool tcp);

// Sets the receive time-out option; the result is of no consequence.
void net_set_receive_timeout(NetSocket s, int ms);

// Connects a TCP socket, giving up after timeout_ms. Returns 0 on success,
// -1 with the last error set (the platform's time-out code after the limit).
int net_connect(NetSocket s, uint32_t address, uint16_t port, int timeout_ms);

// Sends on a connected socket. Returns the bytes sent or -1.
int net_send(NetSocket s, const uint8_t *data, int length);

// Sends one datagram to an address. Returns the bytes sent or -1.
int net_send_to(NetSocket s, const uint8_t *data, int length, uint32_t address, uint16_t port);

// Switches the socket to non-blocking mode. Returns 0, or what the call
// returned on failure.
long net_set_nonblocking(NetSocket s);

// Bytes a receive would find waiting. For a datagram socket Linux gives the
// size of the next datagram, Windows the size of all queued datagrams
// together. Stores 0 when the query fails.
void net_bytes_waiting(NetSocket s, long *bytes);

// Receives up to size bytes from any sender. Returns the count or -1.
int net_receive(NetSocket s, uint8_t *buffer, int size);

void net_close(NetSocket s);
