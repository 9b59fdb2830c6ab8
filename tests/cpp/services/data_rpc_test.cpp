#include "services/data_rpc.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <limits>
#include <mutex>
#include <optional>

#include "messages/rpc_codec.hpp"
#include "middleware/key_exprs.hpp"
#include "middleware/shared_session.hpp"
#include "middleware/zenoh/key_expr.hpp"
#include "middleware/zenoh/queryable.hpp"
#include "services/configuration_score.hpp"
#include "support/log_capture.hpp"
#include "support/shared_session_test.hpp"
#include "support/wait.hpp"

namespace velmor::qrk_impl {
namespace {

using qrk::JointGroup;
using zenoh_msgs::qrk_msg::RPCReply;
using zenoh_msgs::qrk_msg::RPCRequest;
using Clock = std::chrono::steady_clock;
using velmor::test::SecondsSince;
constexpr auto kDebug = spdlog::level::debug;
constexpr auto kError = spdlog::level::err;
constexpr int kOk = 100000;
constexpr int kFault = 300000;

// A robot's data server, in process, on the rpc key of a fresh serial per
// test. It answers each request with the right id and success flag (false
// for reachability) after `script_` has had its say, or stays silent.
class DataRpcTest : public test::SharedSessionTest {
 protected:
  void SetUp() override {
    serial_ = NextSerial("RPC");
    Listen();
    test::LogCapture log;
    ASSERT_EQ(rpc_.CreateRpcClient(session_, serial_).value, kOk);
    create_lines_ = log.Lines();
  }
  void TearDown() override {
    server_.reset();
    std::lock_guard<std::mutex> lock(mutex_);
    held_.clear();  // lets the requester of a silent query go
  }

  void Listen() {
    server_.emplace(*session_, zenoh::KeyExpr(zenoh_mdw::RobotKey(serial_, zenoh_mdw::kRpcSuffix)),
                    [this](const zenoh::Query& query) { Answer(query); });
  }
  void Serve(std::function<void(RPCReply&)> script) {
    std::lock_guard<std::mutex> lock(mutex_);
    script_ = std::move(script);
  }
  void GoSilent() {
    std::lock_guard<std::mutex> lock(mutex_);
    silent_ = true;
  }
  std::vector<RPCRequest> Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

  std::string serial_;
  std::vector<test::LogLine> create_lines_;
  DataRpc rpc_;

 private:
  void Answer(const zenoh::Query& query) {
    const auto request = zenoh_msgs::Decode<RPCRequest>(query.payload().data, query.payload().size);
    std::function<void(RPCReply&)> script;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(request);
      if (silent_) {
        held_.push_back(query);
        return;
      }
      script = script_;
    }
    RPCReply reply;
    reply.request_id = request.request_id;
    reply.success = request.request_id != 0;
    if (script) script(reply);
    query.reply(zenoh_msgs::Encode(reply));
  }

