// The program's key pair: made once, kept readable by the player only,
// read back the same, and replaced where the file does not hold one.
#include "program_key_file.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct ProgramKeyFileTest : testing::Test {
    ProgramKeyFileTest() {
        folder = std::filesystem::temp_directory_path() /
                 ("zellhop-key-test-" + std::to_string(::getpid()));
        std::filesystem::remove_all(folder);
        file = folder / "zellhop" / "program-key";
    }
    ~ProgramKeyFileTest() override { std::filesystem::remove_all(folder); }
    std::filesystem::path folder, file;
};

TEST_F(ProgramKeyFileTest, MadeOnceOwnerOnlyAndReadBack) {
    const TLoadedProgramKey made = LoadOrMakeProgramKey(file);
    EXPECT_TRUE(made.kept) << made.why;
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(std::filesystem::file_size(file), 64u);
    const TLoadedProgramKey again = LoadOrMakeProgramKey(file);
    EXPECT_TRUE(again.kept);
    EXPECT_EQ(again.pair.publicKey, made.pair.publicKey);
    EXPECT_EQ(again.pair.secretKey, made.pair.secretKey);
}

TEST_F(ProgramKeyFileTest, AFileWithoutAPairIsReplaced) {
    const TLoadedProgramKey first = LoadOrMakeProgramKey(file);
    std::string bytes(64, '\0');
    {
        std::ifstream in(file, std::ios::binary);
        in.read(bytes.data(), 64);
    }
    std::string swapped = bytes;
    swapped[0] ^= 1; // the public half no longer that of the secret one
    for (const std::string& content : {std::string(), bytes.substr(0, 63), bytes + "x", swapped}) {
        std::filesystem::remove(file);
        std::ofstream(file, std::ios::binary) << content;
        const TLoadedProgramKey loaded = LoadOrMakeProgramKey(file);
        EXPECT_TRUE(loaded.kept);
        EXPECT_NE(loaded.pair.publicKey, first.pair.publicKey);
        EXPECT_EQ(LoadOrMakeProgramKey(file).pair.publicKey, loaded.pair.publicKey);
    }
}

TEST_F(ProgramKeyFileTest, AnUnwritableFolderGivesAKeyForThisRun) {
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "zellhop") << "a file where the folder should be";
    const TLoadedProgramKey loaded = LoadOrMakeProgramKey(file);
    EXPECT_FALSE(loaded.kept);
    EXPECT_FALSE(loaded.why.empty());
    EXPECT_NE(loaded.pair.publicKey, TProgramKey{});
}

} // namespace
