// What every platform layer must do alike: the bytes numbers print as on
// the console and in files, and a connect that gives up at its limit. Built
// on Linux and on Windows, so both layers are held to the same results.
#include "../unit/capture.h"

#include "platform/console.h"
#include "platform/net.h"
#include "platform/text_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace
{

#ifdef _WIN32
const int TIMED_OUT = WSAETIMEDOUT; // 10060
#else
const int TIMED_OUT = ETIMEDOUT;
#endif

// 0 x 10^309, worked out at run time as a poll does: a negative NaN on x86.
double zero_times_overflow(void)
{
    volatile double zero = 0.0;
    volatile double exponent = 309.0;
    return zero * std::pow(10.0, exponent);
}

struct Number {
    const char *format;
    double value;
    const char *printed; // as glibc prints it
};

const Number numbers[] = {
    {"%15.3f", std::numeric_limits<double>::infinity(), "            inf"},
    {"%15.3f", -std::numeric_limits<double>::infinity(), "           -inf"},
    {"%15.3f", std::numeric_limits<double>::quiet_NaN(), "            nan"},
    {"%15.3f", zero_times_overflow(), "           -nan"},
    {"%-6.1f|", zero_times_overflow(), "-nan  |"},
    {"%015.3f", std::numeric_limits<double>::infinity(), "            inf"},
    {"%15.3f", 0.0, "          0.000"},
    {"%15.3f", -0.0, "         -0.000"},
    {"%15.3f", 4294967295.0 * 1e20, "429496729500000033180284354560.000"},
    {"%15.3f", 1e22, "10000000000000000000000.000"},
    {"%15.3f", 0.0625, "          0.062"}, // a tie: to even
    {"%15.3f", 0.1875, "          0.188"},
    {"%15.3f", 1234567.891, "    1234567.891"},
    {"%12.3f", (double)0.005f, "       0.005"},
    {"%12.3f", (double)-0.001f, "      -0.001"},
    {"%12.3f", (double)2147483.647f, " 2147483.750"},
    {"%12.3f", (double)(-2147483648 / 1000.0f), "-2147483.750"},
    {"%.0f", 2.5, "2"},
    {"%e", 12345.678, "1.234568e+04"},
    {"%g", 0.0001, "0.0001"},
};

TEST(PlatformParity, NumbersPrintAsGlibcPrintsThem)
{
    std::string path = make_temp_dir() + "/numbers.txt";
    TextFile file;
    ASSERT_TRUE(text_open(&file, path.c_str(), "wt"));
    std::string expected;
    capture_begin();
    for (const Number &n : numbers) {
        console_printf(n.format, n.value);
        text_printf(&file, n.format, n.value);
        expected += n.printed;
    }
    std::string console = capture_end();
    text_close(&file);
    EXPECT_EQ(expected, console);
    EXPECT_EQ(expected, read_file(path));
    for (const Number &n : numbers) {
        capture_begin();
        console_printf(n.format, n.value);
        EXPECT_EQ(n.printed, capture_end()) << n.format;
    }
}

TEST(PlatformParity, IntegersStringsAndLineFeeds)
{
    capture_begin();
    console_printf("%04d|%04d|%01d|%ld|%d|%s|%-3s|%%|%c\n", 7, -5, 1, (long)INT32_MIN, 12345,
                   "host", "a", 'z');
    console_printf("\r\n\n");
    EXPECT_EQ("0007|-005|1|-2147483648|12345|host|a  |%|z\r\n\r\r\n\r\n", capture_end());
}

class Listener
{
  public:
    Listener()
    {
        s_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in sa = {};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(s_, (sockaddr *)&sa, sizeof sa);
        // A queue of one: once it holds a connection nobody accepts, the
        // system drops further connection requests unanswered (Linux, and
        // so Wine, does).
        listen(s_, 0);
        socklen_type length = sizeof sa;
        getsockname(s_, (sockaddr *)&sa, &length);
        port_ = ntohs(sa.sin_port);
    }
    ~Listener()
    {
#ifdef _WIN32
        closesocket(s_);
#else
        close(s_);
#endif
    }
    uint16_t port() const
    {
        return port_;
    }

  private:
#ifdef _WIN32
    typedef int socklen_type;
    SOCKET s_;
#else
    typedef socklen_t socklen_type;
    int s_;
#endif
    uint16_t port_;
};

TEST(PlatformParity, ConnectGivesUpAtItsLimitWithTheTimeOutCode)
{
    ASSERT_EQ(0, net_startup());
    Listener listener;
    uint32_t loopback = 0;
    ASSERT_EQ(1, net_resolve_ipv4("127.0.0.1", &loopback));

    NetSocket queued = net_open(true);
    ASSERT_NE(NET_INVALID_SOCKET, queued);
    ASSERT_EQ(0, net_connect(queued, loopback, listener.port(), 5000));

    NetSocket late = net_open(true);
    ASSERT_NE(NET_INVALID_SOCKET, late);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(-1, net_connect(late, loopback, listener.port(), 300));
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(TIMED_OUT, net_last_error());
    EXPECT_GE(waited, std::chrono::milliseconds(250));
    EXPECT_LT(waited, std::chrono::milliseconds(3000));
    net_close(late);
    net_close(queued);
}

TEST(PlatformParity, DottedAddressesBothWays)
{
    ASSERT_EQ(0, net_startup());
    // A dotted address resolves to itself, without asking a resolver.
    for (const char *dotted : {"127.0.0.1", "10.200.3.4"}) {
        uint32_t address = 0;
        ASSERT_EQ(1, net_resolve_ipv4(dotted, &address));
        char text[16];
        net_format_ipv4(address, text, sizeof text);
        EXPECT_STREQ(dotted, text);
    }
}

} // namespace
