// What other programs may do with a file while the service has it open:
// read and write the reading log, only read the site list.
#include "../unit/capture.h"

#include "platform/text_file.h"

#include <gtest/gtest.h>

#include <string>
#include <windows.h>

namespace
{

// Opens the file as another program would, sharing it every way.
bool other_program_opens(const std::string &path, DWORD access)
{
    HANDLE h = CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(h);
    return true;
}

TEST(ShareModes, OthersReadTheSiteListAndReadAndWriteTheLog)
{
    struct {
        const char *mode;
        bool exists;
        bool others_read;
        bool others_write;
    } table[] = {
        {"rt", true, true, false}, // sites.txt
        {"r", true, true, true},   // the probe of meter.csv
        {"at", true, true, true},  {"wt", false, true, true}, {"wx", false, true, true},
    };
    for (const auto &row : table) {
        std::string path = make_temp_dir() + "/file.txt";
        if (row.exists)
            write_file(path, "60\r\n");
        TextFile file;
        ASSERT_TRUE(text_open(&file, path.c_str(), row.mode)) << row.mode;
        EXPECT_EQ(row.others_read, other_program_opens(path, GENERIC_READ)) << row.mode;
        EXPECT_EQ(row.others_write, other_program_opens(path, GENERIC_WRITE)) << row.mode;
        text_close(&file);
        EXPECT_TRUE(other_program_opens(path, GENERIC_WRITE)) << row.mode << " after closing";
    }
}

TEST(ShareModes, CreatingRefusesAFileThatExists)
{
    std::string path = make_temp_dir() + "/meter.csv";
    write_file(path, "kept\r\n");
    TextFile file;
    EXPECT_FALSE(text_open(&file, path.c_str(), "wx"));
    EXPECT_EQ("kept\r\n", read_file(path));
}

} // namespace
