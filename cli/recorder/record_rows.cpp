#include "cli/recorder/record_rows.hpp"

#include <fmt/format.h>

#include <type_traits>
#include <vector>

#include "cli/common/json_writer.hpp"
#include "records/record_field_list.hpp"

namespace velmor::cli {
namespace {

// Every field but the time stamp (the rows' own columns carry it), in the
// record's order; `joint` marks a per-joint vector.
template <class Record, class F>
void VisitFields(const Record& record, F&& field) {
  qrk::ForEachNamedField<Record>([&](const auto& named) {
    using Type = typename std::decay_t<decltype(named)>::Type;
    if constexpr (!std::is_same_v<Type, std::pair<std::int32_t, std::int32_t>>) {
      field(named.name, record.*named.member, std::is_same_v<Type, std::vector<double>>);
    }
  });
}

template <class Record>
std::string CsvHeader(std::size_t joint_columns) {
  std::string header = "sample,receive_time,stamp_first,stamp_second,group";
  VisitFields(Record{}, [&](const char* name, const auto& values, bool joint) {
    const std::size_t columns = joint ? joint_columns : values.size();
    for (std::size_t i = 0; i < columns; ++i) fmt::format_to(std::back_inserter(header), ",{}_{}", name, i);
  });
  return header + "\n";
}

template <class Record>
void AppendCsv(std::string& out, const SampleStamp& stamp, std::string_view group, const Record& record,
               std::size_t joint_columns) {
  fmt::format_to(std::back_inserter(out), "{},{:.6f},{},{},{}", stamp.sample, stamp.receive_time, stamp.timestamp.first,
                 stamp.timestamp.second, group);
  VisitFields(record, [&](const char*, const auto& values, bool joint) {
    for (const double value : values) {
      out += ',';
      AppendNumber(out, value);
    }
    if (joint && values.size() < joint_columns) out.append(joint_columns - values.size(), ',');
  });
  out += '\n';
}

template <class Record>
void AppendJsonLine(std::string& out, const SampleStamp& stamp, std::string_view group, const Record& record) {
  JsonWriter json;
  json.BeginObject()
      .Key("sample")
      .Integer(static_cast<std::int64_t>(stamp.sample))
      .Key("receive_time")
      .Number(stamp.receive_time)
      .Key("stamp")
      .BeginArray()
      .Integer(stamp.timestamp.first)
      .Integer(stamp.timestamp.second)
      .EndArray()
      .Key("group")
      .String(group);
  VisitFields(record, [&](const char* name, const auto& values, bool) { json.Key(name).Numbers(values); });
  json.EndObject();
  out += json.Text();
  out += '\n';
}

template <class Record>
void AppendRow(RecordFormat format, std::size_t joint_columns, std::string& out, const SampleStamp& stamp,
               std::string_view group, const Record& record) {
  if (format == RecordFormat::kCsv) {
    AppendCsv(out, stamp, group, record, joint_columns);
  } else {
    AppendJsonLine(out, stamp, group, record);
  }
}

}  // namespace

std::string RowWriter::StatesHeader() const {
  return format_ == RecordFormat::kCsv ? CsvHeader<qrk::RobotStates>(joint_columns_) : std::string();
}

std::string RowWriter::ActionsHeader() const {
  return format_ == RecordFormat::kCsv ? CsvHeader<qrk::RobotActions>(joint_columns_) : std::string();
}

void RowWriter::AppendStates(std::string& out, const SampleStamp& stamp, std::string_view group,
                             const qrk::RobotStates& states) const {
  AppendRow(format_, joint_columns_, out, stamp, group, states);
}

void RowWriter::AppendActions(std::string& out, const SampleStamp& stamp, std::string_view group,
                              const qrk::RobotActions& actions) const {
  AppendRow(format_, joint_columns_, out, stamp, group, actions);
}

}  // namespace velmor::cli
