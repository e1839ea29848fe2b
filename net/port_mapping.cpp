#include "port_mapping.h"

#include "natpmp_mapper.h"
#include "upnp_mapper.h"

#include <QObject>
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using TClock = std::chrono::steady_clock;
// The shortest time between renewals, whatever the router grants.
constexpr std::chrono::seconds kMinRenewal{1};
// How long a mapping without lease sleeps between looks at the stop flag
// (it is woken at once anyway).
constexpr std::chrono::hours kLongSleep{24};

} // namespace

const char* MappingMethodName(TMappingMethod method) {
    return method == TMappingMethod::NatPmp ? "NAT-PMP" : "UPnP IGD";
}

// The thread that talks to the router, and the way back to the owner's.
class TPortMapping::TWorker {
  public:
    TWorker(TPortMapping& owner, const TPortMappingSettings& settings)
        : owner_(owner), settings_(settings), context_(std::make_unique<QObject>()) {}

    ~TWorker() {
        Remove();
        if (thread_.joinable())
            thread_.join();
        context_.reset(); // events still queued for the owner go with it
    }

    void Start() {
        if (!thread_.joinable() && !stop_)
            thread_ = std::thread(&TWorker::Run, this);
    }

    void Remove() {
        silenced_ = true;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
    }

  private:
    void Run() {
        TPortMappingResult result;
        std::unique_ptr<TRouterMapper> mapper = MapAny(result);
        Post([this, result] {
            if (owner_.OnResult)
                owner_.OnResult(result);
        });
        if (mapper)
            Keep(*mapper, result.lease);
    }

    std::unique_ptr<TRouterMapper> MapAny(TPortMappingResult& result) {
        std::string whys;
        std::unique_ptr<TRouterMapper> mappers[] = {
            settings_.upnp ? std::make_unique<TUpnpMapper>() : nullptr,
            settings_.natpmp ? std::make_unique<TNatPmpMapper>() : nullptr,
        };
        for (std::unique_ptr<TRouterMapper>& mapper : mappers) {
            if (!mapper || stop_)
                continue;
            result = mapper->Map(settings_, stop_);
            if (result.mapped)
                return std::move(mapper);
            whys += (whys.empty() ? "" : "; ") + result.why;
        }
        result = TPortMappingResult{};
        result.why = whys.empty() ? "no way to ask the router" : whys;
        return nullptr;
    }

    // Renews at half the lease until told to stop, then removes.
    void Keep(TRouterMapper& mapper, std::chrono::seconds lease) {
        for (;;) {
            const auto wait = lease.count() > 0
                                  ? std::max<std::chrono::seconds>(lease / 2, kMinRenewal)
                                  : std::chrono::duration_cast<std::chrono::seconds>(kLongSleep);
            if (!Sleep(wait))
                break;
            if (lease.count() == 0)
                continue;
            std::string why;
            if (!mapper.Renew(why)) {
                Post([this, why] {
                    if (owner_.OnLost)
                        owner_.OnLost(why);
                });
                return;
            }
            Post([this] {
                if (owner_.OnRenewed)
                    owner_.OnRenewed();
            });
        }
        mapper.Unmap();
    }

    // False as soon as a stop is asked for.
    bool Sleep(std::chrono::seconds duration) {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait_for(lock, duration, [this] { return stop_.load(); });
        return !stop_;
    }

    // Runs `event` on the owner's thread unless the owner has silenced us.
    void Post(std::function<void()> event) {
        QMetaObject::invokeMethod(
            context_.get(),
            [this, event = std::move(event)] {
                if (!silenced_)
                    event();
            },
            Qt::QueuedConnection);
    }

    TPortMapping& owner_;
    const TPortMappingSettings settings_;
    std::unique_ptr<QObject> context_; // lives on the owner's thread
    std::atomic<bool> stop_{false};
    bool silenced_ = false; // the owner's thread only
    std::mutex mutex_;
    std::condition_variable wake_;
    std::thread thread_;
};

TPortMapping::TPortMapping(const TPortMappingSettings& settings)
    : worker_(std::make_unique<TWorker>(*this, settings)) {}

TPortMapping::~TPortMapping() = default;

void TPortMapping::Start() {
    worker_->Start();
}

void TPortMapping::Remove() {
    worker_->Remove();
}
