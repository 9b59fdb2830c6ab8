#pragma once
// Forward declarations of the bridge's opaque handles, so that facade headers
// can hold them without exposing the bridge's C header beyond middleware/.
extern "C" {
struct vb_session;
struct vb_keyexpr;
struct vb_subscriber;
struct vb_publisher;
struct vb_queryable;
struct vb_query;
struct vb_responder_watch;
}

namespace velmor::zenoh::detail {

// How a facade object that owns a handle alone releases it, for its
// std::unique_ptr; defined where the bridge's header is seen.
struct DropKeyExpr {
  void operator()(vb_keyexpr* handle) const noexcept;
};
struct UndeclarePublisher {
  void operator()(vb_publisher* handle) const noexcept;
};

}  // namespace velmor::zenoh::detail
