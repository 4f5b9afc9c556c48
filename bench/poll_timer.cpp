// Times the service's own poll of one device, over and over.
//
//   meter-poll-timer tcp|udp PORT COUNT
//
// Polls 127.0.0.1:PORT COUNT times, one poll after another, exactly as a
// cycle does, and writes a line per poll on standard error: how long it
// took in microseconds, then the device's network fault after it (0: read).
// The poll's own console text goes to standard output as usual. Exits 1 on
// bad arguments.
#include "meter_link/meter_poll.h"
#include "platform/clock.h"
#include "platform/console.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv)
{
    if (argc != 4 || (std::strcmp(argv[1], "tcp") != 0 && std::strcmp(argv[1], "udp") != 0)) {
        std::fprintf(stderr, "usage: meter-poll-timer tcp|udp PORT COUNT\n");
        return 1;
    }
    static MeterRecord record;
    std::snprintf(record.hostname, sizeof record.hostname, "127.0.0.1");
    record.use_tcp = std::strcmp(argv[1], "tcp") == 0;
    record.tcp_udp_port = std::atoi(argv[2]);
    int count = std::atoi(argv[3]);

    for (int i = 0; i < count; i++) {
        int64_t start = clock_monotonic_us();
        poll_meter(&record, i);
        int64_t took = clock_monotonic_us() - start;
        std::fprintf(stderr, "%lld %d\n", (long long)took, record.network_fault);
    }
    console_flush();
    return 0;
}
