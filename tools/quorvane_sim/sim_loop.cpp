// The serving loop: one poll over every device socket and connection, until
// SIGTERM or SIGINT.
#include "sim_server.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

const int MAX_POLL = (int)MAX_DEVICES + (int)MAX_CONNECTIONS;

volatile sig_atomic_t stop_flag;
sigset_t wait_mask; // the signal mask while waiting: stop signals let through

void on_stop_signal(int)
{
    stop_flag = 1;
}

// Drops the slots of closed connections, keeping the order of the others.
void compact_connections(Server *server)
{
    int kept = 0;
    for (int i = 0; i < server->connection_count; i++) {
        if (server->connections[i].fd >= 0)
            server->connections[kept++] = server->connections[i];
    }
    server->connection_count = kept;
}

void close_connection(Server *server, Connection *c)
{
    cancel_replies(server, c->fd);
    close(c->fd);
    c->fd = -1;
}

void accept_connections(Server *server, int device)
{
    for (;;) {
        int fd =
            accept4(server->devices[device].fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return; // nothing more waiting, or a connection already gone
        if (server->connection_count == MAX_CONNECTIONS) {
            std::fprintf(stderr, "quorvane-sim: more than %d connections, one refused\n",
                         MAX_CONNECTIONS);
            close(fd);
            continue;
        }
        Connection *c = &server->connections[server->connection_count++];
        c->fd = fd;
        c->device = device;
        c->used = 0;
    }
}

// Reads what the peer sent; every 12 bytes are one request.
void read_connection(Server *server, Connection *c)
{
    uint8_t buffer[DATAGRAM_SIZE];
    ssize_t n = recv(c->fd, buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n <= 0) {
        close_connection(server, c);
        return;
    }
    for (ssize_t i = 0; i < n; i++) {
        c->request[c->used++] = buffer[i];
        if (c->used == REQUEST_BYTES) {
            answer_request(server, c->device, c->fd, nullptr, c->request, REQUEST_BYTES);
            c->used = 0;
        }
    }
}

// Every datagram is one request, whatever its size.
void read_datagrams(Server *server, int device)
{
    for (;;) {
        uint8_t buffer[DATAGRAM_SIZE];
        sockaddr_in peer;
        socklen_t length = sizeof peer;
        ssize_t n = recvfrom(server->devices[device].fd, buffer, sizeof buffer, 0,
                             (sockaddr *)&peer, &length);
        if (n < 0)
            return;
        answer_request(server, device, server->devices[device].fd, &peer, buffer, (int)n);
    }
}

} // namespace

void catch_stop_signals(void)
{
    struct sigaction action = {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN); // a reader that went away must not end the simulator

    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    sigprocmask(SIG_BLOCK, &stop_signals, &wait_mask);
    sigdelset(&wait_mask, SIGINT);
    sigdelset(&wait_mask, SIGTERM);
}

int serve_until_stopped(Server *server)
{
    static pollfd fds[MAX_POLL];
    while (!stop_flag) {
        compact_connections(server);
        int count = 0;
        for (int i = 0; i < server->device_count; i++)
            fds[count++] = {server->devices[i].fd, POLLIN, 0};
        for (int i = 0; i < server->connection_count; i++)
            fds[count++] = {server->connections[i].fd, POLLIN, 0};

        int wait = send_due_replies(server);
        timespec timeout = {wait / 1000, (long)(wait % 1000) * 1000000L};
        // Stop signals are let through only inside this wait.
        int ready = ppoll(fds, (nfds_t)count, wait < 0 ? nullptr : &timeout, &wait_mask);
        if (ready <= 0)
            continue;

        // Connections first: accepting may add slots that this pass did not poll.
        for (int i = 0; i < server->connection_count; i++) {
            if (fds[server->device_count + i].revents != 0)
                read_connection(server, &server->connections[i]);
        }
        for (int i = 0; i < server->device_count; i++) {
            if (fds[i].revents == 0)
                continue;
            if (server->devices[i].tcp)
                accept_connections(server, i);
            else
                read_datagrams(server, i);
        }
    }
    send_due_replies(server);
    close_devices(server);
    return 0;
}