  std::mutex mutex_;
  std::function<void(RPCReply&)> script_;
  bool silent_ = false;
  std::vector<RPCRequest> requests_;
  std::vector<zenoh::Query> held_;
  std::optional<zenoh::Queryable> server_;
};

// Content that every procedure would accept.
void FillEverything(RPCReply& reply) {
  reply.string_container = {"v2.1", "b", "c", "d", "e", "f", "0.5", "1"};
  reply.joint_groups = {3};
  reply.int_container = {0};
  reply.float_container = {7.0f};
  reply.float2d_container = {{0, 1, 2, 3, 4, 5, 6, 7}};
}

TEST_F(DataRpcTest, CreatingTheClientNamesTheTopicAndSendsNothing) {
  ASSERT_EQ(create_lines_.size(), 1u);
  EXPECT_EQ(create_lines_[0].level, kDebug);
  EXPECT_EQ(create_lines_[0].text,
            "[velmor::qrk::Client] Creating RPC client on topic: velmor/robot/" + serial_ + "/rpc");
  EXPECT_TRUE(Requests().empty());
}

TEST_F(DataRpcTest, ReachabilityIsConfirmedOnlyByReplyZeroWithoutSuccess) {
  EXPECT_TRUE(rpc_.CheckConnection());
  ASSERT_EQ(Requests().size(), 1u);
  EXPECT_EQ(Requests()[0].request_id, 0);
  EXPECT_TRUE(Requests()[0].joint_groups.empty());

  for (const auto& script : std::vector<std::function<void(RPCReply&)>>{[](RPCReply& r) { r.success = true; },
                                                                        [](RPCReply& r) { r.request_id = 1; }}) {
    Serve(script);
    test::LogCapture log;
    EXPECT_FALSE(rpc_.CheckConnection());
    EXPECT_EQ(log.TextsAt(kDebug), std::vector<std::string>{"Remote procedure failed"});
  }
}

TEST_F(DataRpcTest, EveryQueryRejectsAReplyForAnotherRequestOrWithoutSuccess) {
  for (const auto& spoil : std::vector<std::function<void(RPCReply&)>>{
           [](RPCReply& r) { r.success = false; },
           [](RPCReply& r) { r.request_id = static_cast<std::uint16_t>(r.request_id + 1); }}) {
    Serve([&spoil](RPCReply& r) {
      FillEverything(r);
      spoil(r);
    });
    std::vector<std::string> strings{"keep"};
    std::string version = "keep";
    StartIds starts{{JointGroup::ARM_1, 1}};
    Dofs dofs{{JointGroup::ARM_1, 1}};
    qrk::PlanInfo info;
    info.pt_name = "keep";
    std::map<JointGroup, ManipulabilityValues> values{{JointGroup::ARM_1, {1, 1, 1, 1, 1, 1}}};
    const auto before = Requests().size();
    test::LogCapture log;
    EXPECT_EQ(rpc_.RequestStrings(Procedure::kPlanInfo, strings).value, kFault);
    EXPECT_EQ(rpc_.GetServerVersion(version).value, kFault);
    EXPECT_EQ(rpc_.GetJointGroupLayout({JointGroup::ALL}, starts, dofs).value, kFault);
    EXPECT_EQ(rpc_.GetPrimitiveStatesData(strings).value, kFault);
    EXPECT_EQ(rpc_.GetPlanInfo(info).value, kFault);
    EXPECT_EQ(rpc_.GetManipulability(values).value, kFault);
    EXPECT_EQ(log.Lines().size(), 6u);
    EXPECT_EQ(log.Count(kDebug, "Remote procedure failed"), 6);

    EXPECT_EQ(strings, std::vector<std::string>{"keep"});
    EXPECT_EQ(version, "keep");
    EXPECT_EQ(starts, (StartIds{{JointGroup::ARM_1, 1}}));
    EXPECT_EQ(dofs, (Dofs{{JointGroup::ARM_1, 1}}));
    EXPECT_EQ(info.pt_name, "keep");
    EXPECT_EQ(values.size(), 1u);
    std::vector<std::uint16_t> procedures;
    const auto requests = Requests();
    for (std::size_t i = before; i < requests.size(); ++i) procedures.push_back(requests[i].request_id);
    EXPECT_EQ(procedures, (std::vector<std::uint16_t>{4, 1, 10, 3, 4, 9}));
  }
}

TEST_F(DataRpcTest, SilentOrAbsentServerFailsWithinTheTimeOut) {
  const std::string line = "Failed to send remote call or server reply timeout";
  GoSilent();
  std::string version = "keep";
  test::LogCapture log;
  auto start = Clock::now();
  EXPECT_FALSE(rpc_.CheckConnection());
  const double reachability = SecondsSince(start);
  start = Clock::now();
  EXPECT_EQ(rpc_.GetServerVersion(version).value, kFault);
  const double query = SecondsSince(start);
  RecordProperty("reachability_timeout_s", std::to_string(reachability));
  RecordProperty("query_timeout_s", std::to_string(query));
  EXPECT_NEAR(reachability, 1.0, 0.25);
  EXPECT_NEAR(query, 2.0, 0.25);
  EXPECT_EQ(version, "keep");
  EXPECT_EQ(log.TextsAt(kDebug), (std::vector<std::string>{line, line}));

  TearDown();  // no server at all
  log.Clear();
  start = Clock::now();
  EXPECT_FALSE(rpc_.CheckConnection());
  EXPECT_LT(SecondsSince(start), 1.25);
  start = Clock::now();
  EXPECT_EQ(rpc_.GetServerVersion(version).value, kFault);
  EXPECT_LT(SecondsSince(start), 2.25);
  EXPECT_EQ(log.TextsAt(kDebug), (std::vector<std::string>{line, line}));
}

TEST_F(DataRpcTest, StringRequestLogsTheReplyAndReplacesTheStrings) {
  Serve([](RPCReply& r) { r.string_container = {"a", "b c", ""}; });
  std::vector<std::string> strings{"old", "old", "old", "old"};
  test::LogCapture log;
  ASSERT_EQ(rpc_.GetPrimitiveStatesData(strings).value, kOk);
  EXPECT_EQ(strings, (std::vector<std::string>{"a", "b c", ""}));
  EXPECT_EQ(log.TextsAt(kDebug),
            (std::vector<std::string>{
                "[velmor::qrk::DataRpc] RPC reply request_id=3 success=true string_container_size=3",
                "[velmor::qrk::DataRpc] string_container[0] = a", "[velmor::qrk::DataRpc] string_container[1] = b c",
                "[velmor::qrk::DataRpc] string_container[2] = "}));
  EXPECT_EQ(log.Lines().size(), 4u);

  Serve(nullptr);
  log.Clear();
  ASSERT_EQ(rpc_.RequestStrings(Procedure::kPlanInfo, strings).value, kOk);
  EXPECT_TRUE(strings.empty());
  EXPECT_EQ(
      log.TextsAt(kDebug),
      std::vector<std::string>{"[velmor::qrk::DataRpc] RPC reply request_id=4 success=true string_container_size=0"});
}

TEST_F(DataRpcTest, ServerVersionIsTheFirstStringOfANonEmptyReply) {
  Serve([](RPCReply& r) { r.string_container = {"v2.1", "abc"}; });
  std::string version;
  test::LogCapture log;
  ASSERT_EQ(rpc_.GetServerVersion(version).value, kOk);
  EXPECT_EQ(version, "v2.1");
  EXPECT_EQ(log.Count(kDebug, "Received QRK server version = v2.1"), 1);

  Serve(nullptr);
  log.Clear();
  EXPECT_EQ(rpc_.GetServerVersion(version).value, kFault);
  EXPECT_EQ(version, "v2.1");
  EXPECT_EQ(log.Lines().size(), 1u) << "only the reply summary";
}

TEST_F(DataRpcTest, LayoutHoldsExactlyTheGroupsOfTheReplyWithTheLastEntryWinning) {
  Serve([](RPCReply& r) {
    r.joint_groups = {0, 3, 3};
    r.int_container = {0, 7, 9};
    r.float_container = {13.0f, 7.0f, 6.9f};
  });
  StartIds starts{{JointGroup::ARM_2, 1}};
  Dofs dofs{{JointGroup::ARM_2, 1}};
  ASSERT_EQ(rpc_.GetJointGroupLayout(
                    {JointGroup::ALL, JointGroup::ARMS, JointGroup::ARM_1, JointGroup::ARM_2, JointGroup::EXT_AXIS},
                    starts, dofs)
                .value,
            kOk);
  EXPECT_EQ(Requests().back().request_id, 10);
  EXPECT_EQ(Requests().back().joint_groups, (std::vector<std::uint16_t>{0, 2, 3, 4, 5}));
  EXPECT_EQ(starts, (StartIds{{JointGroup::ALL, 0}, {JointGroup::ARM_1, 9}}));
  EXPECT_EQ(dofs, (Dofs{{JointGroup::ALL, 13}, {JointGroup::ARM_1, 6}})) << "truncated toward zero";
}

TEST_F(DataRpcTest, MalformedLayoutIsLoggedAndLeavesTheMaps) {
  const std::vector<float> bad_dofs = {std::nanf(""), -1.0f, 1e30f, std::numeric_limits<float>::infinity(),
                                       18446744073709551616.0f};
  std::vector<std::function<void(RPCReply&)>> scripts = {[](RPCReply& r) {
    r.joint_groups = {0, 3, 4};
    r.int_container = {0, 0, 7};
    r.float_container = {13.0f, 7.0f};
  }};
  for (const float dof : bad_dofs) {
    scripts.push_back([dof](RPCReply& r) {
      r.joint_groups = {0, 3};
      r.int_container = {0, 0};
      r.float_container = {7.0f, dof};
    });
  }
  for (std::size_t i = 0; i < scripts.size(); ++i) {
    Serve(scripts[i]);
    StartIds starts{{JointGroup::ARM_2, 1}};
    Dofs dofs{{JointGroup::ARM_2, 1}};
    test::LogCapture log;
    EXPECT_EQ(rpc_.GetJointGroupLayout({JointGroup::ALL}, starts, dofs).value, kFault) << "case " << i;
    EXPECT_EQ(starts, (StartIds{{JointGroup::ARM_2, 1}})) << "case " << i;
    EXPECT_EQ(dofs, (Dofs{{JointGroup::ARM_2, 1}})) << "case " << i;
    const auto errors = log.TextsAt(kError);
    ASSERT_EQ(errors.size(), 1u) << "case " << i;
    EXPECT_EQ(errors[0].rfind("Malformed start ID reply: ", 0), 0u) << errors[0];
    if (i == 0) {
      EXPECT_EQ(errors[0],
                "Malformed start ID reply: size mismatch between joint_groups, int_container, and float_container");
    }
  }
}

TEST_F(DataRpcTest, PlanInfoConvertsTheLastTwoStrings) {
  const struct {
    std::string scale, waiting;
    double expected_scale;
    bool expected_waiting;
  } accepted[] = {{"0.5", "1", 0.5, true},
                  {" 0.25x", "0", 0.25, false},
                  {"1", "2", 1.0, true},
                  {"1", "7x", 1.0, true},
                  {"-0", " -3", 0.0, true}};
  for (const auto& c : accepted) {
    Serve([&c](RPCReply& r) {
      r.string_container = {"pt", "node", "path", "period", "number", "plan", c.scale, c.waiting};
    });
    qrk::PlanInfo info;
    ASSERT_EQ(rpc_.GetPlanInfo(info).value, kOk) << c.scale << " " << c.waiting;
    EXPECT_EQ(info.velocity_scale, c.expected_scale);
    EXPECT_EQ(info.waiting_for_step, c.expected_waiting) << c.waiting;
    EXPECT_EQ(std::vector<std::string>({info.pt_name, info.node_name, info.node_path, info.node_path_time_period,
                                        info.node_path_number, info.assigned_plan_name}),
              (std::vector<std::string>{"pt", "node", "path", "period", "number", "plan"}));
  }

  const std::string conversion = "Invalid PlanInfo string conversion: ";
  const std::string size = "[velmor::qrk::Client] Size of plan info container is incorrect";
  const std::pair<std::vector<std::string>, std::string> rejected[] = {
      {{"", "", "", "", "", "", "abc", "1"}, conversion + "invalid stod argument"},
      {{"", "", "", "", "", "", "1", "x"}, conversion + "invalid stoi argument"},
      {{"", "", "", "", "", "", "1e999", "1"}, conversion + "stod argument out of range"},
      {{"", "", "", "", "", "", "1", "99999999999"}, conversion + "stoi argument out of range"},
      {{"", "", "", "", "", "", "1"}, size},
      {{"", "", "", "", "", "", "1", "1", ""}, size},
  };
  for (const auto& [strings, line] : rejected) {
    Serve([&strings = strings](RPCReply& r) { r.string_container = strings; });
    qrk::PlanInfo info;
    test::LogCapture log;
    EXPECT_EQ(rpc_.GetPlanInfo(info).value, kFault) << line;
    EXPECT_EQ(log.TextsAt(kError), std::vector<std::string>{line});
  }
}

TEST_F(DataRpcTest, ManipulabilityTakesPackedFloatsTwoToSevenPerGroup) {
  Serve([](RPCReply& r) {
    r.joint_groups = {3, 5, 3};
    r.float2d_container = {
        {9, 9, 9, 9, 9, 9, 9, 9}, {0, 0, 0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 99}, {0, 0, 0, 0, 0.115f, 0, 0, 0.525f}};
  });
  std::map<JointGroup, ManipulabilityValues> values{{JointGroup::ALL, {}}};
  ASSERT_EQ(rpc_.GetManipulability(values).value, kOk);
  EXPECT_TRUE(Requests().back().joint_groups.empty());
  ASSERT_EQ(values.size(), 2u);
  EXPECT_EQ(values.at(JointGroup::EXT_AXIS), (ManipulabilityValues{0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f}));
  EXPECT_EQ(values.at(JointGroup::ARM_1), (ManipulabilityValues{0, 0, 0.115f, 0, 0, 0.525f})) << "second entry wins";
  const auto scores = ConfigurationScores(values);
  EXPECT_NEAR(scores.at(JointGroup::ARM_1).first, 30.0, 1e-4);
  EXPECT_NEAR(scores.at(JointGroup::ARM_1).second, 70.0, 1e-4);

  Serve([](RPCReply& r) {
    r.joint_groups = {5, 3};
    r.float2d_container = {{0, 0, 1, 1, 1, 1, 1, 1}, {0, 0, 0, 0, 0, 0, 0}};
  });
  test::LogCapture log;
  EXPECT_EQ(rpc_.GetManipulability(values).value, kFault);
  EXPECT_EQ(log.TextsAt(kError),
            std::vector<std::string>{"Malformed manipulability reply: packed vector size [7], expecting at least [8]"});
  EXPECT_EQ(values.count(JointGroup::EXT_AXIS), 1u) << "groups before the short vector stay";

  Serve([](RPCReply& r) {
    r.joint_groups = {3, 4};
    r.float2d_container = {{0, 0, 0, 0, 0, 0, 0, 0}};
  });
  values = {{JointGroup::ALL, {}}};
  log.Clear();
  EXPECT_EQ(rpc_.GetManipulability(values).value, kFault);
  EXPECT_EQ(log.TextsAt(kError),
            std::vector<std::string>{
                "Malformed manipulability reply: size mismatch between joint_groups and float2d_container"});
  EXPECT_EQ(values.size(), 1u);
  EXPECT_EQ(values.count(JointGroup::ALL), 1u);
}

}  // namespace
}  // namespace velmor::qrk_impl
