#include "services/primitive_states_parser.hpp"

#include <algorithm>
#include <locale>
#include <sstream>
#include <stdexcept>

#include "services/text_numbers.hpp"

namespace velmor::qrk_impl {
namespace {

constexpr const char* kMarkerName = "jointGroup";
constexpr std::size_t kMarkerLength = 10;
constexpr const char* kPrimitiveName = "primitiveName";

[[noreturn]] void Fail(const char* what) {
  throw std::runtime_error(std::string("[velmor::qrk::Client::primitive_states] ") + what);
}

bool IsMarker(const std::string& entry) { return entry.compare(0, kMarkerLength, kMarkerName) == 0; }

// Position of the separating "=", which must exist and not come first.
std::size_t SeparatorOf(const std::string& entry) {
  const std::size_t at = entry.find('=');
  if (at == std::string::npos || at == 0) Fail("Malformed primitive state entry");
  return at;
}

bool IsCorrupted(const std::vector<std::string>& entries) {
  return std::any_of(entries.begin(), entries.end(), [](const std::string& entry) { return entry.empty(); });
}

std::vector<std::string> FetchUncorrupted(const PrimitiveStatesFetch& fetch) {
  std::vector<std::string> entries;
  for (int attempt = 0; attempt < kMaxPrimitiveStateFetches; ++attempt) {
    if (!qrk::IsOk(fetch(entries))) Fail("No reply from the robot");
    if (!IsCorrupted(entries)) return entries;
  }
  Fail("Still received corrupted data after several attempts");
}

// First pass: the entries of each group, in the order received.
std::map<qrk::JointGroup, std::vector<std::string>> GroupEntries(const std::vector<std::string>& entries,
                                                                 const GroupNames& groups) {
  std::map<qrk::JointGroup, std::vector<std::string>> grouped;
  std::vector<std::string>* current = nullptr;
  for (const std::string& entry : entries) {
    if (IsMarker(entry)) {
      const std::size_t separator = SeparatorOf(entry);
      const auto group = static_cast<qrk::JointGroup>(TextToInt(entry.substr(separator + 1)));
      if (groups.count(group) == 0) Fail("Received primitive states for unknown joint group");
      if (grouped.count(group) != 0) Fail("Duplicate primitive states for a joint group");
      current = &grouped[group];
      current->push_back(entry);
    } else if (current == nullptr) {
      Fail("Malformed primitive states: missing jointGroup marker");
    } else {
      current->push_back(entry);
    }
  }
  return grouped;
}

// Second pass: one group's entries into its record.
qrk::PrimitiveStates ParseGroup(qrk::JointGroup group, const std::vector<std::string>& entries) {
  if (entries.empty() || !IsMarker(entries.front())) Fail("Malformed primitive states: missing jointGroup marker");
  std::map<std::string, PrimitiveValue> values;
  for (const std::string& entry : entries) {
    const std::size_t separator = SeparatorOf(entry);
    // The name ends one character before "=", dropping the separating blank.
    values.emplace(entry.substr(0, separator - 1), ParsePrimitiveValue(entry.substr(separator + 1)));
  }
  const auto marker = values.find(kMarkerName);
  const auto name = values.find(kPrimitiveName);
  if (marker == values.end() || name == values.end()) {
    Fail("Malformed primitive states: jointGroup or primitiveName missing");
  }
  if (std::get<std::int32_t>(marker->second) != static_cast<std::int32_t>(group)) {
    Fail("Inconsistent joint group in primitive states");
  }
  qrk::PrimitiveStates states;
  states.pt_name = std::get<std::string>(name->second);
  values.erase(kMarkerName);
  values.erase(kPrimitiveName);
  states.names_and_values = std::move(values);
  return states;
}

std::string FirstToken(const std::string& text) {
  const auto begin = std::find_if_not(text.begin(), text.end(), IsAsciiSpace);
  return std::string(begin, std::find_if(begin, text.end(), IsAsciiSpace));
}

bool IsDecimalInteger(const std::string& token) {
  const std::size_t digits_from = (!token.empty() && token[0] == '-') ? 1 : 0;
  return token.size() > digits_from && std::all_of(token.begin() + digits_from, token.end(), IsAsciiDigit);
}

bool ReadsWhollyAsDouble(const std::string& token) {
  std::istringstream stream(token);
  stream.imbue(std::locale::classic());
  double value = 0.0;
  stream >> value;
  return !stream.fail() && stream.peek() == std::char_traits<char>::eof();
}

}  // namespace

PrimitiveValue ParsePrimitiveValue(const std::string& text) {
  std::string token = FirstToken(text);
  if (IsDecimalInteger(token)) return static_cast<std::int32_t>(TextToInt(token));
  if (ReadsWhollyAsDouble(token)) return TextToDouble(token);
  return token;
}

std::map<qrk::JointGroup, qrk::PrimitiveStates> FetchPrimitiveStates(const GroupNames& groups,
                                                                     const PrimitiveStatesFetch& fetch) {
  const auto grouped = GroupEntries(FetchUncorrupted(fetch), groups);
  std::map<qrk::JointGroup, qrk::PrimitiveStates> result;
  for (const auto& [group, entries] : grouped) result.emplace(group, ParseGroup(group, entries));
  return result;
}

}  // namespace velmor::qrk_impl
