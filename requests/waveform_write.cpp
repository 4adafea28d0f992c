// Writing waveforms: create, open, axes, block information, length, close,
// and the chunked sample transfers into and out of a waveform open for
// writing.
#include <cstring>

#include "requests/common.h"

using namespace vard;
using namespace vard::requests;
using proto::WaveformRequest;

namespace {

template <class Fill>
short WriterCall(std::uint32_t opcode, Fill&& fill) {
  return StandardRequest([&](ServerConnection& c) -> short {
    auto& r = link::BeginRequest<WaveformRequest>(c);
    fill(r);
    return link::Send(c, opcode);
  });
}

// A chunk of a write or read-back may fill the whole sample area.
constexpr std::int32_t ChunkCapacity(std::int32_t elementSize) {
  return static_cast<std::int32_t>(proto::kSampleAreaSize) / elementSize;
}

// Both transfers first learn the element size from the server: the library
// keeps no state per waveform. The type request leaves the record cleared
// but for its answer, which stays in DataType for the whole transfer.
short WriteSamples(ServerConnection& c, std::int16_t waveform, std::int32_t first,
                   std::int32_t last, const void* data) {
  std::int32_t remaining = Wrap(std::int64_t{last} - first + 1);
  short code = SendDataTypeRequest(c, waveform);
  if (code != vardOK) return code;

  auto& rec = *reinterpret_cast<WaveformRequest*>(c.BlockView());
  const std::int32_t e = ElementSize(rec.DataType);
  const std::int32_t capacity = ChunkCapacity(e);
  rec.RecordSize = proto::kRecordSize<WaveformRequest>;
  rec.Waveform = waveform;
  rec.FirstSample = first;
  std::uint8_t* area = SampleArea(c);
  auto* in = static_cast<const std::uint8_t*>(data);

  while (remaining > 0 && code == vardOK) {
    const std::int32_t n = remaining < capacity ? remaining : capacity;
    const std::size_t bytes = static_cast<std::size_t>(n) * e;
    if (!link::SehGuard([&] { std::memcpy(area, in, bytes); })) {
      code = vardBufferToSmall;  // the caller's samples cannot be read
      break;
    }
    rec.LastSample = Wrap(std::int64_t{rec.FirstSample} + n - 1);
    code = link::Send(c, proto::kWriteWaveform);
    // The next chunk starts where the record says this one did, moved on in
    // place: the server is trusted to leave FirstSample as it found it.
    rec.FirstSample = Wrap(std::int64_t{rec.FirstSample} + n);
    in += bytes;
    remaining -= n;
  }
  return code;
}

short ReadBackSamples(ServerConnection& c, std::int16_t waveform, std::int32_t first,
                      std::int32_t last, void* data) {
  std::int32_t remaining = Wrap(std::int64_t{last} - first + 1);
  short code = SendDataTypeRequest(c, waveform);
  if (code != vardOK) return code;

  auto& rec = *reinterpret_cast<WaveformRequest*>(c.BlockView());
  const std::int32_t e = ElementSize(rec.DataType);
  const std::int32_t capacity = ChunkCapacity(e);
  rec.RecordSize = proto::kRecordSize<WaveformRequest>;
  rec.Waveform = waveform;
  const std::uint8_t* area = SampleArea(c);
  auto* out = static_cast<std::uint8_t*>(data);

  while (remaining > 0) {
    const std::int32_t n = remaining < capacity ? remaining : capacity;
    rec.FirstSample = first;
    rec.LastSample = Wrap(std::int64_t{first} + n - 1);
    code = link::Send(c, proto::kReadWaveform);
    if (code != vardOK) break;
    const std::size_t bytes = static_cast<std::size_t>(n) * e;
    if (!link::SehGuard([&] { std::memcpy(out, area, bytes); })) {
      code = vardBufferToSmall;  // the caller's buffer cannot take the samples
      break;
    }
    out += bytes;
    first = Wrap(std::int64_t{first} + n);
    remaining -= n;
  }
  return code;
}

}  // namespace

