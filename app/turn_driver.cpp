#include "turn_driver.h"

#include <QMetaObject>

namespace {

// A search shorter than this shows nothing; a longer one says so.
constexpr int kThinkingShownAfter = 200; // ms

} // namespace

TurnDriver::TurnDriver(Match& match, QTimer& stepTimer, Search search, Pace pace, QObject* parent)
    : QObject(parent), match_(match), stepTimer_(stepTimer), search_(std::move(search)),
      pace_(std::move(pace)) {
    stepTimer_.stop();
    connect(&stepTimer_, &QTimer::timeout, this, &TurnDriver::WaitOver);
    thinkingTimer_.setSingleShot(true);
    connect(&thinkingTimer_, &QTimer::timeout, this, &TurnDriver::thinking);
    StepReady();
}

TurnDriver::~TurnDriver() {
    stepTimer_.stop();
    // The worker reads only its snapshot and its stop flag; it returns
    // within a few milliseconds of being told.
    if (searchStop_)
        searchStop_->store(true);
    if (worker_.joinable())
        worker_.join();
}

void TurnDriver::StepReady() {
    if (scheduled_)
        return;
    scheduled_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            scheduled_ = false;
            Drive();
        },
        Qt::QueuedConnection);
}

bool TurnDriver::Idle() const {
    if (scheduled_ || waiting_ || searching_)
        return false;
    const MatchStep step = match_.NextStep();
    return step != MatchStep::kChooseMove && step != MatchStep::kShowHop &&
           step != MatchStep::kPassTurn;
}

void TurnDriver::Drive() {
    switch (match_.NextStep()) {
    case MatchStep::kChooseMove:
        if (!searching_)
            StartSearch();
        break;
    case MatchStep::kShowHop:
        if (!waiting_)
            StartWait();
        break;
    case MatchStep::kPassTurn:
        match_.NextTurn();
        break;
    default:
        // The move shown or searched went with its game (End Current Game,
        // a win, the program closing).
        waiting_ = due_ = false;
        stepTimer_.stop();
        if (searching_)
            searchStop_->store(true);
        break;
    }
}

// --- The search -----------------------------------------------------------------

void TurnDriver::StartSearch() {
    const MoveRequest request = match_.WantedMove();
    searching_ = true;
    searchLevel_ = request.level;
    emit searchStarted(request.level);
    if (request.level != ComputerLevel::kClassic)
        thinkingTimer_.start(kThinkingShownAfter);
    if (worker_.joinable())
        worker_.join();
    searchStop_ = std::make_shared<std::atomic<bool>>(false);
    worker_ = std::thread([this, request, search = search_, stop = searchStop_] {
        LevelMove move;
        std::exception_ptr failure;
        try {
            move = search(request.position, request.level, stop.get());
        } catch (...) {
            failure = std::current_exception();
        }
        QMetaObject::invokeMethod(
            this, [this, move, failure] { SearchDone(move, failure); }, Qt::QueuedConnection);
    });
}

void TurnDriver::SearchDone(const LevelMove& move, std::exception_ptr failure) {
    if (worker_.joinable())
        worker_.join();
    searching_ = false;
    thinkingTimer_.stop();
    emit searchEnded(searchLevel_, !move.abandoned && move.colour >= 0);
    if (failure)
        std::rethrow_exception(failure);
    match_.PlayComputerMove(move);
}

// --- The waits of a move shown ---------------------------------------------------

void TurnDriver::StartWait() {
    waiting_ = true;
    due_ = false;
    emit waitStarted();
    stepTimer_.setInterval(pace_.stepDelay());
    stepTimer_.start();
}

void TurnDriver::WaitOver() {
    stepTimer_.stop();
    if (!waiting_)
        return;
    if (pace_.paused()) {
        due_ = true;
        return;
    }
    Advance();
}

void TurnDriver::Resume() {
    if (due_ && !pace_.paused())
        Advance();
}

void TurnDriver::Advance() {
    waiting_ = due_ = false;
    match_.AdvanceShownMove();
}
