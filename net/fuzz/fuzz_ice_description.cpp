// Arbitrary lines through the reader of ICE descriptions, the one part of
// a path that reads what another program sent through the lobby.  What it
// accepts must encode again to a line it reads back the same.
#include "ice_description.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    TIceDescription description;
    try {
        description = ParseIceDescription(line);
    } catch (const TIceDescriptionError&) {
        return 0;
    }
    if (ParseIceDescription(EncodeIceDescription(description)) != description)
        std::abort();
    return 0;
}
