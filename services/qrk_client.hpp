#pragma once
// QRKClient coordinates one client's services: it joins the process's zenoh
// session, owns the stream intake and the query service, starts them, and
// searches for the robot. Held by shared ownership; destroying it logs the
// exit line, stops the RPC client, then the subscribers, then releases the
// session references.
#include <memory>
#include <string>

#include "middleware/zenoh/session.hpp"
#include "records/state_code.hpp"
#include "services/data_rpc.hpp"
#include "services/data_stream.hpp"

namespace velmor::qrk_impl {

class QRKClient {
 public:
  /// Opens or joins the shared session (throws zenoh::ZException when it
  /// cannot be opened); starts nothing yet. `taps` see every stream sample.
  explicit QRKClient(bool verbose, StreamTaps taps = {});
  QRKClient(const QRKClient&) = delete;
  QRKClient& operator=(const QRKClient&) = delete;
  virtual ~QRKClient();

  /// Starts the subscribers, then the RPC client.
  qrk::StateCode StartServices(const std::string& serial);
  /// Starts the services and searches for the robot with up to three
  /// reachability queries over about three seconds; throws
  /// std::runtime_error when either fails.
  void Connect(const std::string& serial);

  DataStream& Stream() noexcept { return stream; }
  DataRpc& Rpc() noexcept { return rpc; }

 private:
  bool SearchForRobot();

  std::shared_ptr<zenoh::Session> rpc_session;
  std::shared_ptr<zenoh::Session> stream_session;
  DataStream stream;
  DataRpc rpc;
  bool verbose;
};

}  // namespace velmor::qrk_impl
