#include "program_key.h"

#include <sodium.h>
#include <stdexcept>

const TProgramKeyPair& ThisProgramKey() {
    static const TProgramKeyPair pair = [] {
        if (sodium_init() < 0)
            throw std::runtime_error("libsodium cannot start");
        TProgramKeyPair made;
        static_assert(sizeof(made.publicKey) == crypto_kx_PUBLICKEYBYTES);
        static_assert(sizeof(made.secretKey) == crypto_kx_SECRETKEYBYTES);
        crypto_kx_keypair(made.publicKey.data(), made.secretKey.data());
        return made;
    }();
    return pair;
}
