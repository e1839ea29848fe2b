#include "lobby_service.h"

#include "account_pages.h"
#include "account_rules.h"
#include "session_id.h"

#include <algorithm>
#include <chrono>

namespace {

constexpr std::string_view kLoginPath = "/tavlo/tavlologin2.php";
constexpr std::string_view kCreateGamePath = "/tavlo/creategame.php";
constexpr std::string_view kGetGamesPath = "/tavlo/getgames.php";
constexpr std::string_view kRefreshGamePath = "/tavlo/refreshgame.php";
constexpr std::string_view kMainPath = "/main.php";
constexpr std::string_view kCreateAccountPage = "100";
constexpr std::string_view kForgotPasswordPage = "101";

// The outcome characters the game reads.
const std::string kLoginOk = "0";
const std::string kLoginRefused = "1";
const std::string kLoginBadVersion = "2";
const std::string kScriptOk = "1";
const std::string kScriptFailed = "0";
constexpr char kLineEnd = '\n';

constexpr std::size_t kMaxGameNameLength = 64;
constexpr int kMaxListedGames = 200;
constexpr std::size_t kSeatCount = 6;
constexpr char kSeatNone = '0';
constexpr char kSeatOpen = '3';
constexpr char kLastSeatKind = '3';
constexpr std::string_view kMappedIPv4Prefix = "::ffff:";

constexpr int kStatusOk = 200;
constexpr int kStatusBadRequest = 400;
constexpr int kStatusNotFound = 404;
constexpr int kStatusMethodNotAllowed = 405;
constexpr int kStatusConflict = 409;

LobbyReply Text(std::string body) {
    return {kStatusOk, "text/plain", std::move(body), {}};
}

LobbyReply Html(int status, std::string body) {
    return {status,
            "text/html; charset=utf-8",
            std::move(body),
            {{"Content-Security-Policy", "default-src 'none'; form-action 'self'"}}};
}

LobbyReply NotFound() {
    return {kStatusNotFound, "text/plain", "404 Not Found\n", {}};
}

LobbyReply MethodNotAllowed(std::string allowed) {
    return {kStatusMethodNotAllowed,
            "text/plain",
            "405 Method Not Allowed\n",
            {{"Allow", std::move(allowed)}}};
}

// A name goes back out as one line of the game list, so it must not hold
// a line end or any other control character.
bool IsListableName(std::string_view name) {
    if (name.size() > kMaxGameNameLength)
        return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7f;
    });
}

// Six seat kinds 0..3; nullopt when malformed.
std::optional<int> OpenSeats(std::string_view seats) {
    if (seats.size() != kSeatCount)
        return std::nullopt;
    if (!std::all_of(seats.begin(), seats.end(),
                     [](char c) { return c >= kSeatNone && c <= kLastSeatKind; }))
        return std::nullopt;
    return static_cast<int>(std::count(seats.begin(), seats.end(), kSeatOpen));
}

// Seats taken of the seats in play: the host's own seats count as taken,
// and so does each player who has joined.
std::string PlayersText(std::string_view seats, int joinedPlayers) {
    const auto inPlay =
        std::count_if(seats.begin(), seats.end(), [](char c) { return c != kSeatNone; });
    const auto open = std::count(seats.begin(), seats.end(), kSeatOpen);
    const auto taken = std::min<long>(inPlay - open + joinedPlayers, inPlay);
    return std::to_string(taken) + "/" + std::to_string(inPlay);
}

// The game connects to the listed host over IPv4 only.
std::optional<std::string> ReachableAddress(const std::string& peerAddress) {
    std::string address = peerAddress;
    if (address.starts_with(kMappedIPv4Prefix))
        address.erase(0, kMappedIPv4Prefix.size());
    if (address.empty() || address.find(':') != std::string::npos)
        return std::nullopt;
    return address;
}

