#pragma once
// Client::Impl brings the client up and answers its accessors. The three
// maps are written only during construction and only read afterwards, so the
// accessors read them without a lock. A start-up that saw no basic sample
// takes its joint groups from the first one that arrives later, which the
// stream publishes once (DataStream::FirstBasicGroups).
#include <memory>
#include <string>

#include "services/group_maps.hpp"
#include "services/qrk_client.hpp"
#include "velmor/qrk/client.hpp"

namespace velmor::qrk {

class Client::Impl {
 public:
  Impl(const std::string& robot_sn, bool verbose);
  virtual ~Impl();

  qrk_impl::QRKClient& Services() const noexcept { return *qrk_client; }
  const qrk_impl::GroupNames& Groups() const noexcept;
  const qrk_impl::StartIds& StartIds() const noexcept { return start_ids; }
  const qrk_impl::Dofs& Dofs() const noexcept { return dofs; }

 private:
  void CheckServerVersion(const std::string& serial);
  void ReadJointGroups();
  void LearnLayout();
  void LogLayout() const;

  std::shared_ptr<qrk_impl::QRKClient> qrk_client;
  bool verbose;
  qrk_impl::StartIds start_ids;
  qrk_impl::Dofs dofs;
  qrk_impl::GroupNames groups;
  bool groups_from_first_sample = false;
};

}  // namespace velmor::qrk
