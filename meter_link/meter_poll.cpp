#include "meter_link/meter_poll.h"

#include "meter_link/read_exchange.h"
#include "meter_link/pace_timer.h"
#include "platform/console.h"
#include "platform/net.h"

#include <cstring>

namespace
{

enum { IP_TEXT_SIZE = 128 };

// Checks the bytes waiting every 10 ms, at most 500 times, and takes the
// reply only once exactly its 61 bytes are there. There is no blocking
// receive: a device that sends too little or too much is never taken. The
// checks keep to a 10 ms grid, so a silent device costs 5 s, not 5 s plus
// 500 wake-up delays.
void wait_for_reply(NetSocket s, MeterRecord *record)
{
    uint8_t msg_in[MESSAGE_BUFFER_SIZE];
    std::memset(msg_in, 0, sizeof msg_in);
    int64_t budget = REPLY_TIMEOUT_MS / WAIT_STEP_MS;
    PaceTimer pace;
    pace_start(&pace);
    while (record->network_fault == 1 && budget != 0) {
        long lBytesReadable = 0;
        net_bytes_waiting(s, &lBytesReadable);
        if (lBytesReadable != REPLY_LENGTH) {
            budget--;
            pace_wait(&pace, WAIT_STEP_MS);
            continue;
        }
        net_receive(s, msg_in, sizeof msg_in);
        decode_read_reply(msg_in, record);
        record->network_fault = 0;
    }
}

} // namespace

void poll_meter(MeterRecord *record, int32_t message_count)
{
    uint8_t msg_out[MESSAGE_BUFFER_SIZE];
    uint32_t address;
    char ip[IP_TEXT_SIZE];

    record->network_fault = 1;
    build_read_request(message_count, msg_out);

    // A name with several addresses is polled at the last of its list.
    if (net_resolve_ipv4(record->hostname, &address) <= 0) {
        console_printf("gethostbyname failed : %d\r\n", net_last_error());
        console_printf("Could Not Resolve IP Address of %s\r\n", record->hostname);
        return;
    }
    net_format_ipv4(address, ip, sizeof ip);
    console_printf("%s resolved to : %s\r\n", record->hostname, ip);

    uint16_t port = (uint16_t)(record->tcp_udp_port & 0xFFFF);

    NetSocket s = net_open(record->use_tcp != 0);
    if (s == NET_INVALID_SOCKET) {
        if (record->use_tcp)
            console_printf("TCP Socket() failed with error code : %d\r\n", net_last_error());
        else
            console_printf("UDP Socket() failed with error code : %d\r\n", net_last_error());
        return;
    }
    // The local port is left to the system: bound to the device's own
    // address and port, a TCP socket on the same host could connect to itself.
    net_set_receive_timeout(s, REPLY_TIMEOUT_MS);

    if (record->use_tcp) {
        if (net_connect(s, address, port, CONNECT_TIMEOUT_MS) != 0) {
            console_printf("\r\nTCP Connect() failed with error code : %d\r\n", net_last_error());
            net_close(s);
            return;
        }
        if (net_send(s, msg_out, REQUEST_LENGTH) == -1) {
            console_printf("\r\nTCP sendto() failed with error code : %d\r\n", net_last_error());
            net_close(s);
            return;
        }
    } else if (net_send_to(s, msg_out, REQUEST_LENGTH, address, port) == -1) {
        console_printf("\r\nUDP sendto() failed with error code : %d\r\n", net_last_error());
        net_close(s);
        return;
    }

    long result = net_set_nonblocking(s);
    if (result != 0) {
        console_printf("ioctlsocket failed with error: %ld\n", result);
        net_close(s);
        return;
    }
    wait_for_reply(s, record);
    net_close(s);
}
