// qrk info: everything the client can tell about one robot, once, as text or
// as one JSON document. A remote query that fails is reported in its place;
// the rest is still printed, and the exit status is 1.
#include <fmt/format.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "cli/commands.hpp"
#include "cli/common/group_text.hpp"
#include "cli/common/json_writer.hpp"
#include "cli/robot_link_access.hpp"
#include "records/record_field_list.hpp"
#include "services/primitive_states_parser.hpp"
#include "services/robot_queries.hpp"

namespace velmor::cli {
namespace {

constexpr const char* kUnknown = "unknown (no sample yet)";

std::string YesNo(bool value) { return value ? "yes" : "no"; }

// A remote part of the report: its value, or why there is none.
template <class T>
struct Fetched {
  std::optional<T> value;
  std::string error;
};

template <class F>
auto Fetch(F query) -> Fetched<decltype(query())> {
  try {
    return {query(), {}};
  } catch (const std::exception& error) {
    return {std::nullopt, error.what()};
  }
}

struct RobotReport {
  bool connected = false;
  std::optional<qrk_impl::RobotIo> io;  // nothing before the first basic sample
  Fetched<qrk::PlanInfo> plan_info;
  Fetched<std::map<qrk::JointGroup, qrk::PrimitiveStates>> primitive_states;
  Fetched<std::map<qrk::JointGroup, std::pair<double, double>>> configuration_score;

