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

// Both transfers first learn the element size from the server: the library
// keeps no state per waveform. The type request leaves the record cleared
// but for its answer, which stays in DataType for the whole transfer. A chunk
// may fill the whole sample area. A caller whose buffer holds values of one
// size only names it as `expected`: a waveform of the other size is refused
// right after the type request, before any sample moves (0: any size).
short WriterTransfer(ServerConnection& c, std::uint32_t opcode, std::int16_t waveform,
                     std::int32_t first, std::int32_t last, const void* data,
                     std::int32_t expected) {
  const short code = SendDataTypeRequest(c, waveform);
  if (code != vardOK) return code;
  auto& rec = *reinterpret_cast<WaveformRequest*>(c.BlockView());
  rec.RecordSize = proto::kRecordSize<WaveformRequest>;
  rec.Waveform = waveform;
  const std::int32_t e = ElementSize(rec.DataType);
  if (expected != 0 && e != expected) return vardInvalidParameter;
  const SampleTransfer t{opcode, e, static_cast<std::int32_t>(proto::kSampleAreaSize) / e, 1,
                         opcode == proto::kWriteWaveform, vardOK};
  // The buffer is only read for a write; the loop never writes through it then.
  auto* buffer = static_cast<std::uint8_t*>(const_cast<void*>(data));
  return TransferSamples(c, t, first, last, buffer);
}

}  // namespace

namespace vard::requests {

short WriteWaveformSized(short Waveform, long FirstSample, long LastSample, const void* Data,
                         std::int32_t element_size) {
  return StandardRequest([&](ServerConnection& c) {
    return WriterTransfer(c, proto::kWriteWaveform, Waveform, FirstSample, LastSample, Data,
                          element_size);
  });
}

short ReadWaveformSized(short Waveform, long FirstSample, long LastSample, void* Data,
                        std::int32_t element_size) {
  return StandardRequest([&](ServerConnection& c) {
    return WriterTransfer(c, proto::kReadWaveform, Waveform, FirstSample, LastSample, Data,
                          element_size);
  });
}

}  // namespace vard::requests

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
  return WriteWaveformSized(Waveform, FirstSample, LastSample, Data, 0);
}

short __stdcall ReadWaveform(short Waveform, long FirstSample, long LastSample, void* Data) {
  return ReadWaveformSized(Waveform, FirstSample, LastSample, Data, 0);
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
