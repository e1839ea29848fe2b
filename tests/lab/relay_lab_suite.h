// The start of a suite of lab cases: one router lab with coturn on a
// public machine, made before the suite's first case and ended after its
// last, and every case skipped with the reason where the machine cannot
// build it (not root, no coturn).  A suite adds its own sites and programs
// in its SetUpTestSuite after StartLab, and ends them before StopLab.
#pragma once

#include "router_lab.h"
#include "turn_relay.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

class TRelayLabSuite : public ::testing::Test {
  protected:
    // Why no lab can be built here; nothing when it can.
    static std::optional<std::string> Unavailable() {
        if (auto why = TRouterLab::Unavailable())
            return why;
        if (!HaveProgram("turnserver"))
            return std::string("needs turnserver (coturn)");
        return std::nullopt;
    }
    // The lab, its public machine (with IPv6 when asked) and coturn there;
    // false, and nothing made, when Unavailable().
    static bool StartLab(bool serverIpv6) {
        if (Unavailable())
            return false;
        lab_ = std::make_unique<TRouterLab>();
        server_ = std::make_unique<TLabSite>(lab_->AddSite(TRouterKind::None, serverIpv6));
        relay_ = std::make_unique<TTurnRelay>(*lab_, *server_);
        return true;
    }
    static void StopLab() {
        relay_.reset();
        server_.reset();
        lab_.reset();
    }
    void SetUp() override {
        if (const auto why = Unavailable())
            GTEST_SKIP() << *why;
    }

    static inline std::unique_ptr<TRouterLab> lab_;
    static inline std::unique_ptr<TLabSite> server_;
    static inline std::unique_ptr<TTurnRelay> relay_;
};
