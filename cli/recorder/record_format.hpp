#pragma once
// The formats a recording can be written in.

namespace velmor::cli {

enum class RecordFormat { kCsv, kJsonl, kMcap };

}  // namespace velmor::cli
