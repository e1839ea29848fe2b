// Any bytes as a game record: either a record that writes back as it reads
// and replays or not under the rules, or a LineError naming a line, never
// anything else.

#include "game_record.h"
#include "match.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    GameRecord record;
    try {
        record = ReadGameRecord(text);
    } catch (const LineError& e) {
        if (e.line() < 1)
            std::abort();
        return 0;
    }
    const std::string written = GameRecordText(record);
    if (GameRecordText(ReadGameRecord(written)) != written)
        std::abort();
    try {
        Match::CheckRecord(record);
    } catch (const LineError& e) {
        if (e.line() < 1)
            std::abort();
    }
    return 0;
}
