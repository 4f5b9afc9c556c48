// The state of a running simulator: the sockets of its devices, the open
// TCP connections and the replies waiting for their time.
#pragma once

#include "sim_options.h"
#include "sim_registers.h"

#include <cstdint>
#include <netinet/in.h>

enum {
    REQUEST_BYTES = 12, // one request on a TCP stream
    MAX_CONNECTIONS = 2048,
    MAX_PENDING = 2048,
    DATAGRAM_SIZE = 512, // the largest request datagram read whole
};

struct Device {
    bool tcp;
    uint16_t port;
    int fd; // the TCP listener or the UDP socket
    const DeviceSpec *spec;
    uint8_t registers[REGISTER_BYTES]; // changes as the totals grow
    uint64_t requests;                 // requests received so far
};

struct Connection {
    int fd; // -1: slot free
    int device;
    uint8_t request[REQUEST_BYTES];
    int used;
};

// A reply, or the rest of one, to be sent at due_ms.
struct PendingReply {
    bool active;
    int device;
    int fd;           // the connection, or the UDP socket to send from
    sockaddr_in peer; // UDP only
    uint8_t bytes[MAX_REPLY_BYTES];
    int length;
    int sent; // bytes already sent
    int64_t due_ms;
    uint64_t order; // when it was queued, counted over the run
};

struct Server {
    const SimOptions *options;
    Device devices[MAX_DEVICES];
    int device_count;
    Connection connections[MAX_CONNECTIONS];
    int connection_count; // slots in use or freed since the last compaction
    PendingReply pending[MAX_PENDING];
    uint64_t replies_queued;
    int other_port_fd; // UDP socket for mode=other-port, or -1
};

// Raises the open-file limit so that every device and connection fits.
void raise_file_limit(int device_count);

// Binds every device's socket. Prints the reason on stderr and returns
// false when one cannot be opened.
bool open_devices(Server *server, const SimOptions *options);

// Prints the listening lines and "ready".
void print_listening(const Server *server);

void close_devices(Server *server);

// Milliseconds of a monotonic clock.
int64_t now_ms(void);

// Answers one request received by a device: prints it, then replies as the
// device's mode says, now or later. reply_fd is the connection or the UDP
// socket; peer is the UDP sender, or null on TCP.
void answer_request(Server *server, int device, int reply_fd, const sockaddr_in *peer,
                    const uint8_t *request, int length);

// Sends the pending replies that are due. Returns the milliseconds until the
// next one, or -1 when none waits.
int send_due_replies(Server *server);

// Forgets the pending replies of a connection that has closed.
void cancel_replies(Server *server, int fd);

// Blocks SIGTERM and SIGINT outside the wait, so a stop is never missed.
void catch_stop_signals(void);

// Serves until SIGTERM or SIGINT. Returns the exit status, 0.
int serve_until_stopped(Server *server);
