#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "session_file.hpp"

namespace {

std::string ScratchPath() {
    char folder[] = "/tmp/zorvat-cli-test-XXXXXX";
    EXPECT_NE(mkdtemp(folder), nullptr);
    return std::string(folder) + "/session";
}

}  // namespace

TEST(CliSessionFile, KeepsTheRecordForItsOwnerOnly) {
    const std::string path = ScratchPath();
    const std::string record(
        "host\x1C"
        "x\x1Ckey with \xFE and more",
        24);
    std::string error;
    ASSERT_TRUE(zvcli::WriteSessionFile(path, record, error)) << error;
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(zvcli::ReadSessionFile(path, error), record);

    // A later login replaces the file, which keeps its mode.
    ASSERT_TRUE(zvcli::WriteSessionFile(path, "second", error)) << error;
    EXPECT_EQ(zvcli::ReadSessionFile(path, error), "second");
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    ASSERT_TRUE(zvcli::RemoveSessionFile(path, error));
    EXPECT_FALSE(zvcli::ReadSessionFile(path, error));
    EXPECT_NE(error.find("log in first"), std::string::npos);
    EXPECT_TRUE(zvcli::RemoveSessionFile(path, error));  // already gone is fine
    rmdir(path.substr(0, path.rfind('/')).c_str());
}
