// Automation entries of waveform reading. The two sample entries make the
// client's array and have GetWaveformData fill it.
#include "automation/entry.h"
#include "include/vard32.h"
#include "requests/common.h"

using namespace vard;
using namespace vard::automation;

namespace {

// The number of values GetWaveformData writes for samples FS to LS: N
// unreduced, two per group of R samples, and two per chunk when R exceeds
// what one chunk holds (each chunk is then one group). Index arithmetic
// wraps in 32 bits as the transfer's does, so the count is exactly what
// the transfer writes.
std::int64_t ValueCount(long FS, long LS, short Reduction, std::int32_t element_size) {
  const std::int32_t n = requests::Wrap(std::int64_t{LS} - FS + 1);
  const std::int32_t r = static_cast<std::uint16_t>(Reduction);
  if (r <= 1) return n;
  const std::int32_t chunk = static_cast<std::int32_t>(proto::kSampleAreaSize) / (2 * element_size);
  if (r > chunk) return n > 0 ? 2 * ((std::int64_t{n} + chunk - 1) / chunk) : 0;
  return std::int64_t{requests::Wrap(std::int64_t{LS} - FS) / r} * 2 + 2;
}

long ReadIntoNewArray(short Src, short Block, long FS, long LS, short Reduction,
                      std::int16_t data_type, SAFEARRAY** Data) {
  const std::int32_t e = requests::ElementSize(data_type);
  ResultArray array(Data, static_cast<std::uint16_t>(e), ValueCount(FS, LS, Reduction, e));
  if (!array.Ready()) return vardOutOfMemory;
  return GetWaveformData(Src, Block, FS, LS, Reduction, data_type, array.Data());
}

}  // namespace

extern "C" {

long __stdcall LockWaveformTLB(BSTR Name, short* Src) {
  return Entry([&]() -> long {
    if (Missing(Name)) return vardInvalidParameter;
    return LockWaveform(TextIn<500>(Name), Src);
  });
}

long __stdcall GetHorizontalTLB(short Src, double* X0, double* XStep, short* Record, long* Length,
                                BSTR* XUnits) {
  return Entry([&]() -> long {
    ResultText<10> units;
    const short code = GetHorizontal(Src, X0, XStep, Record, Length, units);
    *XUnits = units.Bstr();
    return code;
  });
}

long __stdcall GetVerticalTLB(short Src, double* Y0, double* YStep, BSTR* Name, BSTR* YUnits) {
  return Entry([&]() -> long {
    ResultText<500> name;
    ResultText<10> units;
    const short code = GetVertical(Src, Y0, YStep, name, units);
    *Name = name.Bstr();
    *YUnits = units.Bstr();
    return code;
  });
}

long __stdcall GetWaveformDataShortTLB(short Src, short Block, long FS, long LS, short Reduction,
                                       SAFEARRAY** Data) {
  return Entry([&] { return ReadIntoNewArray(Src, Block, FS, LS, Reduction, vardInteger, Data); });
}

long __stdcall GetWaveformDataFloatTLB(short Src, short Block, long FS, long LS, short Reduction,
                                       SAFEARRAY** Data) {
  return Entry([&] { return ReadIntoNewArray(Src, Block, FS, LS, Reduction, vardFloat, Data); });
}

long __stdcall UnlockWaveformTLB(short Src) { return UnlockWaveform(Src); }

long __stdcall GetWaveformValueTLB(BSTR Name, short Block, double XPos, double* YValue) {
  return Entry([&]() -> long {
    if (Missing(Name)) return vardInvalidParameter;
    return GetWaveformValue(TextIn<500>(Name), Block, XPos, YValue);
  });
}

long __stdcall GetBlockInfoTLB(short SourceHandle, short Block, double* TriggerTime, short* Year,
                               short* Month, short* Day) {
  return GetBlockInfo(SourceHandle, Block, TriggerTime, Year, Month, Day);
}

long __stdcall GetWaveformDataTypeTLB(short Waveform, long* Type) {
  return Entry([&]() -> long {
    short type = 0;  // no sample type: what the client sees when there is no answer
    const short code = GetWaveformDataType(Waveform, &type);
    *Type = type;
    return code;
  });
}

}  // extern "C"
