#include "cli/recording.hpp"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include <fmt/format.h>

#include "cli/group_text.hpp"
#include "cli/json_writer.hpp"
#include "middleware/key_exprs.hpp"

namespace velmor::cli {
namespace {

double Now() { return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count(); }

std::string Extension(RecordFormat format) { return format == RecordFormat::kCsv ? "csv" : "jsonl"; }

std::size_t MostJoints(const qrk_impl::Dofs& dofs) {
  std::size_t most = 0;
  for (const auto& entry : dofs) most = std::max<std::size_t>(most, entry.second);
  return most;
}

std::uint64_t PackStamp(std::pair<std::int32_t, std::int32_t> stamp) {
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(stamp.first)) << 32) |
         static_cast<std::uint32_t>(stamp.second);
}

std::pair<std::int32_t, std::int32_t> UnpackStamp(std::uint64_t packed) {
  return {static_cast<std::int32_t>(packed >> 32), static_cast<std::int32_t>(packed & 0xFFFFFFFFu)};
}

template <class Records>
std::uint64_t AppendAll(std::string& out, const RowStamp& stamp, const Records& records, const RowWriter& rows,
                        void (RowWriter::*append)(std::string&, const RowStamp&, std::string_view,
                                                  const typename Records::mapped_type&) const) {
  for (const auto& [group, record] : records) (rows.*append)(out, stamp, GroupName(group), record);
  return records.size();
}

void WriteStreamCounts(JsonWriter& json, const std::string& path, const StreamCounts& counts) {
  json.BeginObject()
      .Key("file")
      .String(std::filesystem::path(path).filename().string())
      .Key("received")
      .Integer(static_cast<std::int64_t>(counts.received))
      .Key("written")
      .Integer(static_cast<std::int64_t>(counts.written))
      .Key("dropped")
      .Integer(static_cast<std::int64_t>(counts.dropped))
      .Key("unfit")
      .Integer(static_cast<std::int64_t>(counts.unfit))
      .Key("rows")
      .Integer(static_cast<std::int64_t>(counts.rows))
      .EndObject();
}

}  // namespace

Recording::Recording(RecordingSetup setup)
    : setup_(std::move(setup)),
      rows_(setup_.format, MostJoints(setup_.dofs)),
      basic_(setup_.prefix + ".basic." + Extension(setup_.format), rows_.StatesHeader(),
             [this](std::string& out, const RowStamp& stamp, const qrk_impl::BasicStreamData& message) {
               return AppendAll(out, stamp,
                                qrk_impl::SliceStates(message, setup_.groups, setup_.start_ids, setup_.dofs), rows_,
                                &RowWriter::AppendStates);
             }),
      extra_(setup_.prefix + ".extra." + Extension(setup_.format), rows_.ActionsHeader(),
             [this](std::string& out, const RowStamp& stamp, const qrk_impl::ExtraStreamData& message) {
               return AppendAll(
                   out, stamp,
                   qrk_impl::SliceActions(message, stamp.timestamp, setup_.groups, setup_.start_ids, setup_.dofs),
                   rows_, &RowWriter::AppendActions);
             }) {
  start_time_ = Now();
  WriteMeta("", false);
}

void Recording::Start(const std::shared_ptr<zenoh::Session>& session) {
  basic_.StartWriting();
  extra_.StartWriting();
  basic_subscriber_ = std::make_unique<zenoh_mdw::Subscriber<qrk_impl::BasicStreamData>>(
      session,
      [this](qrk_impl::BasicStreamData& fresh) {
        const auto stamp = qrk_impl::StampOf(fresh);
        latest_stamp_.store(PackStamp(stamp), std::memory_order_relaxed);
        basic_.Take(fresh, Now(), stamp);
      },
      zenoh_mdw::RobotKey(setup_.serial, zenoh_mdw::kBasicStreamSuffix));
  extra_subscriber_ = std::make_unique<zenoh_mdw::Subscriber<qrk_impl::ExtraStreamData>>(
      session,
      [this](qrk_impl::ExtraStreamData& fresh) {
        extra_.Take(fresh, Now(), UnpackStamp(latest_stamp_.load(std::memory_order_relaxed)));
      },
      zenoh_mdw::RobotKey(setup_.serial, zenoh_mdw::kExtraStreamSuffix));
}

std::optional<std::string> Recording::Error() const {
  if (auto error = basic_.Error()) return error;
  return extra_.Error();
}

void Recording::Finish(const std::string& ended_by) {
  basic_subscriber_.reset();
  extra_subscriber_.reset();
  basic_.Finish();
  extra_.Finish();
  end_time_ = Now();
  WriteMeta(ended_by, !Error());
}

void Recording::WriteMeta(const std::string& ended_by, bool complete) const {
  JsonWriter json;
  json.BeginObject().Key("serial").String(setup_.serial).Key("version").String(setup_.version);
  json.Key("format").String(Extension(setup_.format)).Key("layout").BeginArray();
  for (const auto& [group, name] : setup_.groups) {
    json.BeginObject().Key("group").String(name).Key("index").Integer(static_cast<int>(group));
    json.Key("start_id").Integer(setup_.start_ids.count(group) ? setup_.start_ids.at(group) : -1);
    json.Key("dof").Integer(setup_.dofs.count(group) ? static_cast<std::int64_t>(setup_.dofs.at(group)) : 0);
    json.EndObject();
  }
  json.EndArray().Key("start_time").Number(start_time_).Key("end_time");
  end_time_ > 0.0 ? json.Number(end_time_) : json.Null();
  json.Key("complete").Bool(complete).Key("ended_by").String(ended_by);
  json.Key("streams").BeginObject().Key("basic");
  WriteStreamCounts(json, basic_.Path(), basic_.Counts());
  json.Key("extra");
  WriteStreamCounts(json, extra_.Path(), extra_.Counts());
  json.EndObject().EndObject();

  const std::string path = MetaPath();
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << json.Text() << '\n';
    out.flush();
    if (!out) throw WriteError(fmt::format("cannot write {}", temporary));
  }
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
  if (error) throw WriteError(fmt::format("cannot write {}: {}", path, error.message()));
}

}  // namespace velmor::cli
