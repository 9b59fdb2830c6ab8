#pragma once
// Client::Impl brings the client up and answers its accessors. What start-up
// learns (RobotLayout) is written only during construction and only read
// afterwards, so the accessors read it without a lock.
#include <memory>
#include <string>

#include "services/group_maps.hpp"
#include "services/qrk_client.hpp"
#include "services/robot_startup.hpp"
#include "velmor/qrk/client.hpp"

namespace velmor::qrk {

class Client::Impl {
 public:
  Impl(const std::string& robot_sn, bool verbose);
  virtual ~Impl();

  qrk_impl::QRKClient& Services() const noexcept { return *qrk_client; }
  const qrk_impl::GroupNames& Groups() const noexcept { return layout.Groups(qrk_client->Stream()); }
  const qrk_impl::StartIds& StartIds() const noexcept { return layout.start_ids; }
  const qrk_impl::Dofs& Dofs() const noexcept { return layout.dofs; }

 private:
  std::shared_ptr<qrk_impl::QRKClient> qrk_client;
  bool verbose;
  qrk_impl::RobotLayout layout;
};

}  // namespace velmor::qrk