extern "C" {

short __stdcall CreateWaveform(LPCSTR WaveName, short Type, LPCSTR Path) {
  return WriterCall(proto::kCreateWaveform, [&](WaveformRequest& r) {
    link::PutText(r.Name, WaveName);
    link::PutText(r.Path, Path);
    r.Type = Type;
  });
}

short __stdcall CreateWaveformW(LPCWSTR WaveName, short Type, LPCWSTR Path) {
  return link::WideFrame([&] {
    link::AnsiText<500> name(WaveName);
    link::AnsiText<256> path(Path);
    return CreateWaveform(name, Type, path);
  });
}

short __stdcall OpenWaveform(LPCSTR WaveName, short* Waveform) {
  return StandardRequest([&](ServerConnection& c) -> short {
    auto& r = link::BeginRequest<WaveformRequest>(c);
    link::PutText(r.Name, WaveName);
    const short code = link::Send(c, proto::kOpenWaveform);
    *Waveform = r.Waveform;  // whatever the reply: 0 unless the server wrote it
    return code;
  });
}

short __stdcall OpenWaveformW(LPCWSTR WaveName, short* Waveform) {
  return link::WideFrame([&] {
    link::AnsiText<500> name(WaveName);
    return OpenWaveform(name, Waveform);
  });
}

short __stdcall WriteHorizontal(short Waveform, double X0, double XStep, LPCSTR XUnits) {
  return WriterCall(proto::kWriteHorizontal, [&](WaveformRequest& r) {
    r.Waveform = Waveform;
    r.X0 = X0;
    r.XStep = XStep;
    link::PutText(r.XUnits, XUnits);
  });
}

short __stdcall WriteHorizontalW(short Waveform, double X0, double XStep, LPCWSTR XUnits) {
  return link::WideFrame([&] {
    link::AnsiText<10> units(XUnits);
    return WriteHorizontal(Waveform, X0, XStep, units);
  });
}

short __stdcall WriteVertical(short Waveform, double Y0, double YStep, LPCSTR YUnits) {
  return WriterCall(proto::kWriteVertical, [&](WaveformRequest& r) {
    r.Waveform = Waveform;
    r.Y0 = Y0;
    r.YStep = YStep;
    link::PutText(r.YUnits, YUnits);
  });
}

short __stdcall WriteVerticalW(short Waveform, double Y0, double YStep, LPCWSTR YUnits) {
  return link::WideFrame([&] {
    link::AnsiText<10> units(YUnits);
    return WriteVertical(Waveform, Y0, YStep, units);
  });
}

short __stdcall WriteWaveform(short Waveform, long FirstSample, long LastSample,
                              const void* Data) {
  return StandardRequest([&](ServerConnection& c) {
    return WriteSamples(c, Waveform, FirstSample, LastSample, Data);
  });
}

short __stdcall ReadWaveform(short Waveform, long FirstSample, long LastSample, void* Data) {
  return StandardRequest([&](ServerConnection& c) {
    return ReadBackSamples(c, Waveform, FirstSample, LastSample, Data);
  });
}

short __stdcall SetWaveformLength(short Waveform, long NewLength) {
  return WriterCall(proto::kSetWaveformLength, [&](WaveformRequest& r) {
    r.Waveform = Waveform;
    r.Length = NewLength;
  });
}

short __stdcall CloseWaveform(short Waveform) {
  return WriterCall(proto::kCloseWaveform, [&](WaveformRequest& r) { r.Waveform = Waveform; });
}

short __stdcall WriteBlockInfo(short Waveform, double TriggerTime, short Year, short Month,
                               short Day) {
  return WriterCall(proto::kWriteBlockInfo, [&](WaveformRequest& r) {
    r.Waveform = Waveform;
    r.TriggerTime = TriggerTime;
    r.Year = Year;
    r.Month = Month;
    r.Day = Day;
  });
}

}  // extern "C"
