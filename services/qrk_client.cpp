#include "services/qrk_client.hpp"

#include <spdlog/spdlog.h>

#include <stdexcept>

#include "middleware/shared_session.hpp"

namespace velmor::qrk_impl {
namespace {

constexpr int kSearchAttempts = 3;

}  // namespace

QRKClient::QRKClient(bool verbose)
    : rpc_session(zenoh_mdw::SharedSession()), stream_session(zenoh_mdw::SharedSession()), verbose(verbose) {}

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
  bool found = false;
  for (int attempt = 0; attempt < kSearchAttempts && !found; ++attempt) found = rpc.CheckConnection();
  if (!found) {
    throw std::runtime_error(
        "[velmor::qrk::Client] Failed to connect to [" + serial +
        "]. Please check that: a) Ethernet connection with the target robot is established; b) The specified "
        "serial number of the target robot is correct; c) No firewall is active or this QRK program is "
        "whitelisted; d) QRK version is compatible with the target robot's software version");
  }
  spdlog::info("[velmor::qrk::Client] Connected to the robot");
}

}  // namespace velmor::qrk_impl
