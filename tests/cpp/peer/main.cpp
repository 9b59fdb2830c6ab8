// A second zenoh process for the tests: it proves that what the tests send
// crosses a real process boundary through zenoh's default discovery.
//
//   test_peer listen KEY COUNT TIMEOUT_MS   print each sample as hex, exit 0 after COUNT
//   test_peer publish KEY HEX PERIOD_MS COUNT
//   test_peer serve KEY HEX[,HEX...] SECONDS  reply to each query with each payload
//
// It prints "ready" once its endpoint is declared.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "middleware/zenoh/key_expr.hpp"
#include "middleware/zenoh/publisher.hpp"
#include "middleware/zenoh/queryable.hpp"
#include "middleware/zenoh/session.hpp"
#include "middleware/zenoh/subscriber.hpp"
#include "support/hex.hpp"

namespace {

namespace zenoh = velmor::zenoh;

int Listen(const std::string& key, int count, int timeout_ms) {
  zenoh::Session session;
  std::mutex mutex;
  std::condition_variable cv;
  int received = 0;
  zenoh::Subscriber subscriber(session, zenoh::KeyExpr(key), [&](zenoh::ByteView payload) {
    std::lock_guard<std::mutex> lock(mutex);
    std::printf("%s\n", velmor::test::ToHex(payload.data, payload.size).c_str());
    std::fflush(stdout);
    ++received;
    cv.notify_all();
  });
  std::printf("ready\n");
  std::fflush(stdout);
  std::unique_lock<std::mutex> lock(mutex);
  const bool done = cv.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return received >= count; });
  return done ? 0 : 1;
}

int Publish(const std::string& key, const std::string& hex, int period_ms, int count) {
  zenoh::Session session;
  zenoh::Publisher publisher(session, zenoh::KeyExpr(key));
  std::printf("ready\n");
  std::fflush(stdout);
  const auto payload = velmor::test::FromHex(hex);
  for (int i = 0; i < count; ++i) {
    publisher.put(payload);
    std::this_thread::sleep_for(std::chrono::milliseconds(period_ms));
  }
  return 0;
}

int Serve(const std::string& key, const std::string& hex_list, int seconds) {
  std::vector<std::vector<std::uint8_t>> replies;
  std::stringstream stream(hex_list);
  std::string hex;
  while (std::getline(stream, hex, ',')) replies.push_back(velmor::test::FromHex(hex));
  zenoh::Session session;
  zenoh::Queryable queryable(session, zenoh::KeyExpr(key), [&](const zenoh::Query& query) {
    for (const auto& reply : replies) query.reply(reply);
  });
  std::printf("ready\n");
  std::fflush(stdout);
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (args.size() == 4 && args[0] == "listen") return Listen(args[1], std::stoi(args[2]), std::stoi(args[3]));
    if (args.size() == 5 && args[0] == "publish")
      return Publish(args[1], args[2], std::stoi(args[3]), std::stoi(args[4]));
    if (args.size() == 4 && args[0] == "serve") return Serve(args[1], args[2], std::stoi(args[3]));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "test_peer: %s\n", error.what());
    return 3;
  }
  std::fprintf(stderr, "usage: test_peer listen|publish|serve ...\n");
  return 64;
}
