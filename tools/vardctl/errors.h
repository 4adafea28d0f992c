// How vardctl's work fails. A Failure ends the command with exit status 1
// (a pool error, a bad file), a UsageError with 2; main prints the message.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace vard::ctl {

struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A file that cannot be read as what it claims to be; `line` is 0 when the
// fault has no line (a binary file).
struct FileError : Failure {
  FileError(std::int64_t line, const std::string& message)
      : Failure(line > 0 ? "line " + std::to_string(line) + ": " + message : message) {}
};

// "vardNoSuchObject (1)": the name of a reply code of vardReturnCode or
// vardCollError, with its number.
std::string ReplyCodeName(int code);

}  // namespace vard::ctl
