#include "poll_support.h"

#include "../unit/capture.h"
#include "meter_link/meter_poll.h"

#include <chrono>
#include <cstdio>
#include <dirent.h>

namespace
{

int open_descriptor_count(void)
{
    DIR *dir = opendir("/proc/self/fd");
    if (dir == nullptr)
        return -1;
    int count = 0;
    while (readdir(dir) != nullptr)
        count++;
    closedir(dir);
    return count;
}

} // namespace

MeterRecord device_record(const char *hostname, int port, bool tcp)
{
    MeterRecord r = {};
    std::snprintf(r.hostname, sizeof r.hostname, "%s", hostname);
    r.use_tcp = tcp ? 1 : 0;
    r.tcp_udp_port = port;
    r.ch_a_id = 17;
    r.ch_a_active = 1;
    return r;
}

PollResult poll_captured(MeterRecord *r, int32_t message_count)
{
    PollResult result;
    int before = open_descriptor_count();
    auto start = std::chrono::steady_clock::now();
    capture_begin();
    poll_meter(r, message_count);
    result.console = capture_end();
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(before, open_descriptor_count()) << "the poll left a descriptor open";
    return result;
}

std::string resolved_line(const char *hostname)
{
    return std::string(hostname) + " resolved to : 127.0.0.1\r\r\n";
}

std::string transport_name(const testing::TestParamInfo<bool> &info)
{
    return info.param ? "Tcp" : "Udp";
}
