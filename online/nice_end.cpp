#include "nice_end.h"

TNiceEnd::TNiceEnd(const TIceSettings& settings) : path_(settings) {
    // Read at each event: the owner sets the handlers after construction.
    path_.OnGathered = [this](const std::string& description) {
        if (OnGathered)
            OnGathered(description);
    };
    path_.OnReady = [this](TIcePathKind kind) {
        if (OnReady)
            OnReady(kind);
    };
    path_.OnKindChanged = [this](TIcePathKind kind) {
        if (OnKindChanged)
            OnKindChanged(kind);
    };
    path_.OnDatagram = [this](std::string_view datagram) {
        if (OnDatagram)
            OnDatagram(datagram);
    };
    path_.OnFailed = [this](const std::string& why) {
        if (OnFailed)
            OnFailed(why);
    };
}
