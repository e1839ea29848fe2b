// The relay's credentials: SHA-1 and HMAC-SHA1 against the published
// vectors (FIPS 180, RFC 2202), the user and password coturn's shared
// secret scheme expects, and the secret file.
#include "lobby_test_support.h"
#include "sha1.h"
#include "turn_credentials.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

std::string Hex(const sha1::Digest& digest) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t byte : digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xf];
    }
    return text;
}

TEST(Sha1, HashesThePublishedVectorsAndEveryPaddingBoundary) {
    const struct {
        std::string message;
        const char* digest;
    } cases[] = {
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
        // The length still fits the last block, just does not, and a whole block.
        {std::string(55, 'x'), "cef734ba81a024479e09eb5a75b6ddae62e6abf1"},
        {std::string(56, 'x'), "901305367c259952f4e7af8323f480d59f81335b"},
        {std::string(64, 'x'), "bb2fa3ee7afb9f54c6dfb5d021f14b1ffe40c163"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Hex(sha1::Hash(c.message)), c.digest) << c.message.size() << " bytes";
}

TEST(Sha1, HmacMatchesRfc2202) {
    std::string key4;
    for (char c = 1; c <= 25; ++c)
        key4 += c;
    const struct {
        std::string key, data;
        const char* mac;
    } cases[] = {
        {std::string(20, '\x0b'), "Hi There", "b617318655057264e28bc0b6fb378c8ef146be00"},
        {"Jefe", "what do ya want for nothing?", "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
        {std::string(20, '\xaa'), std::string(50, '\xdd'),
         "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
        {key4, std::string(50, '\xcd'), "4c9007f4026250c6bc8414f9bf50c86c2d7235da"},
        {std::string(20, '\x0c'), "Test With Truncation",
         "4c1a03424b55e07fe7f27be1d58bb9324a9a5a04"},
        {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
         "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
        {std::string(80, '\xaa'),
         "Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data",
         "e8e99d0f45237d786d6bbaa7965c7808bbff1a91"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Hex(sha1::Hmac(c.key, c.data)), c.mac) << c.data;
}

TEST(TurnCredentials, TheUserIsExpiryAndNameAndThePasswordItsBase64Hmac) {
    // Worked out apart, with Python's hmac module.
    const TurnCredentials credentials =
        MintTurnCredentials("north-wind-secret-1", "Ann", 1'700'043'200);
    EXPECT_EQ(credentials.user, "1700043200:Ann");
    EXPECT_EQ(credentials.password, "cV7LqQa+tW5g7CU8Vuxvh2IuVTc=");
}

TEST(TurnCredentials, TheSecretFileHoldsOneLineThatOnlyItsOwnerMayRead) {
    TempDir dir;
    const auto write = [&](const std::string& name, const std::string& text, mode_t mode) {
        const std::string path = (dir.Path() / name).string();
        std::ofstream(path) << text;
        chmod(path.c_str(), mode);
        return path;
    };
    const struct {
        const char* what;
        std::string text;
        mode_t mode;
        const char* secret; // nullptr: refused
    } cases[] = {
        {"a line", "0123456789abcdefXYZ\n", 0600, "0123456789abcdefXYZ"},
        {"CR LF and more lines", "0123456789abcdefXYZ\r\nignored\n", 0400, "0123456789abcdefXYZ"},
        {"no line end", "0123456789abcdef", 0600, "0123456789abcdef"},
        {"others may read it", "0123456789abcdefXYZ\n", 0644, nullptr},
        {"the group may read it", "0123456789abcdefXYZ\n", 0640, nullptr},
        {"too short", "0123456789abcde\n", 0600, nullptr},
        {"a blank inside", "0123456789 abcdefXYZ\n", 0600, nullptr},
        {"a comment sign", "0123456789#abcdefXYZ\n", 0600, nullptr},
        {"empty", "", 0600, nullptr},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string path = write("secret" + std::to_string(++n), c.text, c.mode);
        if (c.secret == nullptr) {
            EXPECT_THROW(ReadTurnSecretFile(path), std::runtime_error) << c.what;
        } else {
            EXPECT_EQ(ReadTurnSecretFile(path), c.secret) << c.what;
        }
    }
    EXPECT_THROW(ReadTurnSecretFile((dir.Path() / "missing").string()), std::runtime_error);
}

} // namespace
