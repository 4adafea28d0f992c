// Reading waveforms: lock by name, axes, block information, single values and
// sample ranges (chunked through the block), and the sample type of a
// waveform open for writing.
#include <cstring>

#include "requests/common.h"

using namespace vard;
using namespace vard::requests;
using proto::WaveformRequest;

namespace vard::requests {

short SendDataTypeRequest(ServerConnection& c, std::int16_t waveform) {
  auto& r = link::BeginRequest<WaveformRequest>(c);
  r.Waveform = waveform;
  return link::Send(c, proto::kGetWaveformDataType);
}

}  // namespace vard::requests

namespace {

// One waveform request: `fill` writes the fields after the clear, `copyOut`
// hands the reply fields to the caller whatever the reply code (fields the
// server left alone come back as zero or empty).
template <class Fill, class CopyOut>
short WaveformCall(std::uint32_t opcode, Fill&& fill, CopyOut&& copyOut) {
  return StandardRequest([&](ServerConnection& c) -> short {
    auto& r = link::BeginRequest<WaveformRequest>(c);
    fill(r);
    const short code = link::Send(c, opcode);
    copyOut(static_cast<const WaveformRequest&>(r));
    return code;
  });
}

void Nothing(const WaveformRequest&) {}

// Samples [fs, ls] of one block, reduced by `reduction`, straight from the
// block into `data`. The record's Src, Block, Reduction and DataType are
// written once; the server keeps them while the chunks go back and forth.
short ReadSamples(ServerConnection& c, std::int16_t src, std::int16_t block, std::int32_t fs,
                  std::int32_t ls, std::uint16_t reduction, std::int16_t data_type, void* data) {
  const std::int32_t r = reduction == 0 ? 1 : reduction;
  auto& rec = link::BeginRequest<WaveformRequest>(c);
  rec.Src = src;
  rec.Block = block;
  rec.Reduction = static_cast<std::uint16_t>(r);
  rec.DataType = data_type;
  const std::int32_t e = ElementSize(data_type);
  // Half the sample area: a reduced reply carries two values per group and
  // must still fit for any reduction.
  const SampleTransfer t{proto::kGetWaveformData, e,
                         static_cast<std::int32_t>(proto::kSampleAreaSize) / (2 * e), r,
                         false, vardBufferToSmall};
  return TransferSamples(c, t, fs, ls, static_cast<std::uint8_t*>(data));
}

}  // namespace

extern "C" {

short __stdcall LockWaveform(LPCSTR Name, short* Src) {
  return WaveformCall(
      proto::kLockWaveform, [&](WaveformRequest& r) { link::PutText(r.Name, Name); },
      [&](const WaveformRequest& r) { *Src = r.Src; });
}

short __stdcall LockWaveformW(LPCWSTR Name, short* Src) {
  return link::WideFrame([&] {
    link::AnsiText<500> name(Name);
    return LockWaveform(name, Src);
  });
}

short __stdcall GetHorizontal(short Src, double* X0, double* XStep, short* Record, long* Length,
                              LPSTR XUnits) {
  return WaveformCall(
      proto::kGetHorizontal, [&](WaveformRequest& r) { r.Src = Src; },
      [&](const WaveformRequest& r) {
        *X0 = r.X0;
        *XStep = r.XStep;
        *Record = r.Block;
        *Length = r.Length;
        link::CopyText(XUnits, r.XUnits, sizeof r.XUnits);
      });
}

short __stdcall GetHorizontalW(short Src, double* X0, double* XStep, short* Record, long* Length,
                               LPWSTR XUnits) {
  return link::WideFrame([&] {
    char units[10];
    units[0] = '\0';  // a call that never reaches the server hands back ""
    const short code = GetHorizontal(Src, X0, XStep, Record, Length, units);
    link::AnsiToWide(units, XUnits, 10);
    return code;
  });
}

short __stdcall GetVertical(short Src, double* Y0, double* YStep, LPSTR Name, LPSTR YUnits) {
  return WaveformCall(
      proto::kGetVertical, [&](WaveformRequest& r) { r.Src = Src; },
      [&](const WaveformRequest& r) {
        *Y0 = r.Y0;
        *YStep = r.YStep;
        link::CopyText(Name, r.Name, sizeof r.Name);
        link::CopyText(YUnits, r.YUnits, sizeof r.YUnits);
      });
}

short __stdcall GetVerticalW(short Src, double* Y0, double* YStep, LPWSTR Name, LPWSTR YUnits) {
  return link::WideFrame([&] {
    char name[500];
    char units[10];
    name[0] = '\0';
    units[0] = '\0';
    const short code = GetVertical(Src, Y0, YStep, name, units);
    // Wide callers get the name cut to a variable name's width, not the
    // field's 500 bytes.
    link::AnsiToWide(name, Name, 30);
    link::AnsiToWide(units, YUnits, 10);
    return code;
  });
}

short __stdcall GetWaveformData(short Src, short Block, long FS, long LS, short Reduction,
                                short DataType, void* Data) {
  return StandardRequest([&](ServerConnection& c) {
    return ReadSamples(c, Src, Block, FS, LS, static_cast<std::uint16_t>(Reduction), DataType,
                       Data);
  });
}

short __stdcall UnlockWaveform(short Src) {
  return WaveformCall(
      proto::kUnlockWaveform, [&](WaveformRequest& r) { r.Src = Src; }, Nothing);
}

short __stdcall GetWaveformValue(LPCSTR Name, short Block, double XPos, double* YValue) {
  return WaveformCall(
      proto::kGetWaveformValue,
      [&](WaveformRequest& r) {
        link::PutText(r.Name, Name);
        r.Block = Block;
        r.X0 = XPos;
      },
      [&](const WaveformRequest& r) { *YValue = r.Y0; });
}

short __stdcall GetWaveformValueW(LPCWSTR Name, short Block, double XPos, double* YValue) {
  return link::WideFrame([&] {
    link::AnsiText<500> name(Name);
    return GetWaveformValue(name, Block, XPos, YValue);
  });
}

short __stdcall GetBlockInfo(short SourceHandle, short Block, double* TriggerTime, short* Year,
                             short* Month, short* Day) {
  return WaveformCall(
      proto::kGetBlockInfo,
      [&](WaveformRequest& r) {
        r.Src = SourceHandle;
        r.Block = Block;
      },
      [&](const WaveformRequest& r) {
        *TriggerTime = r.TriggerTime;
        *Year = r.Year;
        *Month = r.Month;
        *Day = r.Day;
      });
}

short __stdcall GetWaveformDataType(short Waveform, short* Type) {
  return StandardRequest([&](ServerConnection& c) -> short {
    const short code = SendDataTypeRequest(c, Waveform);
    *Type = reinterpret_cast<const WaveformRequest*>(c.BlockView())->DataType;
    return code;
  });
}

}  // extern "C"
