// Opening the simulator's sockets.
#include "sim_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

enum { SPARE_FILES = 32 };

// Opens and binds one non-blocking socket; port 0 takes any free port.
// Returns the socket and stores the port it has, or -1.
int open_bound_socket(bool tcp, uint32_t address, uint16_t port, uint16_t *bound_port)
{
    int fd = socket(AF_INET, (tcp ? SOCK_STREAM : SOCK_DGRAM) | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (tcp) {
        // A restarted simulator gets its port back despite TIME_WAIT.
        int on = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    }
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = address;
    socklen_t length = sizeof sa;
    if (bind(fd, (sockaddr *)&sa, sizeof sa) != 0 || (tcp && listen(fd, SOMAXCONN) != 0) ||
        getsockname(fd, (sockaddr *)&sa, &length) != 0) {
        int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    *bound_port = ntohs(sa.sin_port);
    return fd;
}

} // namespace

void raise_file_limit(int device_count)
{
    rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return;
    rlim_t wanted = (rlim_t)device_count + MAX_CONNECTIONS + SPARE_FILES;
    if (limit.rlim_cur >= wanted)
        return;
    limit.rlim_cur = limit.rlim_max < wanted ? limit.rlim_max : wanted;
    setrlimit(RLIMIT_NOFILE, &limit);
}

bool open_devices(Server *server, const SimOptions *options)
{
    server->options = options;
    server->device_count = 0;
    server->connection_count = 0;
    server->other_port_fd = -1;
    server->replies_queued = 0;
    for (int i = 0; i < MAX_PENDING; i++)
        server->pending[i].active = false;

    bool need_other_port = false;
    for (int i = 0; i < options->spec_count; i++) {
        const DeviceSpec *spec = &options->specs[i];
        need_other_port = need_other_port || spec->mode == MODE_OTHER_PORT;
        for (uint32_t port = spec->first_port; port <= spec->last_port; port++) {
            Device *d = &server->devices[server->device_count];
            d->tcp = spec->tcp;
            d->spec = spec;
            d->requests = 0;
            std::memcpy(d->registers, spec->registers, REGISTER_BYTES);
            d->fd = open_bound_socket(spec->tcp, options->address, (uint16_t)port, &d->port);
            if (d->fd < 0) {
                std::fprintf(stderr, "quorvane-sim: cannot serve %s %s port %u: %s\n",
                             spec->tcp ? "tcp" : "udp", options->address_text, port,
                             std::strerror(errno));
                close_devices(server);
                return false;
            }
            server->device_count++;
        }
    }
    if (need_other_port) {
        uint16_t port;
        server->other_port_fd = open_bound_socket(false, options->address, 0, &port);
        if (server->other_port_fd < 0) {
            std::fprintf(stderr, "quorvane-sim: cannot open the other-port socket: %s\n",
                         std::strerror(errno));
            close_devices(server);
            return false;
        }
    }
    return true;
}

void print_listening(const Server *server)
{
    for (int i = 0; i < server->device_count; i++) {
        const Device *d = &server->devices[i];
        std::printf("listening %s %s %u\n", d->tcp ? "tcp" : "udp", server->options->address_text,
                    d->port);
    }
    std::printf("ready\n");
    std::fflush(stdout);
}

void close_devices(Server *server)
{
    for (int i = 0; i < server->device_count; i++)
        close(server->devices[i].fd);
    server->device_count = 0;
    for (int i = 0; i < server->connection_count; i++) {
        if (server->connections[i].fd >= 0)
            close(server->connections[i].fd);
    }
    server->connection_count = 0;
    if (server->other_port_fd >= 0)
        close(server->other_port_fd);
    server->other_port_fd = -1;
}
