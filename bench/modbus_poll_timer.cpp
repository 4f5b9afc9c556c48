// Times the same register read made by libmodbus, a common Modbus client,
// for comparison with the service's own poll.
//
//   modbus-poll-timer PORT COUNT
//
// Each read is made as the service makes its TCP poll: a new connection,
// one read of registers 0-25 from unit 1, then the connection closed. Writes
// a line per read on standard error: microseconds, then 0 if the read
// succeeded or 1 if it did not.
#include "platform/clock.h"

#include <modbus.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace
{

enum { FIRST_REGISTER = 0, REGISTER_COUNT = 26, UNIT_ID = 1 };

// One read over a fresh connection; true if the registers came back.
bool read_once(int port)
{
    uint16_t registers[REGISTER_COUNT];
    modbus_t *ctx = modbus_new_tcp("127.0.0.1", port);
    if (ctx == nullptr)
        return false;
    modbus_set_slave(ctx, UNIT_ID);
    modbus_set_response_timeout(ctx, 5, 0);
    bool ok = modbus_connect(ctx) == 0 && modbus_read_registers(ctx, FIRST_REGISTER, REGISTER_COUNT,
                                                                registers) == REGISTER_COUNT;
    modbus_close(ctx);
    modbus_free(ctx);
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: modbus-poll-timer PORT COUNT\n");
        return 1;
    }
    int port = std::atoi(argv[1]);
    int count = std::atoi(argv[2]);
    for (int i = 0; i < count; i++) {
        int64_t start = clock_monotonic_us();
        bool ok = read_once(port);
        int64_t took = clock_monotonic_us() - start;
        std::fprintf(stderr, "%lld %d\n", (long long)took, ok ? 0 : 1);
    }
    return 0;
}
