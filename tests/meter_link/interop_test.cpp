// The poll against a Modbus server this project did not write: Debian's
// pymodbus, over TCP and UDP.
#include "helper_process.h"
#include "measurements.h"
#include "poll_support.h"

#include <gtest/gtest.h>

namespace
{

class ForeignServer : public testing::TestWithParam<bool>
{
};

TEST_P(ForeignServer, RegistersAreDecoded)
{
    bool tcp = GetParam();
    std::vector<std::string> argv = {PYTHON3, MODBUS_SERVER_SCRIPT};
    for (uint16_t word : GOOD_DEVICE_REGISTERS)
        argv.push_back(std::to_string(word));
    HelperProcess server;
    ASSERT_TRUE(helper_start(&server, argv)) << "the pymodbus server did not start";
    const std::vector<int> &ports = tcp ? server.tcp_ports : server.udp_ports;
    ASSERT_EQ(1u, ports.size());
    MeterRecord r = device_record("127.0.0.1", ports[0], tcp);
    set_earlier_measurements(&r);

    PollResult poll = poll_captured(&r, 258);

    EXPECT_EQ(resolved_line("127.0.0.1"), poll.console);
    EXPECT_EQ(0, r.network_fault);
    expect_same_measurements(good_measurements(), r);
    EXPECT_EQ(0, helper_stop(&server));
}

INSTANTIATE_TEST_SUITE_P(Pymodbus, ForeignServer, testing::Bool(), transport_name);

} // namespace
