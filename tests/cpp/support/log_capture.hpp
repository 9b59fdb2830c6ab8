#pragma once
// LogCapture records what the library logs through spdlog's default logger.
// While one is alive the default logger writes only to the recording sink, at
// level trace; destruction puts the previous sinks and level back. Install it
// while no other thread is logging: spdlog does not guard the sink list.
#include <spdlog/sinks/base_sink.h>
#include <spdlog/spdlog.h>

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace velmor::test {

struct LogLine {
  spdlog::level::level_enum level;
  std::string text;  // the formatted message, without the pattern's decoration
};

namespace detail {

class RecordingSink final : public spdlog::sinks::base_sink<std::mutex> {
 public:
  std::vector<LogLine> Lines() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
  }

 protected:
  // base_sink holds mutex_ around both.
  void sink_it_(const spdlog::details::log_msg& message) override {
    lines_.push_back({message.level, std::string(message.payload.data(), message.payload.size())});
  }
  void flush_() override {}

 private:
  std::vector<LogLine> lines_;
};

}  // namespace detail

class LogCapture {
 public:
  LogCapture()
      : logger_(spdlog::default_logger()),
        sink_(std::make_shared<detail::RecordingSink>()),
        saved_sinks_(logger_->sinks()),
        saved_level_(logger_->level()) {
    logger_->sinks() = {sink_};
    logger_->set_level(spdlog::level::trace);
  }
  ~LogCapture() {
    logger_->sinks() = std::move(saved_sinks_);
    logger_->set_level(saved_level_);
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<LogLine> Lines() const { return sink_->Lines(); }
  void Clear() { sink_->Clear(); }

  /// How many lines read exactly `text` at `level`.
  int Count(spdlog::level::level_enum level, const std::string& text) const {
    int count = 0;
    for (const LogLine& line : sink_->Lines()) count += (line.level == level && line.text == text) ? 1 : 0;
    return count;
  }
  /// How many lines were logged at `level` at all.
  int CountAt(spdlog::level::level_enum level) const {
    int count = 0;
    for (const LogLine& line : sink_->Lines()) count += line.level == level ? 1 : 0;
    return count;
  }
  /// The texts logged at `level`, in order.
  std::vector<std::string> TextsAt(spdlog::level::level_enum level) const {
    std::vector<std::string> texts;
    for (const LogLine& line : sink_->Lines()) {
      if (line.level == level) texts.push_back(line.text);
    }
    return texts;
  }

 private:
  std::shared_ptr<spdlog::logger> logger_;
  std::shared_ptr<detail::RecordingSink> sink_;
  std::vector<spdlog::sink_ptr> saved_sinks_;
  spdlog::level::level_enum saved_level_;
};

}  // namespace velmor::test
