// Feeds arbitrary bytes to the query parser as a request's query and as a
// form body, and reads back every key a lobby request uses.
#include "query_params.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const PlusSign plus : {PlusSign::Literal, PlusSign::Space}) {
        const QueryParams params = QueryParams::Parse(text, plus);
        for (const char* key :
             {"username", "password", "progversion", "mysessid", "gametype", "gamename", "players",
              "gameno", "newplayer", "newgamestate", "winner", "pageno"}) {
            if (const std::string* value = params.Find(key))
                ParsePositiveNumber(*value);
        }
    }
    return 0;
}