std::optional<std::int32_t> NumberParam(const QueryParams& query, std::string_view key) {
    const std::string* text = query.Find(key);
    return text == nullptr ? std::nullopt : ParsePositiveNumber(*text);
}

// An optional part of a refresh: absent is fine, present must be a number.
bool ReadOptionalNumber(const QueryParams& query, std::string_view key,
                        std::optional<std::int32_t>& value) {
    const std::string* text = query.Find(key);
    if (text == nullptr)
        return true;
    value = ParsePositiveNumber(*text);
    return value.has_value();
}

} // namespace

LobbyService::LobbyService(LobbyStore& store, PasswordHasher& hasher, LobbySettings settings,
                           Clock clock)
    : store_(store), hasher_(hasher), settings_(std::move(settings)), clock_(std::move(clock)) {}

LobbyService::Clock LobbyService::SystemClock() {
    return [] {
        using namespace std::chrono;
        return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    };
}

LobbyReply LobbyService::Handle(const LobbyRequest& request) {
    const bool isGet = request.method == "GET";
    // The game sends its queries unencoded, so a "+" in them is a plus.
    const auto query = [&] { return QueryParams::Parse(request.query, PlusSign::Literal); };
    if (request.path == kLoginPath)
        return isGet ? Login(query()) : MethodNotAllowed("GET");
    if (request.path == kCreateGamePath)
        return isGet ? CreateGame(query(), request.peerAddress) : MethodNotAllowed("GET");
    if (request.path == kGetGamesPath)
        return isGet ? GetGames(query()) : MethodNotAllowed("GET");
    if (request.path == kRefreshGamePath)
        return isGet ? RefreshGame(query()) : MethodNotAllowed("GET");
    if (request.path == kMainPath)
        return MainPage(request);
    return NotFound();
}

bool LobbyService::IsAcceptedVersion(const std::string& version) const {
    const auto& accepted = settings_.acceptedVersions;
    return std::find(accepted.begin(), accepted.end(), version) != accepted.end();
}

std::optional<std::int32_t> LobbyService::SessionPlayer(const QueryParams& query) {
    const std::string* session = query.Find("mysessid");
    if (session == nullptr || session->size() != kSessionIdLength)
        return std::nullopt;
    return store_.PlayerOfSession(*session);
}

LobbyReply LobbyService::Login(const QueryParams& query) {
    const std::string* version = query.Find("progversion");
    if (version == nullptr || !IsAcceptedVersion(*version))
        return Text(kLoginBadVersion);
    const std::string* name = query.Find("username");
    const std::string* password = query.Find("password");
    // Checked before the slow hash, so that junk costs next to nothing.
    if (name == nullptr || password == nullptr || account_rules::UserNameProblem(*name) ||
        account_rules::PasswordProblem(*password))
        return Text(kLoginRefused);
    const auto account = store_.FindPlayer(*name);
    if (!account || !hasher_.Verify(account->passwordHash, *password))
        return Text(kLoginRefused);
    const std::string session = NewSessionId();
    store_.ReplaceSession(account->number, session, clock_());
    return Text(kLoginOk + session + kLineEnd + std::to_string(account->number));
}

LobbyReply LobbyService::CreateGame(const QueryParams& query, const std::string& peerAddress) {
    const auto gameType = NumberParam(query, "gametype");
    const std::string* name = query.Find("gamename");
    const std::string* seats = query.Find("players");
    if (!gameType || name == nullptr || seats == nullptr || !IsListableName(*name))
        return Text(kScriptFailed);
    const auto openSeats = OpenSeats(*seats);
    const auto address = ReachableAddress(peerAddress);
    if (!openSeats || *openSeats == 0 || !address)
        return Text(kScriptFailed);
    const auto player = SessionPlayer(query);
    if (!player)
        return Text(kScriptFailed);
    const std::int32_t number =
        store_.CreateGame({*player, *gameType, *name, *seats, *openSeats, *address}, clock_());
    return Text(kScriptOk + kLineEnd + std::to_string(number));
}

