// One end of an ICE path as the online session drives it: TIcePath in the
// program (TNiceEnd), a scripted one in tests.  The events and calls are
// those of TIcePath (net/ice_path.h).
#pragma once

#include "ice_path.h"

#include <functional>
#include <string>
#include <string_view>

class TIceEnd {
  public:
    virtual ~TIceEnd() = default;

    std::function<void(const std::string& description)> OnGathered;
    std::function<void(TIcePathKind kind)> OnReady;
    std::function<void(TIcePathKind kind)> OnKindChanged;
    std::function<void(std::string_view datagram)> OnDatagram;
    std::function<void(const std::string& why)> OnFailed;

    virtual void Start() = 0;
    // Throws TIceDescriptionError for a description that is not one.
    virtual void SetRemote(std::string_view description) = 0;
    virtual bool Send(std::string_view datagram) = 0;
    virtual void Close() = 0;
};
