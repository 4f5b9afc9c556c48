#include "fuzz/scratch.h"

#include "platform/console.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

char folder[SCRATCH_PATH_SIZE];

// Empties and removes the folder; only files are ever made in it.
void remove_folder(void)
{
    DIR *dir = opendir(folder);
    if (dir == nullptr)
        return;
    while (struct dirent *entry = readdir(dir)) {
        char path[SCRATCH_PATH_SIZE];
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        scratch_path(entry->d_name, path, sizeof path);
        unlink(path);
    }
    closedir(dir);
    rmdir(folder);
}

} // namespace

void scratch_begin(void)
{
    if (folder[0] != '\0')
        return;
    const char *base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::snprintf(folder, sizeof folder, "%s/meter-fuzz-XXXXXX", base);
    if (mkdtemp(folder) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    char console[SCRATCH_PATH_SIZE];
    scratch_path("console.txt", console, sizeof console);
    int fd = open(console, O_RDWR | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || dup2(fd, STDOUT_FILENO) < 0) {
        std::perror(console);
        std::abort();
    }
    close(fd);
    std::atexit(remove_folder);
}

void scratch_path(const char *name, char *path, int size)
{
    int length = std::snprintf(path, (size_t)size, "%s/%s", folder, name);
    if (length < 0 || length >= size)
        fuzz_fail(__FILE__, __LINE__, "scratch path too long");
}

bool scratch_write(const char *path, const uint8_t *data, size_t size)
{
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        return false;
    size_t done = 0;
    while (done < size) {
        ssize_t n = write(fd, data + done, size - done);
        if (n <= 0)
            break;
        done += (size_t)n;
    }
    close(fd);
    return done == size;
}

long scratch_read(const char *path, char *text, long size)
{
    int fd = open(path, O_RDONLY);
    if (fd < 0)
        return -1;
    struct stat st;
    long length = fstat(fd, &st) == 0 ? (long)st.st_size : -1;
    long used = 0;
    while (used < size - 1) {
        ssize_t n = read(fd, text + used, (size_t)(size - 1 - used));
        if (n <= 0)
            break;
        used += (long)n;
    }
    text[used] = '\0';
    close(fd);
    return length;
}

long console_take(char *tail, long size)
{
    console_flush();
    struct stat st;
    if (fstat(STDOUT_FILENO, &st) != 0)
        fuzz_fail(__FILE__, __LINE__, "fstat of the console file");
    long length = (long)st.st_size;
    long keep = length < size - 1 ? length : size - 1;
    long got = (long)pread(STDOUT_FILENO, tail, (size_t)keep, length - keep);
    tail[got > 0 ? got : 0] = '\0';
    if (ftruncate(STDOUT_FILENO, 0) != 0 || lseek(STDOUT_FILENO, 0, SEEK_SET) != 0)
        fuzz_fail(__FILE__, __LINE__, "emptying the console file");
    return length;
}

void fuzz_fail(const char *file, int line, const char *condition)
{
    console_flush();
    std::fprintf(stderr, "%s:%d: property broken: %s\n(files kept in %s)\n", file, line, condition,
                 folder);
    std::abort();
}
