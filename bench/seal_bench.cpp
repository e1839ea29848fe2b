// The cost of sealing and opening one datagram of a link (link_seal.h):
// a move of 40 bytes and a datagram as long as a message of ours may be.
// Run by hand: build/bench/seal_bench
#include "link_seal.h"
#include "qmsg.h"

#include <benchmark/benchmark.h>

namespace {

std::string Datagram(std::size_t textBytes) {
    TQMsg msg;
    msg.MsgType = 2;
    msg.AddInt(7);
    msg.AddInt(3);
    if (textBytes > 0)
        msg.AddStr(std::string(textBytes, 'x'));
    return msg.EncodeWithTrailer(EncodeTrailer({kTrailerSequenced, 11, 5, 2, 0}));
}

struct Ends {
    Ends()
        : ann(TLinkKeyPair::Generate()), bob(TLinkKeyPair::Generate()),
          sender(*TLinkSeal::Agree(ann, 11, bob.publicKey, 22)),
          receiver(*TLinkSeal::Agree(bob, 22, ann.publicKey, 11)) {}
    TLinkKeyPair ann, bob;
    TLinkSeal sender, receiver;
};

void SealOnly(benchmark::State& state) {
    Ends ends;
    const std::string plain = Datagram(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(ends.sender.Seal(plain));
    state.SetLabel(std::to_string(plain.size()) + " bytes");
}
BENCHMARK(SealOnly)->Arg(0)->Arg(1000);

void SealAndOpen(benchmark::State& state) {
    Ends ends;
    const std::string plain = Datagram(static_cast<std::size_t>(state.range(0)));
    std::string opened;
    for (auto _ : state) {
        const std::string sealed = ends.sender.Seal(plain);
        if (ends.receiver.Open(sealed, opened) != TLinkSeal::TOpened::Fresh)
            state.SkipWithError("did not open");
    }
    state.SetLabel(std::to_string(plain.size()) + " bytes");
}
BENCHMARK(SealAndOpen)->Arg(0)->Arg(1000);

// Agreeing on the keys of one link, once per member and session.
void Agree(benchmark::State& state) {
    const TLinkKeyPair ann = TLinkKeyPair::Generate(), bob = TLinkKeyPair::Generate();
    for (auto _ : state)
        benchmark::DoNotOptimize(TLinkSeal::Agree(ann, 11, bob.publicKey, 22));
}
BENCHMARK(Agree);

} // namespace

BENCHMARK_MAIN();
