// The one chunk loop behind every sample transfer: GetWaveformData,
// WriteWaveform and ReadWaveform.
#include <cstring>

#include "requests/common.h"

namespace vard::requests {

short TransferSamples(ServerConnection& c, const SampleTransfer& t, std::int32_t first,
                      std::int32_t last, std::uint8_t* buffer) {
  auto& rec = *reinterpret_cast<proto::WaveformRequest*>(c.BlockView());
  std::uint8_t* area = SampleArea(c);
  const std::int32_t r = t.reduction < 1 ? 1 : t.reduction;
  std::int32_t remaining = Wrap(std::int64_t{last} - first + 1);
  std::int32_t next = first;
  rec.FirstSample = first;
  short code = t.empty_reply;

  while (remaining > 0) {
    std::int32_t n = remaining < t.capacity ? remaining : t.capacity;
    std::int32_t values = n;
    if (r > 1) {
      // Whole groups of r; a chunk shorter than one group (the last one, or
      // every one when r exceeds the capacity) is a group of its own.
      const std::int32_t groups = n >= r ? n / r : 1;
      if (n >= r) n = groups * r;
      values = 2 * groups;
    }
    const std::size_t bytes = static_cast<std::size_t>(values) * t.element_size;

    if (t.outbound && !link::SehGuard([&] { std::memcpy(area, buffer, bytes); })) {
      return vardBufferToSmall;  // the caller's samples cannot be read
    }
    // A write continues from its record, which the server leaves as it found
    // it; reads restate their position on every chunk.
    if (!t.outbound) rec.FirstSample = next;
    rec.LastSample = Wrap(std::int64_t{rec.FirstSample} + n - 1);
    code = link::Send(c, t.opcode);
    if (t.outbound) {
      rec.FirstSample = Wrap(std::int64_t{rec.FirstSample} + n);
    } else {
      if (code != vardOK) break;
      if (!link::SehGuard([&] { std::memcpy(buffer, area, bytes); })) {
        return vardBufferToSmall;  // the caller's buffer cannot take the samples
      }
    }
    if (code != vardOK) break;
    buffer += bytes;
    next = Wrap(std::int64_t{next} + n);
    remaining -= n;
  }
  return code;
}

}  // namespace vard::requests
