#pragma once
// The formats a recording can be written in, each described once: its name
// on the command line and in the recording's description, its files, how
// its output is made, and what it keeps when the recording fails or is cut
// short. The parser, the help, `record` and its summary all read this
// table: a new format is one entry here and its output.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace velmor::cli {

enum class RecordFormat { kCsv, kJsonl, kMcap, kRos2 };

class RecordingOutput;
struct RecordingSetup;

struct FormatEntry {
  RecordFormat format;
  /// --format's value, and "format" in the recording's description.
  std::string_view name;
  /// What the files are for, after their list in the help.
  std::string_view purpose;
  /// What each file's path adds to -o PATH, the description's file last.
  std::vector<std::string_view> suffixes;
  /// What the description is called in the closing summary.
  std::string_view description_name;
  /// What each record a sample makes is called in the closing summary.
  std::string_view record_name;
  /// After a failed write, what the files keep.
  std::string_view kept_after_failure;
  /// When a second stop signal ends the program at once, what is left
  /// unfinished; {0}, {1}, ... stand for the files in suffix order.
  std::string_view left_unfinished;
  /// Its files carry joint names, which --joint-names may give.
  bool names_joints = false;
  /// Creates the files (exclusively unless the setup says overwrite).
  /// Throws WriteError (FileExists).
  std::unique_ptr<RecordingOutput> (*create)(const RecordingSetup& setup);
};

/// Every format, the default first.
const std::vector<FormatEntry>& RecordFormats();
const FormatEntry& FormatOf(RecordFormat format);

/// The files a recording in `format` at `prefix` writes, in suffix order.
std::vector<std::string> OutputFiles(RecordFormat format, const std::string& prefix);

}  // namespace velmor::cli
