#pragma once
// OwnedHandle: a handle of velmor_foxglove.h held by the class over it, and
// released with its kind's own function when that class is destroyed. The
// release is defined next to each class, so that this header, which the
// recorder sees through them, needs no more of the C header than the
// handles' names.
#include <memory>

extern "C" {
struct vf_mcap_writer;
struct vf_live_server;
}

namespace velmor::foxglove {

struct ReleaseHandle {
  void operator()(vf_mcap_writer* writer) const noexcept;  // mcap_writer.cpp
  void operator()(vf_live_server* server) const noexcept;  // live_server.cpp
};

template <class Handle>
using OwnedHandle = std::unique_ptr<Handle, ReleaseHandle>;

}  // namespace velmor::foxglove
