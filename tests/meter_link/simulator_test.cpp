// The device simulator's own contract: its command line and the bytes it
// answers with, seen from a plain UDP socket.
#include "helper_process.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

// Sends one request datagram to the port and returns the reply datagram, or
// "" when none comes within 5 s.
std::string exchange(int port, const std::string &request)
{
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    timeval limit = {5, 0};
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    sockaddr_in sa = {};
    sa.sin_family = AF_INET;
    sa.sin_port = htons((uint16_t)port);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sendto(s, request.data(), request.size(), 0, (sockaddr *)&sa, sizeof sa);
    char reply[512];
    ssize_t n = recv(s, reply, sizeof reply, 0);
    close(s);
    return n > 0 ? std::string(reply, (size_t)n) : "";
}

std::string from_hex(const std::string &hex)
{
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += (char)std::stoi(hex.substr(i, 2), nullptr, 16);
    return bytes;
}

const std::string REQUEST = from_hex("beef0000000601030000001a");

TEST(Simulator, RepliesWithItsRegistersAndEchoesTheIdentifiers)
{
    std::string registers;
    for (int i = 0; i < 52; i++)
        registers += "0123456789abcdef"[i % 16];
    registers += registers; // 104 digits: bytes 01 23 45 ... repeating
    HelperProcess sim;
    // Value keys after registers= change it further; the unit byte -2 is FE.
    ASSERT_TRUE(helper_start(
        &sim, {QUORVANE_SIM, "udp:0,registers=" + registers + ",total-b=1,unit-a=-2"}));

    std::string expected_data = from_hex(registers);
    expected_data.replace(4, 4, from_hex("00000001"));
    expected_data[45] = (char)0xFE;
    EXPECT_EQ(from_hex("beef00000037010334") + expected_data, exchange(sim.udp_ports[0], REQUEST));
}

TEST(Simulator, ModeAppliesAfterTheFirstRequestsAndTotalsGrow)
{
    HelperProcess sim;
    ASSERT_TRUE(helper_start(
        &sim, {QUORVANE_SIM, "--quiet", "udp:0,total-a=4294967290,grow-a=10,mode=short,after=2"}));
    int port = sim.udp_ports[0];

    std::string first = exchange(port, REQUEST);
    std::string second = exchange(port, REQUEST);
    std::string third = exchange(port, REQUEST);
    ASSERT_EQ(61u, first.size());
    ASSERT_EQ(61u, second.size());
    ASSERT_EQ(60u, third.size());
    EXPECT_EQ(from_hex("fffffffa"), first.substr(9, 4));
    EXPECT_EQ(from_hex("00000004"), second.substr(9, 4)); // wraps like the 32-bit counter
    EXPECT_EQ(from_hex("0000000e"), third.substr(9, 4));
    EXPECT_EQ(0, helper_stop(&sim));
}

TEST(Simulator, BadCommandLineIsOneLineAndStatusTwo)
{
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--no-such-option", "tcp:0"},
        {"--address", "localhost", "tcp:0"},
        {"sctp:0"},
        {"tcp:65536"},
        {"tcp:9-3"},
        {"tcp:0,total-a=4294967296"},
        {"tcp:0,rate-a=-2147483649"},
        {"tcp:0,fault-a=256"},
        {"tcp:0,scale-b=-1"},
        {"tcp:0,unit-b=-129"},
        {"tcp:0,registers=00"},
        {"tcp:0,mode=sleepy"},
        {"tcp:0,other-port"},
        {"tcp:0,mode=other-port"},
        {"udp:0,colour=blue"},
    };
    for (const std::vector<std::string> &args : cases) {
        std::vector<std::string> argv = {QUORVANE_SIM};
        argv.insert(argv.end(), args.begin(), args.end());
        std::string out, err;
        std::string shown = args.empty() ? "(none)" : args.back();
        EXPECT_EQ(2, run_command(argv, &out, &err)) << shown;
        EXPECT_EQ("", out) << shown;
        EXPECT_EQ(0u, err.rfind("quorvane-sim: ", 0)) << err;
        EXPECT_EQ(err.size() - 1, err.find('\n')) << "one line: " << err;
    }
}

TEST(Simulator, HelpNamesEveryKeyAndMode)
{
    std::string out, err;
    EXPECT_EQ(0, run_command({QUORVANE_SIM, "--help"}, &out, &err));
    for (const char *word :
         {"--address", "--quiet",    "total-a",  "total-b", "rate-a", "rate-b",     "fault-a",
          "fault-b",   "scale-a",    "scale-b",  "unit-a",  "unit-b", "registers=", "grow-a",
          "grow-b",    "answer",     "silent",   "short",   "long",   "exception",  "split",
          "delay",     "other-port", "delay-ms", "after="})
        EXPECT_NE(std::string::npos, out.find(word)) << word;
}

} // namespace
