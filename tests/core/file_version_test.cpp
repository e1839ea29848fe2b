#include "file_version.h"

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <string>

namespace {

std::string TempFile(const std::string& name, const std::string& content) {
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

TEST(FileVersion, ReadsTheBlockCarriedByTheRunningProgram) {
    EXPECT_GT(GetFileVersionInfoSize(OwnExecutablePath()), 0u);
    EXPECT_EQ(GetFileVersionString(OwnExecutablePath()), "1.4.0.5");
    EXPECT_EQ(OwnFileVersion(), "1.4.0.5");
}

TEST(FileVersion, QueriesTheBlockByPath) {
    const auto raw = GetFileVersionInfo(OwnExecutablePath());
    ASSERT_TRUE(raw);
    const auto block = VersionBlock::Parse(*raw);
    ASSERT_TRUE(block);
    EXPECT_EQ(block->Query("\\StringFileInfo\\040904e4\\ProductVersion"), "1.4");
    EXPECT_EQ(block->Query("\\StringFileInfo\\040904e4\\ProductName"), "Zellhop");
    EXPECT_EQ(block->Query("\\VarFileInfo\\Translation"), std::string("\x09\x04\xe4\x04", 4));
    EXPECT_FALSE(block->Query("\\StringFileInfo\\040904e4\\Comments"));
}

TEST(FileVersion, AnswersOneHundredForFilesWithoutABlock) {
    const std::string cases[] = {
        "/bin/true",                            // an executable without one
        TempFile("plain.txt", "not a program"), // not ELF at all
        TempFile("cut.elf", std::string("\x7f"
                                        "ELF\x02\x01\x01",
                                        7)), // cut short
        ::testing::TempDir() + "does-not-exist",
    };
    for (const auto& file : cases) {
        EXPECT_EQ(GetFileVersionInfoSize(file), 0u) << file;
        EXPECT_EQ(GetFileVersionString(file), "1.00") << file;
    }
}

TEST(FileVersion, RefusesBlocksThatDoNotHoldWhatTheySay) {
    const std::string cases[] = {
        "",
        "ZHV",
        "XXXX\x01\x00",
        std::string("ZHVI\x01\x00\x05\x00"
                    "ab",
                    10),                                   // key longer than the block
        std::string("ZHVI\x02\x00\x01\x00k\x01\x00v", 12), // fewer entries than counted
    };
    for (const auto& bytes : cases)
        EXPECT_FALSE(VersionBlock::Parse(bytes)) << bytes;
    EXPECT_TRUE(VersionBlock::Parse(std::string("ZHVI\x00\x00", 6)));
}

} // namespace
