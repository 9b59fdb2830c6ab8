#pragma once
// What every decoder fuzz target checks on one input. A decoder may reject a
// payload only with zenoh::ZException; any other exception escapes the fuzz
// entry point and ends the process, and so do sanitizer reports and the
// aborts below. All of them are findings:
//   - a decode or encode allocating beyond the AllocationBudget of the payload;
//   - DecodeInto on a message reused across inputs (the subscriber's path)
//     disagreeing with a fresh Decode, in verdict, error text or content;
//   - an accepted payload that does not survive a round trip: the re-encoded
//     bytes must be no longer than the payload (non-minimal lengths are the
//     only slack the format allows), equal to it when just as long, and must
//     decode to a message that encodes to the same bytes again.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "fuzz/allocation_budget.hpp"
#include "messages/message_codec.hpp"

namespace velmor::fuzz {

[[noreturn]] inline void Finding(const char* what) {
  std::fprintf(stderr, "==decoder check failed== %s\n", what);
  std::abort();
}

template <class T>
void CheckDecoder(const std::uint8_t* data, std::size_t size) {
  using zenoh_msgs::Decode;
  using zenoh_msgs::DecodeInto;
  using zenoh_msgs::Encode;

  std::optional<T> fresh;
  std::string fresh_error;
  {
    AllocationBudget budget("Decode", size);
    try {
      fresh.emplace(Decode<T>(data, size));
    } catch (const zenoh::ZException& e) {
      fresh_error = e.what();
    }
  }

  // Keeps the capacity and leftovers of earlier inputs, failed ones included.
  static T reused;
  std::string reused_error;
  {
    AllocationBudget budget("DecodeInto", size);
    try {
      DecodeInto(reused, data, size);
    } catch (const zenoh::ZException& e) {
      reused_error = e.what();
    }
  }
  if (reused_error != fresh_error) Finding("DecodeInto on a reused message and Decode disagree on the verdict");
  if (!fresh) return;

  std::vector<std::uint8_t> encoded;
  {
    AllocationBudget budget("Encode", size);
    encoded = Encode(*fresh);
  }
  if (Encode(reused) != encoded) Finding("DecodeInto on a reused message and Decode produced different content");
  if (encoded.size() > size) Finding("re-encoding an accepted payload made it longer");
  if (encoded.size() == size && size != 0 && std::memcmp(encoded.data(), data, size) != 0) {
    Finding("re-encoding changed a payload that has no slack");
  }

  std::optional<T> again;
  try {
    again.emplace(Decode<T>(encoded));
  } catch (const zenoh::ZException& e) {
    std::fprintf(stderr, "%s\n", e.what());
    Finding("the re-encoded message does not decode");
  }
  if (Encode(*again) != encoded) Finding("a decode/encode round trip changed the message");
}

}  // namespace velmor::fuzz
