// The site-list reader over a table of site lists: the console echo byte for
// byte, success or failure, and what lands in the table.
#include "capture.h"

#include "sites/decimal.h"
#include "sites/site_list.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

// The console writes every line feed as CR LF; expectations below are
// written as the program's own texts and translated here.
std::string crlf(const std::string &text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

const std::string BAD_DEVICE_0 =
    "\r\nError reading TCP/UDP? for Quorvane No. 0 from file 'sites.txt'\r\n";
const std::string BAD_DEVICE_1 =
    "\r\nError reading TCP/UDP? for Quorvane No. 1 from file 'sites.txt'\r\n";

struct SiteCase {
    const char *name;
    std::string input;
    std::string echo; // before CR LF translation
    bool loaded;
    int count;
};

const SiteCase cases[] = {
    {"plain", "60\n1 2 host 502 T\n",
     "Read: 60\nSample Period = 60 Seconds\r\n\n"
     "\r\nRead: 1 2 host 502 T\nCh.A ID = 1\r\nCh.B ID = 2\r\nhostname = host\r\n"
     "tcp_udp_port = 502\r\nUse TCP Sockets\r\n\r\nN Quorvanes = 1\r\n",
     true, 1},
    {"runs of spaces and leading spaces",
     "  60   ignored\n   7    0   10.0.0.1   502   udp  more\n",
     "Read:   60   ignored\nSample Period = 60 Seconds\r\n\n"
     "\r\nRead:    7    0   10.0.0.1   502   udp  more\nCh.A ID = 7\r\nCh.B Inactive\r\n"
     "hostname = 10.0.0.1\r\ntcp_udp_port = 502\r\nUse UDP Sockets\r\n\r\nN Quorvanes = 1\r\n",
     true, 1},
    {"CR LF lines read as LF", "60\r\n1 2 h 502 t\r\n",
     "Read: 60\nSample Period = 60 Seconds\r\n\n"
     "\r\nRead: 1 2 h 502 t\nCh.A ID = 1\r\nCh.B ID = 2\r\nhostname = h\r\n"
     "tcp_udp_port = 502\r\nUse TCP Sockets\r\n\r\nN Quorvanes = 1\r\n",
     true, 1},
    {"tab and lone CR stay in their field", "60\n1 2 h\t\r 502 Tx\n",
     "Read: 60\nSample Period = 60 Seconds\r\n\n"
     "\r\nRead: 1 2 h\t\r 502 Tx\nCh.A ID = 1\r\nCh.B ID = 2\r\nhostname = h\t\r\r\n"
     "tcp_udp_port = 502\r\nUse TCP Sockets\r\n\r\nN Quorvanes = 1\r\n",
     true, 1},
    {"Ctrl-Z ends the file",
     "60\n1 0 h 502 U\n\x1a"
     "3 4 h 503 U\n",
     "Read: 60\nSample Period = 60 Seconds\r\n\n"
     "\r\nRead: 1 0 h 502 U\nCh.A ID = 1\r\nCh.B Inactive\r\nhostname = h\r\n"
     "tcp_udp_port = 502\r\nUse UDP Sockets\r\n\r\nN Quorvanes = 1\r\n",
     true, 1},
    {"numbers beyond 32 bits are clamped",
     "99999999999\n-99999999999 4294967297 h 1234567890123456789012345678901234567890 T\n",
     "Read: 99999999999\nSample Period = 2147483647 Seconds\r\n\n"
     "\r\nRead: -99999999999 4294967297 h 1234567890123456789012345678901234567890 T\n"
     "Ch.A ID = -2147483648\r\nCh.B ID = 2147483647\r\nhostname = h\r\n"
     "tcp_udp_port = 2147483647\r\nUse TCP Sockets\r\n\r\nN Quorvanes = 1\r\n",
     true, 1},
    {"negative and non-numeric identifiers", "-60\n-5 abc h x9 u\n",
     "Read: -60\nSample Period = -60 Seconds\r\n\n"
     "\r\nRead: -5 abc h x9 u\nCh.A ID = -5\r\nCh.B Inactive\r\nhostname = h\r\n"
     "tcp_udp_port = 0\r\nUse UDP Sockets\r\n\r\nN Quorvanes = 1\r\n",
     true, 1},
    {"blank lines are echoed and add nothing", "60\n\n0 0 h 1 T\n \t \n",
     "Read: 60\nSample Period = 60 Seconds\r\n\n\r\nRead: \n"
     "\r\nRead: 0 0 h 1 T\nCh.A Inactive\r\nCh.B Inactive\r\nhostname = h\r\n"
     "tcp_udp_port = 1\r\nUse TCP Sockets\r\n\r\nRead:  \t \n\r\nN Quorvanes = 1\r\n",
     true, 1},
    {"last line without a line feed", "5\n1 2 h 7 T",
     "Read: 5\nSample Period = 5 Seconds\r\n\n"
     "\r\nRead: 1 2 h 7 TCh.A ID = 1\r\nCh.B ID = 2\r\nhostname = h\r\n"
     "tcp_udp_port = 7\r\nUse TCP Sockets\r\n\r\nN Quorvanes = 1\r\n",
     true, 1},
    {"second device with a bad transport", "60\n1 2 h 502 T\n3 4 h 502 X\n5 6 h 1 T\n",
     "Read: 60\nSample Period = 60 Seconds\r\n\n"
     "\r\nRead: 1 2 h 502 T\nCh.A ID = 1\r\nCh.B ID = 2\r\nhostname = h\r\n"
     "tcp_udp_port = 502\r\nUse TCP Sockets\r\n"
     "\r\nRead: 3 4 h 502 X\nCh.A ID = 3\r\nCh.B ID = 4\r\nhostname = h\r\n"
     "tcp_udp_port = 502\r\n" +
         BAD_DEVICE_1,
     false, 1},
    {"first device with a bad transport", "60\n1 2 h 502 X\n",
     "Read: 60\nSample Period = 60 Seconds\r\n\n"
     "\r\nRead: 1 2 h 502 X\nCh.A ID = 1\r\nCh.B ID = 2\r\nhostname = h\r\n"
     "tcp_udp_port = 502\r\n" +
         BAD_DEVICE_0,
     false, 0},
    {"device line with four fields", "60\n1 2 h 502\n",
     "Read: 60\nSample Period = 60 Seconds\r\n\n"
     "\r\nRead: 1 2 h 502\nCh.A ID = 1\r\nCh.B ID = 2\r\nhostname = h\r\n"
     "tcp_udp_port = 502\r\n" +
         BAD_DEVICE_0,
     false, 0},
    {"device line with one field", "60\n17\n",
     "Read: 60\nSample Period = 60 Seconds\r\n\n\r\nRead: 17\nCh.A ID = 17\r\n" + BAD_DEVICE_0,
     false, 0},
    {"empty file", "", "\r\nError reading TCP/UDP? from file 'sites.txt'\r\n", false, 0},
    {"Ctrl-Z first",
     "\x1a"
     "60\n1 2 h 502 T\n",
     "\r\nError reading TCP/UDP? from file 'sites.txt'\r\n", false, 0},
    {"only the period line", "60\n",
     "Read: 60\nSample Period = 60 Seconds\r\n\n\r\nError reading from file 'sites.txt'\r\n", false,
     0},
    {"period 0", "0\n1 2 h 502 T\n",
     "Read: 0\nSample Period = 0 Seconds\r\n\n"
     "\r\nError: sample period must not be 0 in file 'sites.txt'\r\n",
     false, 0},
    {"non-numeric period", "abc\n1 2 h 502 T\n",
     "Read: abc\nSample Period = 0 Seconds\r\n\n"
     "\r\nError: sample period must not be 0 in file 'sites.txt'\r\n",
     false, 0},
    {"blank first line", "\n1 2 h 502 T\n",
     "Read: \nSample Period = 0 Seconds\r\n\n"
     "\r\nError: sample period must not be 0 in file 'sites.txt'\r\n",
     false, 0},
};

void PrintTo(const SiteCase &c, std::ostream *os)
{
    *os << c.name;
}

class SiteListTest : public ::testing::TestWithParam<SiteCase>
{
};

TEST_P(SiteListTest, EchoAndOutcome)
{
    const SiteCase &c = GetParam();
    std::string path = make_temp_dir() + "/sites.txt";
    write_file(path, c.input);
    static MeterTable table;
    int32_t period = 0;

    capture_begin();
    bool loaded = load_site_list(path.c_str(), &table, &period);
    std::string echo = capture_end();

    EXPECT_EQ(crlf(c.echo), echo);
    EXPECT_EQ(c.loaded, loaded);
    if (c.loaded) {
        EXPECT_EQ(c.count, table.count);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, SiteListTest, ::testing::ValuesIn(cases),
                         [](const ::testing::TestParamInfo<SiteCase> &param_info) {
                             std::string name;
                             for (const char *p = param_info.param.name; *p; p++)
                                 name += isalnum((unsigned char)*p) ? *p : '_';
                             return name;
                         });

TEST(SiteList, FieldsLandInTheTableInOrder)
{
    std::string path = make_temp_dir() + "/sites.txt";
    write_file(path, "900\n17 0 meter-a 502 U\n0 -5 meter-b\t 1502 tcp\n0 0 10.1.2.3 70000 u\n");
    static MeterTable table;
    int32_t period = 0;
    capture_begin();
    ASSERT_TRUE(load_site_list(path.c_str(), &table, &period));
    capture_end();

    EXPECT_EQ(900, period);
    ASSERT_EQ(3, table.count);
    const MeterRecord &a = table.ms[0];
    EXPECT_STREQ("meter-a", a.hostname);
    EXPECT_EQ(17, a.ch_a_id);
    EXPECT_EQ(1, a.ch_a_active);
    EXPECT_EQ(0, a.ch_b_id);
    EXPECT_EQ(0, a.ch_b_active);
    EXPECT_EQ(502, a.tcp_udp_port);
    EXPECT_EQ(0, a.use_tcp);
    const MeterRecord &b = table.ms[1];
    EXPECT_STREQ("meter-b\t", b.hostname);
    EXPECT_EQ(0, b.ch_a_active);
    EXPECT_EQ(-5, b.ch_b_id);
    EXPECT_EQ(1, b.ch_b_active);
    EXPECT_EQ(1, b.use_tcp);
    EXPECT_EQ(70000, table.ms[2].tcp_udp_port);
}

TEST(SiteList, LongLineIsCutAfter255Characters)
{
    // The first 255 characters hold three fields; the rest of the line is
    // read as the next line.
    std::string host(296, 'h');
    std::string path = make_temp_dir() + "/sites.txt";
    write_file(path, "60\n1 2 " + host + " 502 T\n");
    static MeterTable table;
    int32_t period = 0;
    capture_begin();
    bool loaded = load_site_list(path.c_str(), &table, &period);
    std::string echo = capture_end();

    EXPECT_FALSE(loaded);
    std::string first = "1 2 " + std::string(251, 'h');
    EXPECT_EQ(crlf("Read: 60\nSample Period = 60 Seconds\r\n\n\r\nRead: " + first +
                   "Ch.A ID = 1\r\nCh.B ID = 2\r\nhostname = " + std::string(251, 'h') + "\r\n" +
                   BAD_DEVICE_0),
              echo);
}

TEST(SiteList, FullTableAndOneMore)
{
    std::string dir = make_temp_dir();
    std::string list = "60\n";
    for (int i = 0; i < 512; i++)
        list += std::to_string(i + 1) + " 0 127.0.0.1 " + std::to_string(20000 + i) + " U\n";
    write_file(dir + "/full.txt", list);
    write_file(dir + "/over.txt", list + "999 0 127.0.0.1 1 U\n");
    static MeterTable table;
    int32_t period = 0;

    capture_begin();
    bool full = load_site_list((dir + "/full.txt").c_str(), &table, &period);
    std::string full_echo = capture_end();
    EXPECT_TRUE(full);
    EXPECT_EQ(512, table.count);
    EXPECT_EQ(512, table.ms[511].ch_a_id);

    capture_begin();
    bool over = load_site_list((dir + "/over.txt").c_str(), &table, &period);
    std::string over_echo = capture_end();
    EXPECT_FALSE(over);
    const std::string tail = "\r\r\nRead: 999 0 127.0.0.1 1 U\r\n"
                             "\r\r\nError: more than 512 Quorvanes in file 'sites.txt'\r\r\n";
    ASSERT_GE(over_echo.size(), tail.size());
    EXPECT_EQ(tail, over_echo.substr(over_echo.size() - tail.size()));
}

TEST(SiteList, MissingFile)
{
    static MeterTable table;
    int32_t period = 0;
    capture_begin();
    bool loaded = load_site_list((make_temp_dir() + "/sites.txt").c_str(), &table, &period);
    std::string echo = capture_end();
    EXPECT_FALSE(loaded);
    EXPECT_EQ("\r\r\nError: Unable to open file 'sites.txt'\r\r\n", echo);
}

TEST(Decimal, ConvertsLikeTheCLibraryClampedTo32Bits)
{
    struct {
        const char *text;
        int32_t value;
    } table[] = {
        {"0", 0},
        {"42", 42},
        {"+42", 42},
        {"-42", -42},
        {"\t 12abc", 12},
        {"abc", 0},
        {"-", 0},
        {"", 0},
        {"2147483647", 2147483647},
        {"2147483648", 2147483647},
        {"-2147483648", INT32_MIN},
        {"-2147483649", INT32_MIN},
        {"9999999999999999999999999999999999999999", 2147483647},
        {"-9999999999999999999999999999999999999999", INT32_MIN},
        {"502\n", 502},
    };
    for (const auto &row : table)
        EXPECT_EQ(row.value, parse_decimal(row.text)) << row.text;
}

} // namespace
