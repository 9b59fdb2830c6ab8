#pragma once
// The primitive states of each joint group, from the server's flat list of
// "name = value" entries: each group starts with its "jointGroup = <g>"
// marker, names its primitive in "primitiveName = <name>", and lists the
// primitive's state variables. Either a complete map is returned or an
// exception is thrown; nothing partial escapes.
#include <functional>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include "records/state_code.hpp"
#include "services/group_maps.hpp"
#include "velmor/qrk/primitive_states.hpp"

namespace velmor::qrk_impl {

using PrimitiveValue = std::variant<std::int32_t, double, std::string>;
/// Fetches the entry list once; a code other than OK means no usable reply.
using PrimitiveStatesFetch = std::function<qrk::StateCode(std::vector<std::string>& entries)>;

inline constexpr int kMaxPrimitiveStateFetches = 6;

/// The typed value of one entry's value text: an integer for an optional "-"
/// and decimal digits, else a double if the whole first token reads as one,
/// else the first token as a string. Throws std::out_of_range "stoi argument
/// out of range" for an integer beyond 32 bits.
PrimitiveValue ParsePrimitiveValue(const std::string& text);

/// Fetches (again at once while an entry arrives empty, at most six times),
/// groups and parses. Throws std::runtime_error with the client's messages,
/// or the standard conversion and variant errors.
std::map<qrk::JointGroup, qrk::PrimitiveStates> FetchPrimitiveStates(const GroupNames& groups,
                                                                     const PrimitiveStatesFetch& fetch);

}  // namespace velmor::qrk_impl
