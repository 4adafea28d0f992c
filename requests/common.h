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

// One request of record type R: clears the record, lets `fill` write the
// inputs, sends, and lets `copyOut` hand the reply fields to the caller
// whatever the reply code. Returns the reply code.
template <class R, class Fill, class CopyOut>
short Exchange(ServerConnection& c, std::uint32_t opcode, Fill&& fill, CopyOut&& copyOut) {
  auto& r = link::BeginRequest<R>(c);
  fill(r);
  const short code = link::Send(c, opcode);
  copyOut(static_cast<const R&>(r));
  return code;
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

// One chunked transfer of samples between a caller's buffer and the sample
// area. The caller has prepared the WaveformRequest at the start of the block
// (every field but FirstSample and LastSample, which the loop writes).
struct SampleTransfer {
  std::uint32_t opcode;
  std::int32_t element_size;  // bytes per value: ElementSize(data type)
  std::int32_t capacity;      // samples per request
  std::int32_t reduction;     // samples per group of a reduced read; 1: none
  bool outbound;              // the caller's samples go to the server
  short empty_reply;          // the answer when the range holds no sample
};

// Runs the chunks of samples [first, last], in the order of the index, one
// request each, and copies each chunk to or from `buffer`. Stops at the first
// reply that is not vardOK and answers it; a caller's buffer that faults
// answers vardBufferToSmall.
short TransferSamples(ServerConnection& c, const SampleTransfer& t, std::int32_t first,
                      std::int32_t last, std::uint8_t* buffer);

// Clears a WaveformRequest, asks the server for the sample type of the
// waveform open for writing under `waveform` and leaves the answer in the
// record's DataType field. Returns the reply code.
short SendDataTypeRequest(ServerConnection& c, std::int16_t waveform);

// WriteWaveform and ReadWaveform for a buffer of values of `element_size`
// bytes each (the Automation entries' arrays): the same requests, except
// that a waveform whose samples have another size is answered with
// vardInvalidParameter right after the type request, before any sample
// moves, so the transfer can never run past the buffer. An element size of
// 0 takes the waveform's own: the plain exports.
short WriteWaveformSized(short Waveform, long FirstSample, long LastSample, const void* Data,
                         std::int32_t element_size);
short ReadWaveformSized(short Waveform, long FirstSample, long LastSample, void* Data,
                        std::int32_t element_size);

}  // namespace vard::requests
