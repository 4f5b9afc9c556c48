// Replays a fuzz target's corpus without libFuzzer: every file of the
// folders (or the files) named on the command line is handed to the target
// once, in name order. A broken property aborts, naming the input. Built
// with the project's own compiler, so every test build replays the seeds and
// every input that ever broke a target.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace
{

enum { INPUT_SIZE = 1 << 20, MAX_FILES = 1024, NAME_SIZE = 512 };

uint8_t input[INPUT_SIZE];
char names[MAX_FILES][NAME_SIZE];

bool replay_file(const char *path)
{
    std::FILE *f = std::fopen(path, "rb");
    if (f == nullptr) {
        std::fprintf(stderr, "cannot read %s\n", path);
        return false;
    }
    size_t size = std::fread(input, 1, sizeof input, f);
    bool whole = std::feof(f) != 0;
    std::fclose(f);
    if (!whole) {
        std::fprintf(stderr, "%s is larger than %d bytes\n", path, INPUT_SIZE);
        return false;
    }
    std::fprintf(stderr, "replaying %s (%zu bytes)\n", path, size);
    LLVMFuzzerTestOneInput(input, size);
    return true;
}

int by_name(const void *a, const void *b)
{
    return std::strcmp((const char *)a, (const char *)b);
}

// Replays every regular file of the folder; returns how many, or -1.
int replay_folder(const char *folder)
{
    DIR *dir = opendir(folder);
    if (dir == nullptr)
        return -1;
    int count = 0;
    while (struct dirent *entry = readdir(dir)) {
        if (entry->d_name[0] == '.' || count == MAX_FILES)
            continue;
        std::snprintf(names[count++], NAME_SIZE, "%s/%s", folder, entry->d_name);
    }
    closedir(dir);
    std::qsort(names, (size_t)count, NAME_SIZE, by_name);
    for (int i = 0; i < count; i++) {
        if (!replay_file(names[i]))
            return -1;
    }
    return count;
}

} // namespace

int main(int argc, char **argv)
{
    int replayed = 0;
    for (int i = 1; i < argc; i++) {
        struct stat st;
        if (stat(argv[i], &st) != 0) {
            std::fprintf(stderr, "no such input: %s\n", argv[i]);
            return 1;
        }
        int count = S_ISDIR(st.st_mode) ? replay_folder(argv[i]) : replay_file(argv[i]) ? 1 : -1;
        if (count < 0)
            return 1;
        replayed += count;
    }
    std::fprintf(stderr, "%d inputs replayed, every property held\n", replayed);
    return replayed > 0 ? 0 : 1;
}
