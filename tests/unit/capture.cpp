#include "capture.h"

#include "platform/console.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <unistd.h> // on Windows, mingw's: dup, dup2 and close of the C runtime
#ifdef _WIN32
#include <direct.h>
#endif

namespace
{

int saved_stdout = -1;
int capture_fd = -1;
std::string capture_path;

// The system's temporary folder.
std::string temp_root(void)
{
#ifdef _WIN32
    const char *root = std::getenv("TEMP");
    return root != nullptr ? root : ".";
#else
    return "/tmp";
#endif
}

} // namespace

void capture_begin(void)
{
    std::fflush(stdout);
    capture_path = temp_root() + "/meter-capture-XXXXXX";
    capture_fd = mkstemp(&capture_path[0]);
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
    std::remove(capture_path.c_str());
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

namespace
{

std::vector<std::string> temp_dirs;

void remove_temp_dirs(void)
{
    for (const std::string &dir : temp_dirs) {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
}

std::string new_dir(void)
{
#ifdef _WIN32
    // No mkdtemp here: a name of this process, tried until one is free.
    static int serial;
    std::string path;
    do
        path = temp_root() + "/meter-test-" + std::to_string(getpid()) + "-" +
               std::to_string(++serial);
    while (_mkdir(path.c_str()) != 0 && errno == EEXIST);
    return path;
#else
    std::string path = temp_root() + "/meter-test-XXXXXX";
    return mkdtemp(&path[0]);
#endif
}

} // namespace

// Every folder made is removed when the test program ends.
std::string make_temp_dir(void)
{
    if (temp_dirs.empty())
        std::atexit(remove_temp_dirs);
    temp_dirs.push_back(new_dir());
    return temp_dirs.back();
}
