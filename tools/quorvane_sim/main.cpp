// quorvane-sim: simulated flow meters for tests, demonstrations and
// commissioning. See print_usage for the command line.
#include "sim_options.h"
#include "sim_server.h"

#include <cstdio>

int main(int argc, char **argv)
{
    static SimOptions options;
    static Server server;
    char error[ERROR_TEXT_SIZE];

    if (!parse_command_line(argc, argv, &options, error, sizeof error)) {
        std::fprintf(stderr, "quorvane-sim: %s\n", error);
        return 2;
    }
    if (options.help) {
        print_usage(stdout);
        return 0;
    }
    raise_file_limit(options.device_count);
    catch_stop_signals();
    if (!open_devices(&server, &options))
        return 1;
    print_listening(&server);
    return serve_until_stopped(&server);
}
