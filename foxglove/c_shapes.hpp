#pragma once
// The C shapes of a message's stamp and of a group's frames for
// velmor_foxglove.h, borrowed from the records (valid as long as the record
// and the group's name; a record's own fields cross as its field table,
// field_table.hpp), and the one way this folder turns a failed call into an
// exception. Only foxglove/ sees the C header.
#include <velmor_foxglove.h>

#include <cstdint>
#include <string>

#include "foxglove/messages.hpp"

namespace velmor::foxglove::detail {

vf_stamp ToC(const MessageStamp& stamp) noexcept;
vf_group_frames ToC(const GroupFrames& frames) noexcept;

/// Throws for a failed call: WriteError for VF_EIO, FileExists for
/// VF_EEXIST, ServeError for
/// VF_ENETWORK, std::invalid_argument for a misuse (VF_EINVAL, VF_ENULL),
/// std::runtime_error otherwise; the text is vf_last_error()'s.
void Check(vf_result code);

}  // namespace velmor::foxglove::detail
