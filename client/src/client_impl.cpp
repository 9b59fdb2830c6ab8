#include "client/src/client_impl.hpp"

#include <spdlog/spdlog.h>

#include "client/serial_number.hpp"

namespace velmor::qrk {
namespace {

std::shared_ptr<qrk_impl::QRKClient> StartClient(const std::string& robot_sn, bool verbose, std::string& serial) {
  if (verbose) spdlog::info("| | | | | | | | | |  Velmor QRK {}  | | | | | | | | | |", qrk_impl::kClientVersion);
  serial = NormalizeSerialNumber(robot_sn);
  return std::make_shared<qrk_impl::QRKClient>(verbose);
}

}  // namespace

Client::Impl::Impl(const std::string& robot_sn, bool verbose) : verbose(verbose) {
  std::string serial;
  qrk_client = StartClient(robot_sn, verbose, serial);
  qrk_client->Connect(serial);
  layout = qrk_impl::LearnRobot(*qrk_client, serial, this->verbose);
}

Client::Impl::~Impl() = default;

}  // namespace velmor::qrk
