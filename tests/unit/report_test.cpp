// The reading log and the status block, byte for byte, on real files.
#include "capture.h"

#include "report/reading_log.h"
#include "report/status_report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace
{

const std::string HEADER = "Date , Time , Meter_ID , Network_Fault , Meter_Fault , "
                           "Meter_Reading , Units , Rate_of_Flow\r\r\n";
const LocalTime CYCLE_TIME = {2026, 3, 7, 9, 5, 59};

MeterRecord device(int32_t ch_a_id, int32_t ch_b_id)
{
    MeterRecord r = {};
    r.ch_a_id = ch_a_id;
    r.ch_a_active = ch_a_id != 0;
    r.ch_b_id = ch_b_id;
    r.ch_b_active = ch_b_id != 0;
    return r;
}

std::string log_rows(const MeterRecord &r)
{
    std::string path = make_temp_dir() + "/meter.csv";
    TextFile log;
    open_reading_log(&log, path.c_str());
    write_reading_rows(&log, &r, &CYCLE_TIME);
    close_reading_log(&log);
    std::string bytes = read_file(path);
    EXPECT_EQ(HEADER, bytes.substr(0, HEADER.size()));
    return bytes.substr(HEADER.size());
}

TEST(ReadingLog, RowsOfEachChannelInOrder)
{
    struct {
        const char *name;
        MeterRecord record;
        std::string rows;
    } table[] = {
        {"never answered", device(17, 0),
         "2026/03/07 , 09:05 , 0017 , 0 , 0 ,           0.000 , GAL ,        0.000\r\r\n"},
        {"channel B only", device(0, 7),
         "2026/03/07 , 09:05 , 0007 , 0 , 0 ,           0.000 , GAL ,        0.000\r\r\n"},
        {"both identifiers 0", device(0, 0), ""},
        {"long and negative identifiers", device(12345, -5),
         "2026/03/07 , 09:05 , 12345 , 0 , 0 ,           0.000 , GAL ,        0.000\r\r\n"
         "2026/03/07 , 09:05 , -005 , 0 , 0 ,           0.000 , GAL ,        0.000\r\r\n"},
    };
    for (auto &row : table)
        EXPECT_EQ(row.rows, log_rows(row.record)) << row.name;
}

TEST(ReadingLog, MeasurementsAndFaults)
{
    MeterRecord r = device(1, 2);
    r.network_fault = 1;
    r.total_a = 1234567.891;
    r.rate_a = -0.001f;
    r.fault_a = 0;
    r.units_a = 3;
    r.total_b = 4294967295.0 * 1e6;
    r.rate_b = 2147483.647f; // a float: about seven significant digits
    r.fault_b = 1;
    r.units_b = -1;
    EXPECT_EQ(
        "2026/03/07 , 09:05 , 0001 , 1 , 0 ,     1234567.891 , CUBIC_METERS ,       -0.001\r\r\n"
        "2026/03/07 , 09:05 , 0002 , 1 , 1 , 4294967295000000.000 , UNITS , "
        " 2147483.750\r\r\n",
        log_rows(r));
}

TEST(ReadingLog, UnitWords)
{
    const char *words[] = {"GAL , ", "LITERS , ",    "CUBIC_FEET , ", "CUBIC_METERS , ",
                           "LBS , ", "KILOGRAMS , ", "ACRE_FEET , ",  "UNITS , "};
    for (int code = 0; code < 8; code++)
        EXPECT_STREQ(words[code], unit_word(code));
    for (int code : {8, 9, 127, -1, -128})
        EXPECT_STREQ("UNITS , ", unit_word(code));
}

TEST(ReadingLog, InfiniteAndNotANumberTotals)
{
    MeterRecord r = device(1, 2);
    r.total_a = std::numeric_limits<double>::infinity();
    r.total_b = std::nan("");
    EXPECT_EQ("2026/03/07 , 09:05 , 0001 , 0 , 0 ,             inf , GAL ,        0.000\r\r\n"
              "2026/03/07 , 09:05 , 0002 , 0 , 0 ,             nan , GAL ,        0.000\r\r\n",
              log_rows(r));
}

TEST(ReadingLog, HeaderOnlyForANewFile)
{
    std::string dir = make_temp_dir();
    MeterRecord r = device(1, 0);
    const std::string row = "2026/03/07 , 09:05 , 0001 , 0 , 0 ,           0.000 , GAL ,        "
                            "0.000\r\r\n";
    struct {
        const char *name;
        bool exists;
        std::string before;
        std::string after;
    } table[] = {
        {"missing", false, "", HEADER + row},
        {"empty", true, "", row},
        {"with rows, extended by another program", true, HEADER + "other\r\n",
         HEADER + "other\r\n" + row},
    };
    for (auto &c : table) {
        std::string path = dir + "/" + c.name + ".csv";
        if (c.exists)
            write_file(path, c.before);
        TextFile log;
        open_reading_log(&log, path.c_str());
        write_reading_rows(&log, &r, &CYCLE_TIME);
        close_reading_log(&log);
        EXPECT_EQ(c.after, read_file(path)) << c.name;
    }
}

#ifndef _WIN32
// Run as an ordinary user (root reads every file): a log that exists but
// cannot be read keeps its rows, and new rows go to its end.
TEST(ReadingLog, UnreadableLogIsAppendedNotEmptied)
{
    std::string dir = make_temp_dir();
    chmod(dir.c_str(), 0777);
    pid_t child = fork();
    ASSERT_NE(-1, child);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(2);
        std::string path = dir + "/meter.csv";
        write_file(path, HEADER + "kept\r\r\n");
        chmod(path.c_str(), 0200);
        MeterRecord r = device(1, 0);
        TextFile log;
        open_reading_log(&log, path.c_str());
        write_reading_rows(&log, &r, &CYCLE_TIME);
        close_reading_log(&log);
        chmod(path.c_str(), 0600);
        bool kept = read_file(path) == HEADER + "kept\r\r\n" +
                                           "2026/03/07 , 09:05 , 0001 , 0 , 0 ,           0.000 , "
                                           "GAL ,        0.000\r\r\n";
        _exit(kept ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
}
#endif

TEST(ReadingLog, UnopenableLogPrintsOnceAndWritesNothing)
{
    std::string dir = make_temp_dir() + "/missing-folder";
    std::string path = dir + "/meter.csv";
    MeterRecord r = device(1, 2);
    TextFile log;
    capture_begin();
    open_reading_log(&log, path.c_str());
    write_reading_rows(&log, &r, &CYCLE_TIME);
    close_reading_log(&log);
    EXPECT_EQ("\r\r\nError: Unable to open file 'meter.csv'\r\r\n", capture_end());
}

TEST(StatusReport, BlockOfNineWrites)
{
    MeterRecord r = device(0, 0);
    capture_begin();
    print_meter_status(&r, 3);
    r.network_fault = 1;
    r.total_a = 123.0;
    r.rate_a = -0.001f;
    r.total_b = 1e20;
    r.rate_b = 12.5f;
    r.fault_b = 1;
    print_meter_status(&r, 1);
    r.fault_a = 1;
    r.fault_b = 0;
    r.total_a = std::numeric_limits<double>::infinity();
    print_meter_status(&r, 512);
    EXPECT_EQ(
        "Network Fault : NO\r\r\nQuorvane 3\r\r\n"
        "Total Ch.A:           0.000\r\r\nRate Ch.A:        0.000\r\r\nFault Ch.A: NO\r\r\n"
        "Total Ch.B:           0.000\r\r\nRate Ch.B:        0.000\r\r\nFault Ch.B: NO\r\r\n\r\n"
        "Network Fault : YES\r\r\nQuorvane 1\r\r\n"
        "Total Ch.A:         123.000\r\r\nRate Ch.A:       -0.001\r\r\nFault Ch.A: NO\r\r\n"
        "Total Ch.B: 100000000000000000000.000\r\r\nRate Ch.B:       12.500\r\r\n"
        "Fault Ch.B: YES\r\r\n\r\n"
        "Network Fault : YES\r\r\nQuorvane 512\r\r\n"
        "Total Ch.A:             inf\r\r\nRate Ch.A:       -0.001\r\r\nFault Ch.A: YES\r\r\n"
        "Total Ch.B: 100000000000000000000.000\r\r\nRate Ch.B:       12.500\r\r\n"
        "Fault Ch.B: NO\r\r\n\r\n",
        capture_end());
}

} // namespace
