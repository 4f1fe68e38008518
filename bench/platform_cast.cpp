// The cast of the engine's hot paths against the runtime's: a miss through a deep hierarchy (the
// common case when a loop asks each object whether it is a memo) and a hit.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "platform/fast_cast.h"

namespace pagewright {
namespace {

struct TLevel0 {
  virtual ~TLevel0() = default;
};
struct TLevel1 : TLevel0 {};
struct TLevel2 : TLevel1 {};
struct TLevel3 : TLevel2 {};
struct TLevel4 : TLevel3 {};
struct TLevel5 : TLevel4 {};
struct TOther : TLevel1 {};

std::vector<std::unique_ptr<TLevel0>> Objects() {
  std::vector<std::unique_ptr<TLevel0>> v;
  for (int i = 0; i < 64; ++i) {
    if (i % 2)
      v.push_back(std::make_unique<TLevel5>());
    else
      v.push_back(std::make_unique<TOther>());
  }
  return v;
}

template <bool kFast>
void CastEach(benchmark::State& state) {
  const auto objects = Objects();
  for (auto _ : state) {
    int found = 0;
    for (const auto& o : objects) {
      if constexpr (kFast)
        found += FastCast<TLevel4>(o.get()) != nullptr;
      else
        found += dynamic_cast<TLevel4*>(o.get()) != nullptr;
    }
    benchmark::DoNotOptimize(found);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(objects.size()));
}

void BM_DynamicCast64Objects(benchmark::State& state) {
  CastEach<false>(state);
}
BENCHMARK(BM_DynamicCast64Objects);

void BM_FastCast64Objects(benchmark::State& state) {
  CastEach<true>(state);
}
BENCHMARK(BM_FastCast64Objects);

}  // namespace
}  // namespace pagewright
