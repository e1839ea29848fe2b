#include "lobby_service.h"

#include "account_pages.h"
#include "account_rules.h"
#include "base64_text.h"
#include "clean_text.h"
#include "client_address.h"
#include "front_page.h"
#include "html_page.h"
#include "lobby_protocol.h"
#include "session_id.h"

#include <algorithm>
#include <chrono>
#include <future>

namespace {

namespace key = lobby_protocol::key;
using lobby_protocol::kCreateGamePath;
using lobby_protocol::kGetCandidatesPath;
using lobby_protocol::kGetGamesPath;
using lobby_protocol::kLineEnd;
using lobby_protocol::kLoginPath;
using lobby_protocol::kPostCandidatesPath;
using lobby_protocol::kRefreshGamePath;
using lobby_protocol::kRenewPath;

constexpr std::string_view kMainPath = "/main.php";
constexpr std::string_view kFrontPagePath = "/";
constexpr std::string_view kStylesheetPath = "/lobby.css";
constexpr std::string_view kCreateAccountPage = "100";
constexpr std::string_view kForgotPasswordPage = "101";

// The outcome characters the game reads.
const std::string kLoginOk(1, lobby_protocol::kLoginOk);
const std::string kLoginRefused(1, lobby_protocol::kLoginRefused);
const std::string kLoginBadVersion(1, lobby_protocol::kLoginBadVersion);
const std::string kScriptOk(1, lobby_protocol::kScriptOk);
const std::string kScriptFailed(1, lobby_protocol::kScriptFailed);

constexpr std::size_t kMaxGameNameLength = 64;
constexpr int kMaxListedGames = 200;
constexpr int kFrontPageGames = 50;
constexpr int kFrontPageWinners = 10;
constexpr int kFrontPagePlayers = 20;
constexpr std::int64_t kFrontPageMaxAgeMs = 1000;
constexpr std::size_t kSeatCount = 6;
constexpr char kSeatNone = '0';
constexpr char kSeatOpen = '3';
constexpr char kLastSeatKind = '3';

constexpr int kStatusOk = 200;
constexpr int kStatusBadRequest = 400;
constexpr int kStatusNotFound = 404;
constexpr int kStatusMethodNotAllowed = 405;
constexpr int kStatusConflict = 409;
constexpr int kStatusTooManyRequests = 429;
constexpr int kStatusInternalError = 500;
constexpr int kStatusUnavailable = 503;

// What the game shows, code first, in its error box when its log-in is
// turned away before the password is looked at; its login dialog stays
// open for another try.
const std::string kTooManyLogins = "Too many log-ins, try again later";
const std::string kBusyHashing = "Busy with other log-ins, try again in a moment";
constexpr std::chrono::seconds kBusyRetryAfter{5};

LobbyReply Text(std::string body) {
    return {kStatusOk, "text/plain", std::move(body), {}, {}, {}};
}

LobbyReply Html(int status, std::string body) {
    return {status,
            "text/html; charset=utf-8",
            std::move(body),
            {{"Content-Security-Policy",
              "default-src 'none'; style-src 'self'; form-action 'self'; frame-ancestors 'none'"}},
            {},
            {}};
}

LobbyReply NotFound() {
    return {kStatusNotFound, "text/plain", "404 Not Found\n", {}, {}, {}};
}

LobbyReply MethodNotAllowed(std::string allowed) {
    return {kStatusMethodNotAllowed,         "text/plain", "405 Method Not Allowed\n",
            {{"Allow", std::move(allowed)}}, {},           {}};
}

LobbyReply ServerError(std::string what) {
    return {kStatusInternalError, "text/plain", "500 Internal Server Error\n", {}, {},
            std::move(what)};
}

// A refusal before any hash, for the game (its error box shows the reason)
// or for a person at the account page.
LobbyReply Refusal(int status, const std::string& reason, std::chrono::seconds retryAfter,
                   bool page) {
    LobbyReply reply =
        page ? Html(status, account_pages::Refused(reason))
             : LobbyReply{status, "text/plain", std::to_string(status) + " " + reason + "\n",
                          {},     {},           {}};
    reply.reason = reason;
    reply.headers.emplace_back("Retry-After", std::to_string(retryAfter.count()));
    return reply;
}

// A name goes back out as one line of the game list and onto the front
// page, so it must be clean text; the game itself sends only letters,
// digits and spaces, so anything else comes from some other client and is
// refused, not repaired.
bool IsListableName(std::string_view name) {
    return name.size() <= kMaxGameNameLength && clean_text::IsClean(name);
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

// The game connects to the listed host over IPv4 only.
std::optional<std::string> ReachableAddress(const std::string& clientAddress) {
    const auto address = IpAddress::Parse(clientAddress);
    if (!address || !address->IsV4())
        return std::nullopt;
    return address->ToString();
}

std::string LimitKeyOf(const std::string& clientAddress) {
    const auto address = IpAddress::Parse(clientAddress);
    return address ? address->LimitKey() : clientAddress;
}

std::string FoldedName(std::string_view name) {
    std::string folded(name);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return folded;
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

// One of our flags: absent is off, "1" is on, anything else is malformed.
bool ReadFlag(const QueryParams& query, std::string_view name, bool& on) {
    const std::string* text = query.Find(name);
    on = text != nullptr;
    return text == nullptr || *text == lobby_protocol::kFlagOn;
}

std::string ParamOrEmpty(const QueryParams& params, std::string_view key) {
    const std::string* value = params.Find(key);
    return value != nullptr ? *value : std::string{};
}

// Runs `work` and answers what it returns; a failure inside answers 500.
template <class Work> void Answer(LobbyService::Done& done, Work&& work) {
    LobbyReply reply;
    try {
        reply = work();
    } catch (const std::exception& e) {
        reply = ServerError(e.what());
    }
    done(std::move(reply));
}

} // namespace

LobbyService::LobbyService(LobbyStore& store, PasswordHasher& hasher, LobbySettings settings,
                           Clock clock)
    : store_(store), hasher_(hasher), settings_(std::move(settings)), clock_(std::move(clock)),
      hashesPerAddress_(settings_.hashesPerAddress), loginsPerAccount_(settings_.loginsPerAccount),
      extensions_(store_, settings_, clock_) {}

LobbyService::Clock LobbyService::SystemClock() {
    return [] {
        using namespace std::chrono;
        return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    };
}

LobbyReply LobbyService::Handle(const LobbyRequest& request) {
    std::promise<LobbyReply> reply;
    Handle(request, [&reply](LobbyReply answer) { reply.set_value(std::move(answer)); });
    return reply.get_future().get();
}

void LobbyService::Handle(const LobbyRequest& request, Done done) {
    if (auto refused = Screen(request))
        return done(std::move(*refused));
    HandleScreened(request, std::move(done));
}

void LobbyService::HandleScreened(const LobbyRequest& request, Done done) {
    try {
        Route(request, done);
    } catch (const std::exception& e) {
        // Only what runs before `done` throws here: a route answers last.
        done(ServerError(e.what()));
    }
}

std::optional<LobbyReply> LobbyService::Screen(const LobbyRequest& request) {
    try {
        if (request.path == kLoginPath && request.method == "GET")
            return ScreenLogin(QueryParams::Parse(request.query, PlusSign::Literal),
                               request.clientAddress);
        if (request.path == kMainPath && request.method == "POST") {
            // Kept while `page` points into it.
            const QueryParams query = QueryParams::Parse(request.query, PlusSign::Space);
            const std::string* page = query.Find("pageno");
            if (page != nullptr && *page == kCreateAccountPage)
                return ScreenNewAccount(QueryParams::Parse(request.body, PlusSign::Space),
                                        request.clientAddress);
        }
        return std::nullopt;
    } catch (const std::exception& e) {
        return ServerError(e.what());
    }
}

void LobbyService::Route(const LobbyRequest& request, Done& done) {
    const bool isGet = request.method == "GET";
    // The game sends its queries unencoded, so a "+" in them is a plus.
    const auto query = [&] { return QueryParams::Parse(request.query, PlusSign::Literal); };
    const auto script = [&](auto handler) {
        Answer(done, [&] { return isGet ? handler() : MethodNotAllowed("GET"); });
    };
    if (request.path == kLoginPath) {
        if (isGet)
            Login(query(), done);
        else
            done(MethodNotAllowed("GET"));
    } else if (request.path == kCreateGamePath) {
        script([&] { return CreateGame(query(), request.clientAddress); });
    } else if (request.path == kGetGamesPath) {
        script([&] { return GetGames(query()); });
    } else if (request.path == kRefreshGamePath) {
        script([&] { return RefreshGame(query()); });
    } else if (request.path == kRenewPath) {
        script([&] { return extensions_.Renew(query()); });
    } else if (request.path == kPostCandidatesPath) {
        script([&] { return extensions_.PostCandidates(query()); });
    } else if (request.path == kGetCandidatesPath) {
        script([&] { return extensions_.GetCandidates(query()); });
    } else if (request.path == kMainPath) {
        MainPage(request, done);
    } else if (request.path == kFrontPagePath) {
        script([&] { return FrontPage(); });
    } else if (request.path == kStylesheetPath) {
        script([&] {
            return LobbyReply{kStatusOk,
                              "text/css; charset=utf-8",
                              html::Stylesheet(),
                              {{"Cache-Control", "max-age=3600"}},
                              {},
                              {}};
        });
    } else {
        done(NotFound());
    }
}

bool LobbyService::IsAcceptedVersion(const std::string& version) const {
    const auto& accepted = settings_.acceptedVersions;
    return std::find(accepted.begin(), accepted.end(), version) != accepted.end();
}

std::optional<std::int32_t> LobbyService::SessionPlayer(const QueryParams& query) {
    const std::string* session = query.Find(key::kSession);
    if (session == nullptr || !IsSessionId(*session))
        return std::nullopt;
    return store_.PlayerOfSession(*session);
}

std::int64_t LobbyService::ListedAfterMs() const {
    return clock_() -
           std::chrono::duration_cast<std::chrono::milliseconds>(settings_.gameExpiry).count();
}

std::optional<LobbyReply> LobbyService::ScreenLogin(const QueryParams& query,
                                                    const std::string& clientAddress) {
    const std::string* version = query.Find(key::kProgramVersion);
    if (version == nullptr || !IsAcceptedVersion(*version))
        return Text(kLoginBadVersion);
    const std::string* name = query.Find(key::kUserName);
    const std::string* password = query.Find(key::kPassword);
    // Checked before the slow hash, so that junk costs next to nothing; such
    // a name can have no account, so answering it at once tells nothing.
    if (name == nullptr || password == nullptr || account_rules::UserNameProblem(*name) ||
        account_rules::PasswordProblem(*password))
        return Text(kLoginRefused);
    if (const auto wait = hashesPerAddress_.Take(LimitKeyOf(clientAddress)); wait.count() > 0)
        return Refusal(kStatusTooManyRequests, kTooManyLogins, wait, false);
    if (const auto wait = loginsPerAccount_.Take(FoldedName(*name)); wait.count() > 0)
        return Refusal(kStatusTooManyRequests, kTooManyLogins, wait, false);
    return std::nullopt;
}

std::optional<LobbyReply> LobbyService::ScreenNewAccount(const QueryParams& form,
                                                         const std::string& clientAddress) {
    const std::string name = ParamOrEmpty(form, "username");
    const std::string password = ParamOrEmpty(form, "password");
    std::optional<std::string> problem = account_rules::UserNameProblem(name);
    if (!problem)
        problem = account_rules::PasswordProblem(password);
    if (!problem && password != ParamOrEmpty(form, "password2"))
        problem = "The two passwords differ.";
    if (problem)
        return Html(kStatusBadRequest, account_pages::CreateForm(*problem, name));
    if (const auto wait = hashesPerAddress_.Take(LimitKeyOf(clientAddress)); wait.count() > 0)
        return Refusal(kStatusTooManyRequests, kTooManyLogins, wait, true);
    return std::nullopt;
}

void LobbyService::Login(const QueryParams& query, Done& done) {
    const std::string name = ParamOrEmpty(query, key::kUserName);
    const std::string password = ParamOrEmpty(query, key::kPassword);
    // A name without an account is checked against a stand-in hash, so
    // that both answers take the same time.
    const auto account = store_.FindPlayer(name);
    std::optional<std::string> storedHash;
    if (account)
        storedHash = account->passwordHash;
    const std::int32_t number = account ? account->number : 0;
    const std::string storedName = account ? account->name : std::string();
    // A program of this version sends its key; the written reply then goes
    // on with our items. A key that is not one gets no ticket.
    const std::string* peerKeyText = query.Find(key::kPeerKey);
    const bool extended = peerKeyText != nullptr;
    std::optional<std::string> peerKey;
    if (extended)
        peerKey = ExtensionScripts::ReadPeerKey(*peerKeyText);
    const bool queued = hasher_.TryVerify(
        std::move(storedHash), password,
        [this, number, storedName, extended, peerKey, done](std::optional<bool> matches) mutable {
            Answer(done, [&] {
                if (!matches)
                    return Refusal(kStatusUnavailable, kBusyHashing, kBusyRetryAfter, false);
                if (!*matches)
                    return Text(kLoginRefused);
                const std::string session = NewSessionId();
                std::optional<std::string> storedKey;
                if (peerKey)
                    storedKey = base64_text::EncodeUrl(*peerKey);
                store_.ReplaceSession(number, session, clock_(), storedKey);
                std::string body = kLoginOk + session + kLineEnd + std::to_string(number);
                if (extended)
                    body += kLineEnd + extensions_.LoginItems(number, storedName, peerKey);
                return Text(std::move(body));
            });
        });
    if (!queued)
        done(Refusal(kStatusUnavailable, kBusyHashing, kBusyRetryAfter, false));
}

LobbyReply LobbyService::CreateGame(const QueryParams& query, const std::string& clientAddress) {
    const auto gameType = NumberParam(query, key::kGameType);
    const std::string* name = query.Find(key::kGameName);
    const std::string* seats = query.Find(key::kPlayers);
    if (!gameType || name == nullptr || seats == nullptr || !IsListableName(*name))
        return Text(kScriptFailed);
    const auto openSeats = OpenSeats(*seats);
    const auto address = ReachableAddress(clientAddress);
    if (!openSeats || *openSeats == 0 || !address)
        return Text(kScriptFailed);
    const std::string* sessionId = query.Find(key::kSession);
    const auto session = sessionId != nullptr && IsSessionId(*sessionId)
                             ? store_.FindSession(*sessionId)
                             : std::nullopt;
    if (!session)
        return Text(kScriptFailed);
    const std::int32_t number =
        store_.CreateGame({session->player, *gameType, *name, *seats, *openSeats, *address,
                           session->peerKey.has_value()},
                          clock_());
    ++changes_;
    return Text(kScriptOk + kLineEnd + std::to_string(number));
}

LobbyReply LobbyService::GetGames(const QueryParams& query) {
    const auto gameType = NumberParam(query, key::kGameType);
    bool running = false;
    if (!gameType || !ReadFlag(query, key::kRunning, running) || !SessionPlayer(query))
        return Text(kScriptFailed);
    std::string body = kScriptOk + kLineEnd;
    for (const ListedGame& game :
         store_.ListedGames(*gameType, ListedAfterMs(), kMaxListedGames, running))
        body += ListedEntry(game, running);
    return Text(std::move(body));
}

// The written three lines; asked with running=1, a running game's players
// column says so, and a fourth line gives what programs of this version
// need: "game=5 host=12 state=playing ext=1".
std::string LobbyService::ListedEntry(const ListedGame& game, bool details) const {
    namespace detail = lobby_protocol::detail;
    const bool playing = game.state == LobbyGameState::Started;
    const std::string players = front_page::PlayersText(game.seats, game.joinedPlayers);
    std::string entry = game.name + kLineEnd;
    entry += (playing ? std::string(lobby_protocol::kPlayingPrefix) : std::string()) + players +
             kLineEnd;
    entry += game.hostAddress + kLineEnd;
    if (!details)
        return entry;
    const auto word = [](std::string_view name, const std::string& value) {
        return std::string(name) + lobby_protocol::kItemSeparator + value;
    };
    const char space = lobby_protocol::kWordSeparator;
    entry += word(detail::kGame, std::to_string(game.number)) + space +
             word(detail::kHost, std::to_string(game.hostPlayer)) + space +
             word(detail::kState, std::string(playing ? detail::kPlaying : detail::kWaiting)) +
             space + word(detail::kExtended, game.extended ? "1" : "0") + kLineEnd;
    return entry;
}

LobbyReply LobbyService::RefreshGame(const QueryParams& query) {
    GameRefresh refresh;
    const auto gameType = NumberParam(query, key::kGameType);
    const auto gameNumber = NumberParam(query, key::kGameNumber);
    std::optional<std::int32_t> newState;
    if (!gameType || !gameNumber ||
        !ReadOptionalNumber(query, key::kNewPlayer, refresh.newPlayer) ||
        !ReadOptionalNumber(query, key::kNewGameState, newState) ||
        !ReadOptionalNumber(query, key::kWinner, refresh.winner) ||
        !ReadFlag(query, key::kEnded, refresh.ended))
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
    ++changes_;
    return Text(outcome == RefreshOutcome::Done ? kScriptOk : kScriptFailed);
}

LobbyReply LobbyService::FrontPage() {
    std::lock_guard lock(frontPageMutex_);
    const std::int64_t now = clock_();
    const std::uint64_t changes = changes_;
    if (frontPage_.empty() || changes != frontPageChanges_ ||
        now - frontPageMadeMs_ >= kFrontPageMaxAgeMs || now < frontPageMadeMs_) {
        frontPage_ = front_page::Render({store_.OpenGames(ListedAfterMs(), kFrontPageGames),
                                         store_.LastFinished(kFrontPageWinners),
                                         store_.MostWins(kFrontPagePlayers)});
        frontPageChanges_ = changes;
        frontPageMadeMs_ = now;
    }
    return Html(kStatusOk, frontPage_);
}

void LobbyService::MainPage(const LobbyRequest& request, Done& done) {
    const auto query = QueryParams::Parse(request.query, PlusSign::Space);
    const std::string* page = query.Find("pageno");
    if (page != nullptr && *page == kCreateAccountPage) {
        if (request.method == "GET")
            return done(Html(kStatusOk, account_pages::CreateForm()));
        if (request.method == "POST")
            return CreateAccount(QueryParams::Parse(request.body, PlusSign::Space), done);
        return done(MethodNotAllowed("GET, POST"));
    }
    if (page != nullptr && *page == kForgotPasswordPage) {
        if (request.method == "GET")
            return done(Html(kStatusOk, account_pages::Forgot(settings_.contact)));
        return done(MethodNotAllowed("GET"));
    }
    done(NotFound());
}

void LobbyService::CreateAccount(const QueryParams& form, Done& done) {
    const std::string name = ParamOrEmpty(form, "username");
    const bool queued = hasher_.TryHash(
        ParamOrEmpty(form, "password"),
        [this, name, done](std::optional<std::string> hash) mutable {
            Answer(done, [&] {
                if (!hash)
                    return Refusal(kStatusUnavailable, kBusyHashing, kBusyRetryAfter, true);
                const auto number = store_.AddPlayer(name, *hash, clock_());
                if (!number)
                    return Html(kStatusConflict, account_pages::CreateForm(
                                                     "The user name " + name + " is taken.", name));
                ++changes_;
                return Html(kStatusOk, account_pages::Created(name, *number));
            });
        });
    if (!queued)
        done(Refusal(kStatusUnavailable, kBusyHashing, kBusyRetryAfter, true));
}
