// The poll over real loopback sockets, against the device simulator.
#include "helper_process.h"
#include "measurements.h"
#include "poll_support.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

// A simulator serving one device; its port is in port.
struct SimulatedDevice {
    HelperProcess process;
    int port = 0;
    std::string proto;
};

// Starts quorvane-sim with one device on a free loopback port.
bool start_device(SimulatedDevice *device, bool tcp, const std::string &settings)
{
    device->proto = tcp ? "tcp" : "udp";
    std::string arg = device->proto + ":0";
    if (!settings.empty())
        arg += "," + settings;
    if (!helper_start(&device->process, {QUORVANE_SIM, arg}))
        return false;
    const std::vector<int> &ports = tcp ? device->process.tcp_ports : device->process.udp_ports;
    if (ports.size() != 1)
        return false;
    device->port = ports[0];
    return true;
}

class PollTransport : public testing::TestWithParam<bool>
{
};

TEST_P(PollTransport, GoodReplyIsDecodedAndClearsTheNetworkFault)
{
    SimulatedDevice device;
    ASSERT_TRUE(start_device(&device, GetParam(), GOOD_DEVICE_SETTINGS));
    MeterRecord r = device_record("127.0.0.1", device.port, GetParam());
    set_earlier_measurements(&r);

    PollResult poll = poll_captured(&r, 0x00031234);

    EXPECT_EQ(0, r.network_fault);
    expect_same_measurements(good_measurements(), r);
    EXPECT_EQ(resolved_line("127.0.0.1"), poll.console);
    // Only the low 16 bits of the count go out, low byte first.
    std::string prefix = "request " + device.proto + " " + std::to_string(device.port) + " ";
    EXPECT_EQ(prefix + "34120000000601030000001a", helper_wait_for(&device.process, prefix, 5000));
    EXPECT_EQ(0, helper_stop(&device.process));
}

// Every poll opens its own socket and takes the device's newest reply.
TEST_P(PollTransport, EachPollTakesAFreshReply)
{
    SimulatedDevice device;
    ASSERT_TRUE(start_device(&device, GetParam(), "total-a=100,grow-a=5"));
    MeterRecord r = device_record("127.0.0.1", device.port, GetParam());

    poll_captured(&r, 0);
    EXPECT_EQ(100u, r.total_a_raw);
    poll_captured(&r, 1);
    EXPECT_EQ(105u, r.total_a_raw);
    EXPECT_EQ(0, r.network_fault);

    std::string prefix = "request " + device.proto;
    EXPECT_EQ(prefix + " " + std::to_string(device.port) + " 00000000000601030000001a",
              helper_wait_for(&device.process, prefix, 5000));
    EXPECT_EQ(prefix + " " + std::to_string(device.port) + " 01000000000601030000001a",
              helper_wait_for(&device.process, prefix, 5000));
}

TEST_P(PollTransport, LocalhostIsResolvedAndPrinted)
{
    SimulatedDevice device;
    ASSERT_TRUE(start_device(&device, GetParam(), GOOD_DEVICE_SETTINGS));
    MeterRecord r = device_record("localhost", device.port, GetParam());

    PollResult poll = poll_captured(&r, 0);

    EXPECT_EQ(resolved_line("localhost"), poll.console);
    EXPECT_EQ(0, r.network_fault);
    expect_same_measurements(good_measurements(), r);
}

TEST_P(PollTransport, UnresolvableNamePrintsBothMessages)
{
    MeterRecord r = device_record("no-such-host..invalid", 502, GetParam());
    set_earlier_measurements(&r);
    MeterRecord before = r;

    PollResult poll = poll_captured(&r, 0);

    // The resolver's own code comes first: "gethostbyname failed : <code>".
    const std::string head = "gethostbyname failed : ";
    const std::string tail = "\r\r\nCould Not Resolve IP Address of no-such-host..invalid\r\r\n";
    ASSERT_GT(poll.console.size(), head.size() + tail.size()) << poll.console;
    EXPECT_EQ(head, poll.console.substr(0, head.size()));
    EXPECT_EQ(tail, poll.console.substr(poll.console.size() - tail.size()));
    std::string code =
        poll.console.substr(head.size(), poll.console.size() - head.size() - tail.size());
    EXPECT_EQ(std::string::npos, code.find_first_not_of("-0123456789")) << code;
    EXPECT_EQ(1, r.network_fault);
    expect_same_measurements(before, r);
}

INSTANTIATE_TEST_SUITE_P(Both, PollTransport, testing::Bool(), transport_name);

// Connects that fail: to a port bound but not listening (refused at once),
// and to a listener whose queue is full, which drops the attempt unanswered.
struct ConnectFailure {
    const char *name;
    bool full_listener;
    int error_code;
    double min_seconds, max_seconds;
};

void PrintTo(const ConnectFailure &c, std::ostream *out)
{
    *out << c.name;
}

class PollTcpConnect : public testing::TestWithParam<ConnectFailure>
{
};

