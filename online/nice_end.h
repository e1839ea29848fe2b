// TIceEnd over a real TIcePath (libnice): the events passed through.
#pragma once

#include "ice_end.h"
#include "ice_path.h"

class TNiceEnd : public TIceEnd {
  public:
    explicit TNiceEnd(const TIceSettings& settings);

    void Start() override { path_.Start(); }
    void SetRemote(std::string_view description) override { path_.SetRemote(description); }
    bool Send(std::string_view datagram) override { return path_.Send(datagram); }
    void Close() override { path_.Close(); }

  private:
    TIcePath path_;
};
