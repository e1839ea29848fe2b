// Any bytes as a position file: either a position on the board or a
// PositionFileError naming a line, never anything else.

#include "board.h"
#include "marble.h"
#include "position_file.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const Board board;
    MarbleList marbles;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        const int toMove = ReadPosition(text, board, marbles);
        // What was read must read back the same.
        MarbleList again;
        static const Board other;
        if (ReadPosition(PositionText(marbles, toMove), other, again) != toMove ||
            PositionText(again, toMove) != PositionText(marbles, toMove))
            std::abort();
        again.RemoveAll();
    } catch (const PositionFileError& e) {
        if (e.line() < 1 || !marbles.empty())
            std::abort();
    }
    marbles.RemoveAll();
    return 0;
}
