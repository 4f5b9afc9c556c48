#include "capture.h"

#include "platform/console.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

int saved_stdout = -1;
char capture_path[] = "/tmp/meter-capture-XXXXXX";
int capture_fd = -1;

} // namespace

void capture_begin(void)
{
    std::fflush(stdout);
    std::snprintf(capture_path, sizeof capture_path, "/tmp/meter-capture-XXXXXX");
    capture_fd = mkstemp(capture_path);
    saved_stdout = dup(STDOUT_FILENO);
    dup2(capture_fd, STDOUT_FILENO);
}

std::string capture_end(void)
{
    console_flush();
    dup2(saved_stdout, STDOUT_FILENO);
    close(saved_stdout);
    close(capture_fd);
    std::string bytes = read_file(capture_path);
    unlink(capture_path);
    return bytes;
}

void write_file(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string make_temp_dir(void)
{
    char path[] = "/tmp/meter-test-XXXXXX";
    return mkdtemp(path);
}
