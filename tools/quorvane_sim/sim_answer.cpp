// How a simulated device answers a request: the reply of its mode, sent at
// once, in two parts or late.
#include "sim_server.h"

#include <cstdio>
#include <ctime>
#include <sys/socket.h>

namespace
{

const char *proto_name(const Device *d)
{
    return d->tcp ? "tcp" : "udp";
}

void send_bytes(const PendingReply *r, const uint8_t *bytes, int length)
{
    // Loopback peers take a reply this small at once; a full or closed
    // connection only loses it, which the client sees as silence.
    if (r->peer.sin_family == AF_INET)
        sendto(r->fd, bytes, (size_t)length, MSG_NOSIGNAL, (const sockaddr *)&r->peer,
               sizeof r->peer);
    else
        send(r->fd, bytes, (size_t)length, MSG_NOSIGNAL);
}

// Sends what is left of the reply and reports it as sent.
void finish_reply(Server *server, PendingReply *r)
{
    send_bytes(r, r->bytes + r->sent, r->length - r->sent);
    r->sent = r->length;
    if (!server->options->quiet) {
        const Device *d = &server->devices[r->device];
        std::printf("reply %s %u %d\n", proto_name(d), d->port, r->length);
        std::fflush(stdout);
    }
}

void queue_reply(Server *server, const PendingReply *r)
{
    for (int i = 0; i < MAX_PENDING; i++) {
        if (!server->pending[i].active) {
            server->pending[i] = *r;
            server->pending[i].active = true;
            server->pending[i].order = server->replies_queued++;
            return;
        }
    }
    std::fprintf(stderr, "quorvane-sim: too many replies waiting, one dropped\n");
}

void print_request(const Device *d, const uint8_t *request, int length)
{
    char hex[2 * DATAGRAM_SIZE + 1];
    int used = 0;
    for (int i = 0; i < length && i < DATAGRAM_SIZE; i++)
        used += std::snprintf(hex + used, sizeof hex - (size_t)used, "%02x", request[i]);
    hex[used] = '\0';
    std::printf("request %s %u %s\n", proto_name(d), d->port, hex);
    std::fflush(stdout);
}

} // namespace

int64_t now_ms(void)
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (int64_t)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

void answer_request(Server *server, int device, int reply_fd, const sockaddr_in *peer,
                    const uint8_t *request, int length)
{
    Device *d = &server->devices[device];
    const DeviceSpec *spec = d->spec;
    d->requests++;
    if (!server->options->quiet)
        print_request(d, request, length);

    ReplyMode mode = d->requests > spec->after ? spec->mode : MODE_ANSWER;
    if (mode == MODE_SILENT)
        return;

    PendingReply r = {};
    r.device = device;
    r.fd = mode == MODE_OTHER_PORT ? server->other_port_fd : reply_fd;
    if (peer != nullptr)
        r.peer = *peer; // sin_family 0 marks a TCP reply
    r.length = build_reply(request, length, d->registers, mode, r.bytes);
    if (mode != MODE_EXCEPTION)
        grow_totals(d->registers, spec->grow_a, spec->grow_b);

    if (mode == MODE_SPLIT) {
        send_bytes(&r, r.bytes, SPLIT_FIRST_PART);
        r.sent = SPLIT_FIRST_PART;
    }
    if (mode == MODE_SPLIT || mode == MODE_DELAY) {
        r.due_ms = now_ms() + spec->delay_ms;
        queue_reply(server, &r);
        return;
    }
    finish_reply(server, &r);
}

int send_due_replies(Server *server)
{
    int64_t now = now_ms();
    // Oldest first, so that the replies on one connection keep the order of
    // their requests.
    for (;;) {
        PendingReply *oldest = nullptr;
        for (int i = 0; i < MAX_PENDING; i++) {
            PendingReply *r = &server->pending[i];
            if (r->active && r->due_ms <= now && (oldest == nullptr || r->order < oldest->order))
                oldest = r;
        }
        if (oldest == nullptr)
            break;
        finish_reply(server, oldest);
        oldest->active = false;
    }
    int64_t next = -1;
    for (int i = 0; i < MAX_PENDING; i++) {
        const PendingReply *r = &server->pending[i];
        if (r->active && (next < 0 || r->due_ms - now < next))
            next = r->due_ms - now;
    }
    return (int)next;
}

void cancel_replies(Server *server, int fd)
{
    for (int i = 0; i < MAX_PENDING; i++) {
        PendingReply *r = &server->pending[i];
        if (r->active && r->fd == fd && r->peer.sin_family != AF_INET)
            r->active = false;
    }
}
