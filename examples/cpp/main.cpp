// A short C++ user of velmor::qrk::Client: connect, print the groups and a
// few states, then the plan info.
#include <velmor/qrk/client.hpp>
#include <velmor/zenoh/z_exception.hpp>

#include <chrono>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <thread>

int main(int argc, char** argv) {
  const char* serial = argc > 1 ? argv[1] : "AB-12-345";
  try {
    velmor::qrk::Client client(serial);
    for (const auto& [group, name] : client.groups())
      std::printf("group %d: %s\n", static_cast<int>(group), name.c_str());
    for (int i = 0; i < 5; ++i) {
      for (const auto& [group, states] : client.states()) {
        std::printf("group %d  stamp=(%d, %d)  q[0]=%+.3f  tcp=(%+.3f %+.3f %+.3f)\n", static_cast<int>(group),
                    states.timestamp.first, states.timestamp.second, states.q.empty() ? 0.0 : states.q[0],
                    states.tcp_pose[0], states.tcp_pose[1], states.tcp_pose[2]);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    const auto plan = client.plan_info();
    std::printf("plan: %s at %s, velocity scale %.2f\n", plan.pt_name.c_str(), plan.node_name.c_str(),
                plan.velocity_scale);
  } catch (const std::invalid_argument& error) {  // a malformed serial number
    std::fprintf(stderr, "usage: %s: %s\n", argv[0], error.what());
    return 2;
  } catch (const velmor::zenoh::ZException& error) {  // the session could not open, or zenoh refused a call
    std::fprintf(stderr, "zenoh error %d: %s\n", error.code(), error.what());
    return 1;
  } catch (const std::exception& error) {  // robot not found, another version, or a query unanswered
    std::fprintf(stderr, "error: %s\n", error.what());
    return 1;
  }
  return 0;
}
