#include "middleware/zenoh/session.hpp"

#include <velmor_bridge.h>

#include <memory>
#include <string>
#include <utility>

#include "middleware/zenoh/handoff.hpp"
#include "middleware/zenoh/key_expr.hpp"
#include "velmor/zenoh/z_exception.hpp"

namespace velmor::zenoh {
namespace {

struct QueryContext {
  ReplyHandler on_reply;
  RepliesDoneHandler on_done;
};

void OnReply(bool ok, const char* key, std::size_t key_size, const std::uint8_t* data, std::size_t size,
             void* context) noexcept {
  detail::Receive(context);
  try {
    static_cast<QueryContext*>(context)->on_reply(
        ok, key == nullptr ? std::string_view() : std::string_view(key, key_size), ByteView{data, size});
  } catch (...) {
    // Never unwind into zenoh's thread; a failing handler loses this reply only.
  }
  detail::Publish(context);
}

void OnRepliesDone(void* context) noexcept {
  detail::Receive(context);
  std::unique_ptr<QueryContext> owned(static_cast<QueryContext*>(context));
  try {
    owned->on_done();
  } catch (...) {
  }
}

}  // namespace

Session::Session() {
  const vb_result code = vb_session_open(&handle_);
  if (code != VB_OK) throw ZException("Failed to open session", code);
}

Session::Session(const SessionOptions& options) {
  std::vector<const char*> connect;
  connect.reserve(options.connect.size());
  for (const std::string& endpoint : options.connect) connect.push_back(endpoint.c_str());
  const char* mode = options.mode.empty() ? nullptr : options.mode.c_str();
  const vb_result code = vb_session_open_with(mode, connect.data(), connect.size(), &handle_);
  if (code != VB_OK) throw ZException("Failed to open session", code);
}

Session::~Session() { vb_session_close(handle_); }

void Session::get(const KeyExpr& key, GetOptions options, ReplyHandler on_reply, RepliesDoneHandler on_done) const {
  auto context = std::make_unique<QueryContext>(QueryContext{std::move(on_reply), std::move(on_done)});
  detail::Publish(context.get());
  const vb_reply_closure closure{&OnReply, &OnRepliesDone, context.release()};
  const auto timeout = options.timeout_ms > 0 ? static_cast<std::uint64_t>(options.timeout_ms) : 0;
  const vb_result code = vb_get(handle_, key.handle(), options.payload.data(), options.payload.size(), timeout,
                                options.every_server ? VB_GET_EVERY_SERVER : 0u, closure);
  if (code != VB_OK) throw ZException("Failed to perform get operation", code);
}

}  // namespace velmor::zenoh