  bool Complete() const { return connected && plan_info.value && primitive_states.value && configuration_score.value; }
};

RobotReport ReadReport(const qrk_impl::RobotLink& robot) {
  RobotReport report;
  auto& rpc = robot.Rpc();
  report.connected = rpc.CheckConnection();
  report.io = ReadIo(robot);
  report.plan_info = Fetch([&] { return qrk_impl::FetchPlanInfo(rpc); });
  report.primitive_states = Fetch([&] {
    return qrk_impl::FetchPrimitiveStates(
        robot.Groups(), [&rpc](std::vector<std::string>& entries) { return rpc.GetPrimitiveStatesData(entries); });
  });
  report.configuration_score = Fetch([&] { return qrk_impl::FetchConfigurationScores(rpc); });
  return report;
}

template <class T, class Write>
void WriteFetched(JsonWriter& json, const char* name, const Fetched<T>& fetched, Write write) {
  json.Key(name);
  if (fetched.value) {
    write(json, *fetched.value);
  } else {
    json.BeginObject().Key("error").String(fetched.error).EndObject();
  }
}

void WriteLayout(JsonWriter& json, const qrk_impl::RobotLink& robot) {
  json.BeginArray();
  const auto& layout = robot.Layout();
  for (const auto& [group, name] : robot.Groups()) {
    json.BeginObject().Key("group").String(name).Key("index").Integer(static_cast<int>(group));
    const auto start = layout.start_ids.find(group);
    const auto dof = layout.dofs.find(group);
    json.Key("start_id");
    start != layout.start_ids.end() ? json.Integer(start->second) : json.Null();
    json.Key("dof");
    dof != layout.dofs.end() ? json.Integer(static_cast<std::int64_t>(dof->second)) : json.Null();
    json.EndObject();
  }
  json.EndArray();
}

void WriteValue(JsonWriter& json, const std::string& value) { json.String(value); }
void WriteValue(JsonWriter& json, double value) { json.Number(value); }
void WriteValue(JsonWriter& json, bool value) { json.Bool(value); }

void WritePlanInfo(JsonWriter& json, const qrk::PlanInfo& plan) {
  json.BeginObject();
  qrk::ForEachNamedField<qrk::PlanInfo>([&](const auto& field) {
    json.Key(field.name);
    WriteValue(json, plan.*field.member);
  });
  json.EndObject();
}

void WritePrimitiveStates(JsonWriter& json, const std::map<qrk::JointGroup, qrk::PrimitiveStates>& states) {
  json.BeginObject();
  for (const auto& [group, primitive] : states) {
    json.Key(GroupName(group)).BeginObject().Key("pt_name").String(primitive.pt_name).Key("values").BeginObject();
    for (const auto& [name, value] : primitive.names_and_values) {
      json.Key(name);
      std::visit(
          [&json](const auto& v) {
            using V = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<V, std::string>) {
              json.String(v);
            } else if constexpr (std::is_same_v<V, double>) {
              json.Number(v);
            } else {
              json.Integer(v);
            }
          },
          value);
    }
    json.EndObject().EndObject();
  }
  json.EndObject();
}

void WriteScores(JsonWriter& json, const std::map<qrk::JointGroup, std::pair<double, double>>& scores) {
  json.BeginObject();
  for (const auto& [group, score] : scores) {
    json.Key(GroupName(group)).BeginArray().Number(score.first).Number(score.second).EndArray();
  }
  json.EndObject();
}

void WriteAge(JsonWriter& json, const char* name, const qrk_impl::StreamClock& clock) {
  json.Key(name);
  const auto age = clock.Age();
  age ? json.Number(std::chrono::duration<double>(*age).count()) : json.Null();
}

// Seconds since each stream's latest sample (null before the first): the
// records cannot tell stale commanded values, as actions() carries the basic
// stream's time stamp.
void WriteAges(JsonWriter& json, const qrk_impl::RobotLink& robot) {
  WriteAge(json, "basic_sample_age_s", robot.BasicClock());
  WriteAge(json, "extra_sample_age_s", robot.ExtraClock());
}

// Before the first sample every value is null: unknown, not false.
void WriteIo(JsonWriter& json, const std::optional<qrk_impl::RobotIo>& io) {
  if (!io) {
    for (const char* key : {"estop_released", "enabling_device_on", "digital_inputs", "digital_outputs"}) {
      json.Key(key).Null();
    }
    return;
  }
  json.Key("estop_released").Bool(io->estop_released).Key("enabling_device_on").Bool(io->enabling_device_on);
  json.Key("digital_inputs").Bools(io->digital_inputs).Key("digital_outputs").Bools(io->digital_outputs);
}

std::string InfoJson(const qrk_impl::RobotLink& robot, const RobotReport& report) {
  JsonWriter json;
  json.BeginObject().Key("serial").String(robot.Serial()).Key("version").String(robot.Version());
  json.Key("connected").Bool(report.connected).Key("joint_groups");
  WriteLayout(json, robot);
  WriteAges(json, robot);
  WriteIo(json, report.io);
  WriteFetched(json, "plan_info", report.plan_info, WritePlanInfo);
  WriteFetched(json, "primitive_states", report.primitive_states, WritePrimitiveStates);
  WriteFetched(json, "configuration_score", report.configuration_score, WriteScores);
  json.EndObject();
  return json.Text() + "\n";
}

std::string FormatValue(const std::variant<int32_t, double, std::string>& value) {
  return std::visit([](const auto& v) { return fmt::format("{}", v); }, value);
}

template <class T, class Print>
void PrintFetched(std::string& out, const char* title, const Fetched<T>& fetched, Print print) {
  out += fmt::format("{}:", title);
  if (!fetched.value) {
    out += fmt::format(" failed: {}\n", fetched.error);
    return;
  }
  out += '\n';
  print(*fetched.value);
}

std::string InfoText(const qrk_impl::RobotLink& robot, const RobotReport& report) {
  std::string out = fmt::format("serial:             {}\nprotocol version:   {}\nreachable:          {}\n",
                                robot.Serial(), robot.Version(), report.connected ? "yes" : "no");
  out += "joint groups:\n";
  const auto& layout = robot.Layout();
  for (const auto& [group, name] : robot.Groups()) {
    const auto start = layout.start_ids.find(group);
    const auto dof = layout.dofs.find(group);
    out += fmt::format("  {:<9} index {}  start ID {}  DoF {}\n", name, static_cast<int>(group),
                       start != layout.start_ids.end() ? std::to_string(start->second) : "?",
                       dof != layout.dofs.end() ? std::to_string(dof->second) : "?");
  }
  out += fmt::format("basic stream:       latest sample {}\nextra stream:       latest sample {}\n",
                     AgeText(robot.BasicClock()), AgeText(robot.ExtraClock()));
  const auto& io = report.io;
  out += fmt::format("E-stop released:    {}\nenabling device on: {}\n", io ? YesNo(io->estop_released) : kUnknown,
                     io ? YesNo(io->enabling_device_on) : kUnknown);
  out += fmt::format("digital inputs:     {}\ndigital outputs:    {}\n",
                     io ? Bits(io->digital_inputs) + " (bit 0 first)" : kUnknown,
                     io ? Bits(io->digital_outputs) : kUnknown);
  PrintFetched(out, "plan info", report.plan_info, [&](const qrk::PlanInfo& plan) {
    qrk::ForEachNamedField<qrk::PlanInfo>(
        [&](const auto& field) { out += fmt::format("  {} {}\n", field.name, plan.*field.member); });
  });
  PrintFetched(out, "primitive states", report.primitive_states, [&](const auto& states) {
    for (const auto& [group, primitive] : states) {
      out += fmt::format("  {} ({})\n", GroupName(group), primitive.pt_name);
      for (const auto& [name, value] : primitive.names_and_values) {
        out += fmt::format("    {} = {}\n", name, FormatValue(value));
      }
    }
  });
  PrintFetched(out, "configuration score", report.configuration_score, [&](const auto& scores) {
    for (const auto& [group, score] : scores) {
      out += fmt::format("  {:<9} {} {}\n", GroupName(group), score.first, score.second);
    }
  });
  return out;
}

}  // namespace

int RunInfo(const CommandLine& line) {
  const auto robot = OpenRobotLink(line.serial);
  const RobotReport report = ReadReport(*robot);
  const std::string text = line.json ? InfoJson(*robot, report) : InfoText(*robot, report);
  std::fwrite(text.data(), 1, text.size(), stdout);
  if (!report.Complete()) {
    std::fprintf(stderr, "qrk: info: some of the robot's answers are missing (see above)\n");
    return 1;
  }
  return 0;
}

}  // namespace velmor::cli
