#pragma once
// AwaitQuery: one zenoh query whose caller blocks until the query has ended,
// with each reply handed to a collector of the caller's choice. RpcClient
// keeps the first reply that decodes; qrk's census keeps who answered.
//
// A collector has two steps: `static std::optional<Item> Read(ok, key,
// payload)` makes what it keeps of one reply, and `bool Take(Item)` keeps it
// (true: enough has come). Read does the costly part, decoding, and runs
// before any lock is taken, so a large reply never holds off the caller that
// is waiting to return, nor other replies; Take only hands the result over.
//
// The caller waits for zenoh's end-of-replies signal rather than for its own
// clock: with the default consolidation zenoh holds every reply until the
// query ends, and a server that keeps its query object after replying (a
// `for query in queryable:` loop) has its reply handed over only at the
// query's time-out, together with the end of replies. Giving up at the same
// instant would lose it. zenoh guarantees the signal at its time-out; the
// local deadline is only a backstop a little later.
//
// Threads: Read and Take run on zenoh's threads, Read with no lock (it may
// run for two replies at once and must touch nothing shared), Take under a
// lock that the caller takes too, so the collector needs none of its own.
// A reply that arrives once enough has come is not read at all. Replies that
// arrive after the caller gave up find the query closed and touch nothing
// but the shared per-query state, which the callbacks keep alive.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <utility>

#include "middleware/zenoh/key_expr.hpp"
#include "middleware/zenoh/session.hpp"

namespace velmor::zenoh_mdw {

/// How long after the query's own time-out the caller still waits for
/// zenoh's end of replies before giving up on a zenoh that never sends it.
inline constexpr std::chrono::milliseconds kEndOfRepliesBackstop{500};

/// Sends one query and returns the collector once the query has ended: at
/// zenoh's end of replies, when `collector.Take(item)` returns true for a
/// reply's item (enough has come), or at the backstop. A time-out of 0
/// returns at once. Throws zenoh::ZException when the key is rejected or the
/// query cannot be sent.
template <class Collector>
Collector AwaitQuery(const zenoh::Session& session, const zenoh::KeyExpr& key, zenoh::GetOptions options,
                     Collector collector) {
  struct QueryState {
    explicit QueryState(Collector c) : collector(std::move(c)) {}
    std::mutex mutex;
    std::condition_variable condition;
    Collector collector;
    bool done = false;    // no more replies wanted
    bool closed = false;  // the caller has taken the collector

    bool Finished() {
      std::lock_guard<std::mutex> lock(mutex);
      return done || closed;
    }
    void Finish() {
      std::lock_guard<std::mutex> lock(mutex);
      done = true;
      condition.notify_all();
    }
  };
  auto state = std::make_shared<QueryState>(std::move(collector));
  const std::int64_t timeout_ms = options.timeout_ms;
  session.get(
      key, std::move(options),
      [state](bool ok, std::string_view reply_key, zenoh::ByteView payload) {
        if (state->Finished()) return;
        std::optional<typename Collector::Item> item = Collector::Read(ok, reply_key, payload);
        if (!item) return;
        std::lock_guard<std::mutex> lock(state->mutex);
        if (state->done || state->closed) return;
        if (state->collector.Take(std::move(*item))) {
          state->done = true;
          state->condition.notify_all();
        }
      },
      [state] { state->Finish(); });
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms) + kEndOfRepliesBackstop;
  std::unique_lock<std::mutex> lock(state->mutex);
  if (timeout_ms > 0) state->condition.wait_until(lock, deadline, [&] { return state->done; });
  state->closed = true;
  return std::move(state->collector);
}

}  // namespace velmor::zenoh_mdw
