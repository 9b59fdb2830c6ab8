// Cost of the stream queries for a 16-joint robot with four joint groups, and
// of the whole receive path in time (bench/receive_cost.cpp counts its
// instructions). Besides time, each benchmark reports the
// allocations made per call on the benchmark's own thread (operator new is
// counted below); the receive path must make none in steady state.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <optional>

#include "messages/stream_codec.hpp"
#include "middleware/key_exprs.hpp"
#include "middleware/shared_session.hpp"
#include "middleware/zenoh/key_expr.hpp"
#include "middleware/zenoh/publisher.hpp"
#include "services/data_stream.hpp"
#include "support/netns_guard.hpp"
#include "support/robot_messages.hpp"

namespace {

namespace zenoh = velmor::zenoh;

thread_local std::uint64_t allocations = 0;

void* Allocate(std::size_t size) {
  ++allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}

}  // namespace

#if defined(__GNUC__) && !defined(__clang__)
// The replacements pair malloc with free themselves; GCC cannot see that.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  ++allocations;
  return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  ++allocations;
  return std::malloc(size == 0 ? 1 : size);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace {

using velmor::qrk::JointGroup;
using velmor::qrk_impl::DataStream;
namespace msg = velmor::zenoh_msgs::qrk_msg;

constexpr std::size_t kJoints = 16;
const std::vector<std::uint16_t> kStreamGroups{2, 3, 4, 5};

msg::AllBasicStreamData FullBasic() { return velmor::test::RobotBasic(kJoints, kStreamGroups); }
msg::AllExtraStreamData FullExtra() { return velmor::test::RobotExtra(kJoints, kStreamGroups); }

// A started DataStream fed with one sample of each stream.
struct Robot {
  std::shared_ptr<zenoh::Session> session = velmor::zenoh_mdw::SharedSession();
  DataStream stream;
  std::optional<zenoh::Publisher> basic;
  std::optional<zenoh::Publisher> extra;
  velmor::qrk_impl::GroupNames groups{{JointGroup::ARMS, "ARMS"},
                                      {JointGroup::ARM_1, "ARM_1"},
                                      {JointGroup::ARM_2, "ARM_2"},
                                      {JointGroup::EXT_AXIS, "EXT_AXIS"}};
  velmor::qrk_impl::StartIds start_ids{
      {JointGroup::ARMS, 0}, {JointGroup::ARM_1, 0}, {JointGroup::ARM_2, 7}, {JointGroup::EXT_AXIS, 14}};
  velmor::qrk_impl::Dofs dofs{
      {JointGroup::ARMS, 14}, {JointGroup::ARM_1, 7}, {JointGroup::ARM_2, 7}, {JointGroup::EXT_AXIS, 2}};

  Robot() {
    const std::string serial = "BENCH-1";
    stream.Start(session, serial);
    using velmor::zenoh_mdw::RobotKey;
    basic.emplace(*session, zenoh::KeyExpr(RobotKey(serial, velmor::zenoh_mdw::kBasicStreamSuffix)));
    extra.emplace(*session, zenoh::KeyExpr(RobotKey(serial, velmor::zenoh_mdw::kExtraStreamSuffix)));
    basic->put(velmor::zenoh_msgs::Encode(FullBasic()));
    extra->put(velmor::zenoh_msgs::Encode(FullExtra()));
  }
};

Robot* robot = nullptr;

void ReportAllocations(benchmark::State& state, std::uint64_t before) {
  state.counters["allocs_per_call"] =
      benchmark::Counter(static_cast<double>(allocations - before), benchmark::Counter::kAvgIterations);
}

// One stream query, called again and again on the same latest sample.
template <class Query>
void BenchmarkQuery(benchmark::State& state, Query query) {
  if (query().size() != 4) {
    state.SkipWithError("the sample did not arrive");
    return;
  }
  const std::uint64_t before = allocations;
  for (auto _ : state) {
    auto result = query();
    benchmark::DoNotOptimize(result);
  }
  ReportAllocations(state, before);
}

void BM_GetStates(benchmark::State& state) {
  BenchmarkQuery(state, [] { return robot->stream.GetStates(robot->groups, robot->start_ids, robot->dofs); });
}
BENCHMARK(BM_GetStates);

void BM_GetActions(benchmark::State& state) {
  BenchmarkQuery(state, [] { return robot->stream.GetActions(robot->groups, robot->start_ids, robot->dofs); });
}
BENCHMARK(BM_GetActions);

// The whole C++ receive path of one sample: a put on the shared session
// reaches its own subscriber on this thread, which takes the sample and
// publishes it to the readers. Allocations made by the Rust side of zenoh are
// not counted.
void BM_ReceivePath(benchmark::State& state) {
  msg::AllBasicStreamData message = FullBasic();
  message.timestamp_first = 42;
  const std::vector<std::uint8_t> payload = velmor::zenoh_msgs::Encode(message);
  robot->basic->put(payload);
  robot->basic->put(payload);
  // Only a sample handled on this thread is counted.
  const auto arrived = robot->stream.GetStates(robot->groups, robot->start_ids, robot->dofs);
  if (arrived.empty() || arrived.begin()->second.timestamp.first != 42) {
    state.SkipWithError("the sample was not handled inside put");
    return;
  }
  const std::uint64_t before = allocations;
  for (auto _ : state) robot->basic->put(payload);
  ReportAllocations(state, before);
}
BENCHMARK(BM_ReceivePath);

}  // namespace

int main(int argc, char** argv) {
  if (velmor::test::RefuseOutsideIsolation("Benchmarks")) return 2;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  auto owned = std::make_unique<Robot>();
  robot = owned.get();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  robot = nullptr;
  return 0;
}
