// Any bytes as a game record: either a record that writes back as it reads
// and replays or not under the rules, or a LineError naming a line, never
// anything else.

#include "match.h"
#include "saved_game.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    SavedGame record;
    try {
        record = ReadSavedGame(text);
    } catch (const LineError& e) {
        if (e.line() < 1)
            std::abort();
        return 0;
    }
    const std::string written = SavedGameText(record);
    if (SavedGameText(ReadSavedGame(written)) != written)
        std::abort();
    try {
        Match::CheckSavedGame(record);
    } catch (const LineError& e) {
        if (e.line() < 1)
            std::abort();
    }
    return 0;
}
