#include "helper_process.h"

#include <cerrno>
#include <cstdio>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace
{

enum { START_TIMEOUT_MS = 10000 };

int64_t now_ms(void)
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

HelperProcess::~HelperProcess()
{
    helper_stop(this);
}

bool helper_start(HelperProcess *helper, const std::vector<std::string> &argv)
{
    int pipe_fds[2];
    if (pipe2(pipe_fds, O_CLOEXEC) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);

    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    int error = posix_spawn(&helper->pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_fds[1]);
    helper->out_fd = pipe_fds[0];
    if (error != 0) {
        helper->pid = -1;
        return false;
    }

    std::string line;
    while (helper_read_line(helper, &line, START_TIMEOUT_MS)) {
        if (line == "ready")
            return true;
        char proto[8];
        char address[64];
        int port;
        if (std::sscanf(line.c_str(), "listening %7s %63s %d", proto, address, &port) == 3) {
            if (std::strcmp(proto, "tcp") == 0)
                helper->tcp_ports.push_back(port);
            else
                helper->udp_ports.push_back(port);
        }
    }
    return false;
}

bool helper_read_line(HelperProcess *helper, std::string *line, int timeout_ms)
{
    int64_t deadline = now_ms() + timeout_ms;
    for (;;) {
        size_t end = helper->unread.find('\n');
        if (end != std::string::npos) {
            *line = helper->unread.substr(0, end);
            helper->unread.erase(0, end + 1);
            return true;
        }
        int64_t left = deadline - now_ms();
        if (left <= 0 || helper->out_fd < 0)
            return false;
        pollfd p = {helper->out_fd, POLLIN, 0};
        if (poll(&p, 1, (int)left) <= 0)
            continue;
        char buffer[4096];
        ssize_t n = read(helper->out_fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false; // the helper has ended
        helper->unread.append(buffer, (size_t)n);
    }
}

std::string helper_wait_for(HelperProcess *helper, const std::string &prefix, int timeout_ms)
{
    int64_t deadline = now_ms() + timeout_ms;
    std::string line;
    while (helper_read_line(helper, &line, (int)(deadline - now_ms()))) {
        if (line.compare(0, prefix.size(), prefix) == 0)
            return line;
    }
    return "";
}

int helper_stop(HelperProcess *helper)
{
    int status = -1;
    if (helper->pid > 0) {
        kill(helper->pid, SIGTERM);
        int wstatus = 0;
        while (waitpid(helper->pid, &wstatus, 0) < 0 && errno == EINTR) {
        }
        status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
        helper->pid = -1;
    }
    if (helper->out_fd >= 0)
        close(helper->out_fd);
    helper->out_fd = -1;
    return status;
}

namespace
{

std::string take_temp_file(int fd, const char *path)
{
    std::string text;
    char buffer[4096];
    ssize_t n;
    lseek(fd, 0, SEEK_SET);
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, (size_t)n);
    close(fd);
    unlink(path);
    return text;
}

} // namespace

int run_command(const std::vector<std::string> &argv, std::string *out, std::string *err)
{
    char out_path[] = "/tmp/meter-link-out-XXXXXX";
    char err_path[] = "/tmp/meter-link-err-XXXXXX";
    int out_fd = mkostemp(out_path, O_CLOEXEC);
    int err_fd = mkostemp(err_path, O_CLOEXEC);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out_fd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err_fd, STDERR_FILENO);
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid;
    int wstatus = 0;
    int error = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error == 0) {
        while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
        }
    }
    *out = take_temp_file(out_fd, out_path);
    *err = take_temp_file(err_fd, err_path);
    return error == 0 && WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
}
