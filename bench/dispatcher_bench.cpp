// Status messages from the posting thread to a fetching thread, as an
// application's dispatcher thread receives them.  The poster never lets
// the ring fill (a full ring drops messages), so every message arrives.
#include <atomic>
#include <thread>

#include "api/context.h"
#include "api/dispatcher.h"
#include "bench_setup.h"

namespace {

void PostAndFetch(benchmark::State &state) {
  const int64_t messages = state.range(0);
  VOLNEDA_HANDLE handle = nullptr;
  VOLNEDA_StartAll(&handle, u"");
  StartDispatcher(handle);
  ReaderContext *context = ToContext(handle);
  for (auto _ : state) {
    std::atomic<int64_t> fetched{0};
    std::thread fetcher([&] {
      int32_t level, source, code;
      VOLNEDA_WCHAR text[64];
      while (fetched < messages && DispatcherGetData(handle, &level, &source, &code, text, 64)) ++fetched;
    });
    for (int64_t posted = 0; posted < messages; ++posted) {
      while (posted - fetched.load() >= static_cast<int64_t>(kRingMaxUnread)) std::this_thread::yield();
      Post(context, kLevelInfo, kSrcRead, 0, u"Read OK");
    }
    fetcher.join();
  }
  StopDispatcher(handle);
  VOLNEDA_StopAll(&handle);
  state.SetItemsProcessed(state.iterations() * messages);
}

BENCHMARK(PostAndFetch)->Name("dispatcher/volneda")->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
