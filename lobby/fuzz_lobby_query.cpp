// Feeds arbitrary bytes to the lobby's readers of what clients send: as a
// request's query and as a form body (reading back every key a lobby
// request uses), as X-Forwarded-For lines behind a trusted proxy, and as a
// name and a log line.
#include "clean_text.h"
#include "client_address.h"
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
            if (const std::string* value = params.Find(key)) {
                ParsePositiveNumber(*value);
                clean_text::IsClean(*value);
            }
        }
    }

    static const TrustedProxies proxies = [] {
        TrustedProxies trusted;
        trusted.Add(AddressRange::Parse("127.0.0.0/8"));
        trusted.Add(AddressRange::Parse("fd00::/8"));
        return trusted;
    }();
    const std::size_t split = text.find('\n');
    std::vector<std::string> lines{std::string(text.substr(0, split))};
    if (split != std::string_view::npos)
        lines.emplace_back(text.substr(split + 1));
    proxies.ClientOf(*IpAddress::Parse("127.0.0.1"), lines).LimitKey();
    try {
        AddressRange::Parse(text);
    } catch (const std::invalid_argument&) {
    }
    clean_text::IsClean(text);
    clean_text::ForLog(text);
    return 0;
}
