// Pieces shared by the request routines of the variable, scalar and waveform
// families.
#pragma once

#include <cstdint>

#include "include/vard32.h"
#include "include/vard_protocol.h"
#include "link/frame.h"
#include "link/request.h"

namespace vard::requests {

using link::ServerConnection;

// The standard ANSI export: 1001 on a fault, 1000 when not registered.
template <class Routine>
short StandardRequest(Routine&& routine) {
  return link::StandardFrame(routine);
}

// Bytes per sample of a transfer: floats are 4 bytes, every other sample
// type travels as a 16-bit value.
constexpr std::int32_t ElementSize(std::int16_t dataType) { return dataType == vardFloat ? 4 : 2; }

// Index arithmetic of the transfers wraps like the 32-bit registers the
// callers reason in, instead of overflowing.
constexpr std::int32_t Wrap(std::int64_t value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

inline std::uint8_t* SampleArea(ServerConnection& c) {
  return c.BlockView() + proto::kSampleAreaOffset;
}

// Clears a WaveformRequest, asks the server for the sample type of the
// waveform open for writing under `waveform` and leaves the answer in the
// record's DataType field. Returns the reply code.
short SendDataTypeRequest(ServerConnection& c, std::int16_t waveform);

}  // namespace vard::requests
