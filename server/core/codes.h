// Reply codes and kind values as they travel in the request block.
//
// The public header vard32.h carries the same numbers, but it pulls in
// <windows.h>; the pool core also builds natively, so it keeps its own copy of
// the few values it answers with.
#pragma once

#include <cstdint>

namespace vard::server {

// Low 16 bits of the message result.
enum ReplyCode : std::uint32_t {
  kOK = 0,
  kNoSuchObject = 1,
  kProcNotAllowed = 2,
  kNoSuchData = 3,
  kAlreadyExists = 4,
  kOutOfMemory = 5,
  kInvalidHandle = 6,
  kInvalidType = 7,
  kInvalidName = 8,
  kBufferTooSmall = 11,
  kSegmentTooShort = 101,
  kNotFound = 102,
  kInternalError = 103,
  kInvalidParameter = 1002,
};

// The kind of a variable as GetType reports it.
enum class VarType : std::int16_t {
  Waveform = 1,
  Numerical = 2,
  String = 3,
  Unknown = 4,
  DigitalWaveform = 5,
};

// Sample type of a waveform as the request block names it.
enum class DataType : std::int16_t {
  Digital = 1,
  Integer = 2,
  Float = 4,
};

}  // namespace vard::server
