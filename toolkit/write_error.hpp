#pragma once
// The errors of writing a recording's files, thrown alike by qrk's own files
// and by its Foxglove library's MCAP writer, so that the recorder handles one
// kind whichever format failed.
#include <stdexcept>

namespace velmor::toolkit {

/// A file cannot be written: "cannot write PATH: reason". What was written
/// before stays as its writer cut it back.
struct WriteError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

/// A file a recording would create exists (or appeared since it looked):
/// "PATH already exists".
struct FileExists : WriteError {
  using WriteError::WriteError;
};

}  // namespace velmor::toolkit