TEST_P(PollTcpConnect, FailsWithItsErrorCode)
{
    const ConnectFailure &c = GetParam();
    int target = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa = {};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof sa;
    ASSERT_EQ(0, bind(target, (sockaddr *)&sa, sizeof sa));
    ASSERT_EQ(0, getsockname(target, (sockaddr *)&sa, &length));
    std::vector<int> fillers;
    if (c.full_listener) {
        ASSERT_EQ(0, listen(target, 0));
        for (int i = 0; i < 8; i++) {
            fillers.push_back(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
            connect(fillers.back(), (sockaddr *)&sa, sizeof sa);
        }
    }
    MeterRecord r = device_record("127.0.0.1", ntohs(sa.sin_port), true);
    set_earlier_measurements(&r);
    MeterRecord before = r;

    PollResult poll = poll_captured(&r, 0);
    for (int fd : fillers)
        close(fd);
    close(target);

    EXPECT_EQ(resolved_line("127.0.0.1") + "\r\r\nTCP Connect() failed with error code : " +
                  std::to_string(c.error_code) + "\r\r\n",
              poll.console);
    EXPECT_GE(poll.seconds, c.min_seconds);
    EXPECT_LT(poll.seconds, c.max_seconds);
    EXPECT_EQ(1, r.network_fault);
    expect_same_measurements(before, r);
}

std::string connect_failure_name(const testing::TestParamInfo<ConnectFailure> &info)
{
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, PollTcpConnect,
                         testing::Values(
                             // ECONNREFUSED, at once.
                             ConnectFailure{"Refused", false, 111, 0.0, 2.0},
                             // ETIMEDOUT after the 5 s limit, not the system's two minutes.
                             ConnectFailure{"Unanswered", true, 110, 4.5, 15.0}),
                         connect_failure_name);

// Replies the poll must never take. Each costs the whole 5 s wait.
struct BadReply {
    bool tcp;
    const char *mode;
    int reply_bytes; // what the device sends; 0: nothing
};

void PrintTo(const BadReply &c, std::ostream *out)
{
    *out << (c.tcp ? "tcp " : "udp ") << c.mode;
}

class PollBadReply : public testing::TestWithParam<BadReply>
{
};

TEST_P(PollBadReply, LeavesTheNetworkFaultAndEveryMeasurement)
{
    const BadReply &c = GetParam();
    SimulatedDevice device;
    ASSERT_TRUE(
        start_device(&device, c.tcp, std::string(GOOD_DEVICE_SETTINGS) + ",mode=" + c.mode));
    MeterRecord r = device_record("127.0.0.1", device.port, c.tcp);
    set_earlier_measurements(&r);
    MeterRecord before = r;

    PollResult poll = poll_captured(&r, 0);

    EXPECT_EQ(1, r.network_fault);
    expect_same_measurements(before, r);
    EXPECT_EQ(resolved_line("127.0.0.1"), poll.console); // a missing reply prints nothing
    EXPECT_GE(poll.seconds, 4.5) << "the poll gave up before its whole wait";

    // The device did get the request and did send what this case is about.
    std::string port = " " + std::to_string(device.port) + " ";
    EXPECT_NE("", helper_wait_for(&device.process, "request " + device.proto + port, 5000));
    if (c.reply_bytes > 0) {
        EXPECT_EQ("reply " + device.proto + port + std::to_string(c.reply_bytes),
                  helper_wait_for(&device.process, "reply ", 5000));
    }
}

std::string bad_reply_name(const testing::TestParamInfo<BadReply> &info)
{
    std::string name = std::string(info.param.tcp ? "Tcp_" : "Udp_") + info.param.mode;
    return name;
}

INSTANTIATE_TEST_SUITE_P(Cases, PollBadReply,
                         testing::Values(BadReply{true, "silent", 0}, BadReply{true, "short", 60},
                                         BadReply{true, "long", 62}, BadReply{true, "exception", 9},
                                         BadReply{false, "silent", 0}, BadReply{false, "short", 60},
                                         BadReply{false, "long", 62},
                                         BadReply{false, "exception", 9}),
                         bad_reply_name);

// Replies that come late, in parts or from elsewhere, but whole: taken.
struct LateReply {
    const char *name;
    bool tcp;
    const char *settings;
    double at_least_seconds; // the reply cannot be whole before this
};

void PrintTo(const LateReply &c, std::ostream *out)
{
    *out << (c.tcp ? "tcp " : "udp ") << c.settings;
}

class PollLateReply : public testing::TestWithParam<LateReply>
{
};

TEST_P(PollLateReply, IsTaken)
{
    const LateReply &c = GetParam();
    SimulatedDevice device;
    ASSERT_TRUE(start_device(&device, c.tcp, std::string(GOOD_DEVICE_SETTINGS) + "," + c.settings));
    MeterRecord r = device_record("127.0.0.1", device.port, c.tcp);
    set_earlier_measurements(&r);

    PollResult poll = poll_captured(&r, 0);

    EXPECT_EQ(0, r.network_fault);
    expect_same_measurements(good_measurements(), r);
    EXPECT_EQ(resolved_line("127.0.0.1"), poll.console);
    EXPECT_GE(poll.seconds, c.at_least_seconds);
}

std::string late_reply_name(const testing::TestParamInfo<LateReply> &info)
{
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, PollLateReply,
                         testing::Values(
                             // The first checks see 30 of the 61 bytes, later ones all of them.
                             LateReply{"TcpSplit", true, "mode=split,delay-ms=1000", 0.9},
                             LateReply{"TcpDelayed", true, "mode=delay,delay-ms=1000", 0.9},
                             LateReply{"UdpDelayed", false, "mode=delay,delay-ms=1000", 0.9},
                             // The sender's address is not compared with the device's.
                             LateReply{"UdpFromAnotherPort", false, "mode=other-port", 0.0}),
                         late_reply_name);

} // namespace
