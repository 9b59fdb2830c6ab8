#include "cli/recorder/recording_output.hpp"

#include "cli/recorder/json_writer.hpp"

namespace velmor::cli {

void WriteLayout(JsonWriter& json, const RecordingSetup& setup) {
  json.BeginArray();
  for (const auto& [group, name] : setup.groups) {
    json.BeginObject().Key("group").String(name).Key("index").Integer(static_cast<int>(group));
    json.Key("start_id").Integer(setup.start_ids.count(group) ? setup.start_ids.at(group) : -1);
    json.Key("dof").Integer(setup.dofs.count(group) ? static_cast<std::int64_t>(setup.dofs.at(group)) : 0);
    json.EndObject();
  }
  json.EndArray();
}

std::string LayoutJson(const RecordingSetup& setup) {
  JsonWriter json;
  WriteLayout(json, setup);
  return json.Text();
}

}  // namespace velmor::cli
