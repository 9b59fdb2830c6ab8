#include "services/qrk_client.hpp"

#include <spdlog/spdlog.h>

#include <chrono>
#include <stdexcept>
#include <thread>
#include <utility>

#include "middleware/shared_session.hpp"

namespace velmor::qrk_impl {
namespace {

constexpr int kSearchAttempts = 3;
// Each reachability query has a second of the search to itself.
constexpr std::chrono::seconds kSearchSlot{1};

}  // namespace

QRKClient::QRKClient(bool verbose, StreamTaps taps)
    : rpc_session(zenoh_mdw::SharedSession()),
      stream_session(zenoh_mdw::SharedSession()),
      stream(std::move(taps)),
      verbose(verbose) {}

QRKClient::~QRKClient() {
  spdlog::info(">>>>> Velmor QRK exited <<<<<");
  // Members then go in reverse order: rpc, stream (which waits for callbacks
  // in progress), stream_session, rpc_session.
}

qrk::StateCode QRKClient::StartServices(const std::string& serial) {
  spdlog::debug("[velmor::qrk::Client] Starting communication services ...");
  qrk::StateCode code = stream.Start(stream_session, serial);
  if (qrk::IsFault(code)) return code;
  code = rpc.CreateRpcClient(rpc_session, serial);
  if (qrk::IsFault(code)) return code;
  spdlog::debug("[velmor::qrk::Client] Communication services started");
  return qrk::MakeStateCode(qrk::GeneralState::OK);
}

void QRKClient::Connect(const std::string& serial) {
  if (!qrk::IsOk(StartServices(serial))) {
    throw std::runtime_error("[velmor::qrk::Client] Failed to start communication services");
  }
  if (verbose) spdlog::info("[velmor::qrk::Client] Searching for [{}] ...", serial);
  if (!SearchForRobot()) {
    throw std::runtime_error(
        "[velmor::qrk::Client] Failed to connect to [" + serial +
        "]. Please check that: a) Ethernet connection with the target robot is established; b) The specified "
        "serial number of the target robot is correct; c) No firewall is active or this QRK program is "
        "whitelisted; d) QRK version is compatible with the target robot's software version");
  }
  spdlog::info("[velmor::qrk::Client] Connected to the robot");
}

// zenoh ends a query at once when it knows no server on the key yet (a
// robot still starting, or one this new session has not learnt of), so three
// queries back to back could all be spent in a few milliseconds. Instead each
// query gets its own second: it waits, within that second, until zenoh knows
// a server (a robot already known is queried at once), and a query that ends
// early without an answer does not shorten the search. A robot that turns up
// at any time during the three seconds is found; with none, the search ends
// after about three seconds and three queries.
bool QRKClient::SearchForRobot() {
  const auto start = std::chrono::steady_clock::now();
  for (int attempt = 1; attempt <= kSearchAttempts; ++attempt) {
    const auto slot_end = start + attempt * kSearchSlot;
    rpc.AwaitServer(slot_end);  // queried at the slot's end even when none shows up
    if (rpc.CheckConnection()) return true;
    std::this_thread::sleep_until(slot_end);
  }
  return false;
}

}  // namespace velmor::qrk_impl
