// Automation entries of waveform writing. The sample entries move samples
// between a waveform open for writing and a client's array.
#include "automation/entry.h"
#include "include/vard32.h"
#include "requests/common.h"

using namespace vard;
using namespace vard::automation;

namespace {

// WriteWaveform and ReadWaveform move samples in the waveform's own element
// size, whatever the entry's array holds: an array of another element size
// would be over-read or overrun. The entries therefore run the same transfer
// with their element size named, which refuses a waveform of the other size
// (1002) right after its own type request, before any sample moves: the
// server sees the plain export's sequence of requests.
long WriteFromArray(short Waveform, long FirstSample, long LastSample, SAFEARRAY** Data,
                    std::int32_t element_size) {
  ClientArray array(Data);
  const std::int32_t n = requests::Wrap(std::int64_t{LastSample} - FirstSample + 1);
  if (!array.Present() || array.ElementSize() != element_size || !array.Holds(n, element_size)) {
    return vardInvalidParameter;
  }
  if (!array.Lock()) return vardOutOfMemory;
  return requests::WriteWaveformSized(Waveform, FirstSample, LastSample, array.Data(),
                                      element_size);
}

// The array is made before the transfer: a waveform of the other size
// leaves it, unfilled, in the client's pointer, as any failed transfer does.
long ReadIntoNewArray(short Waveform, long FirstSample, long LastSample, SAFEARRAY** Data,
                      std::int32_t element_size) {
  ResultArray array(Data, static_cast<std::uint16_t>(element_size),
                    requests::Wrap(std::int64_t{LastSample} - FirstSample + 1));
  if (!array.Ready()) return vardOutOfMemory;
  return requests::ReadWaveformSized(Waveform, FirstSample, LastSample, array.Data(),
                                     element_size);
}

}  // namespace

extern "C" {

long __stdcall CreateWaveformTLB(BSTR WaveName, long Type, BSTR Path) {
  return Entry([&]() -> long {
    if (Missing(WaveName, Path)) return vardInvalidParameter;
    return CreateWaveform(TextIn<500>(WaveName), static_cast<short>(Type), TextIn<256>(Path));
  });
}

long __stdcall OpenWaveformTLB(BSTR WaveName, short* Waveform) {
  return Entry([&]() -> long {
    if (Missing(WaveName)) return vardInvalidParameter;
    return OpenWaveform(TextIn<500>(WaveName), Waveform);
  });
}

long __stdcall WriteHorizontalTLB(short Waveform, double X0, double XStep, BSTR XUnits) {
  return Entry([&]() -> long { return WriteHorizontal(Waveform, X0, XStep, TextIn<10>(XUnits)); });
}

long __stdcall WriteVerticalTLB(short Waveform, double Y0, double YStep, BSTR YUnits) {
  return Entry([&]() -> long { return WriteVertical(Waveform, Y0, YStep, TextIn<10>(YUnits)); });
}

long __stdcall WriteWaveformShortTLB(short Waveform, long FirstSample, long LastSample,
                                     SAFEARRAY** Data) {
  return Entry([&] { return WriteFromArray(Waveform, FirstSample, LastSample, Data, 2); });
}

long __stdcall WriteWaveformFloatTLB(short Waveform, long FirstSample, long LastSample,
                                     SAFEARRAY** lpfData) {
  return Entry([&] { return WriteFromArray(Waveform, FirstSample, LastSample, lpfData, 4); });
}

long __stdcall ReadWaveformShortTLB(short Waveform, long FirstSample, long LastSample,
                                    SAFEARRAY** Data) {
  return Entry([&] { return ReadIntoNewArray(Waveform, FirstSample, LastSample, Data, 2); });
}

long __stdcall ReadWaveformFloatTLB(short Waveform, long FirstSample, long LastSample,
                                    SAFEARRAY** Data) {
  return Entry([&] { return ReadIntoNewArray(Waveform, FirstSample, LastSample, Data, 4); });
}

long __stdcall SetWaveformLengthTLB(short Waveform, long NewLength) {
  return SetWaveformLength(Waveform, NewLength);
}

long __stdcall CloseWaveformTLB(short Waveform) { return CloseWaveform(Waveform); }

long __stdcall WriteBlockInfoTLB(short Waveform, double TriggerTime, short Year, short Month,
                                 short Day) {
  return WriteBlockInfo(Waveform, TriggerTime, Year, Month, Day);
}

}  // extern "C"