LobbyReply LobbyService::GetGames(const QueryParams& query) {
    const auto gameType = NumberParam(query, "gametype");
    if (!gameType || !SessionPlayer(query))
        return Text(kScriptFailed);
    const std::int64_t expiryMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(settings_.gameExpiry).count();
    std::string body = kScriptOk + kLineEnd;
    for (const ListedGame& game :
         store_.WaitingGames(*gameType, clock_() - expiryMs, kMaxListedGames)) {
        body += game.name + kLineEnd;
        body += PlayersText(game.seats, game.joinedPlayers) + kLineEnd;
        body += game.hostAddress + kLineEnd;
    }
    return Text(std::move(body));
}

LobbyReply LobbyService::RefreshGame(const QueryParams& query) {
    GameRefresh refresh;
    const auto gameType = NumberParam(query, "gametype");
    const auto gameNumber = NumberParam(query, "gameno");
    std::optional<std::int32_t> newState;
    if (!gameType || !gameNumber || !ReadOptionalNumber(query, "newplayer", refresh.newPlayer) ||
        !ReadOptionalNumber(query, "newgamestate", newState) ||
        !ReadOptionalNumber(query, "winner", refresh.winner))
        return Text(kScriptFailed);
    if (newState) {
        if (*newState != static_cast<int>(LobbyGameState::Started) &&
            *newState != static_cast<int>(LobbyGameState::Finished))
            return Text(kScriptFailed);
        refresh.newState = static_cast<LobbyGameState>(*newState);
    }
    const auto player = SessionPlayer(query);
    if (!player)
        return Text(kScriptFailed);
    refresh.player = *player;
    refresh.gameType = *gameType;
    refresh.gameNumber = *gameNumber;
    const RefreshOutcome outcome = store_.RefreshGame(refresh, clock_());
    return Text(outcome == RefreshOutcome::Done ? kScriptOk : kScriptFailed);
}

LobbyReply LobbyService::MainPage(const LobbyRequest& request) {
    const auto query = QueryParams::Parse(request.query, PlusSign::Space);
    const std::string* page = query.Find("pageno");
    if (page != nullptr && *page == kCreateAccountPage) {
        if (request.method == "GET")
            return Html(kStatusOk, account_pages::CreateForm());
        if (request.method == "POST")
            return CreateAccount(QueryParams::Parse(request.body, PlusSign::Space));
        return MethodNotAllowed("GET, POST");
    }
    if (page != nullptr && *page == kForgotPasswordPage) {
        if (request.method == "GET")
            return Html(kStatusOk, account_pages::Forgot(settings_.contact));
        return MethodNotAllowed("GET");
    }
    return NotFound();
}

LobbyReply LobbyService::CreateAccount(const QueryParams& form) {
    const std::string* namePtr = form.Find("username");
    const std::string* passwordPtr = form.Find("password");
    const std::string* repeatPtr = form.Find("password2");
    const std::string name = namePtr != nullptr ? *namePtr : std::string{};
    const std::string password = passwordPtr != nullptr ? *passwordPtr : std::string{};
    const std::string repeat = repeatPtr != nullptr ? *repeatPtr : std::string{};

    std::optional<std::string> problem = account_rules::UserNameProblem(name);
    if (!problem)
        problem = account_rules::PasswordProblem(password);
    if (!problem && password != repeat)
        problem = "The two passwords differ.";
    if (problem)
        return Html(kStatusBadRequest, account_pages::CreateForm(*problem, name));

    const std::string hash = hasher_.Hash(password);
    const auto number = store_.AddPlayer(name, hash, clock_());
    if (!number)
        return Html(kStatusConflict,
                    account_pages::CreateForm("The user name " + name + " is taken.", name));
    return Html(kStatusOk, account_pages::Created(name, *number));
}
