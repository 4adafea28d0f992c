// Automation entries of the signal processing: the tapering window and the
// FFT work in place on the client's arrays.
#include "automation/entry.h"
#include "include/vard32.h"

using namespace vard::automation;

namespace {

// Locks an array that must hold `length` floats (length read as unsigned).
// Its element size is not prescribed, but its bytes must take the floats.
bool LockFloats(ClientArray& array, long length) {
  const std::int64_t n = static_cast<std::uint32_t>(length);
  return array.Present() && array.Holds(n, sizeof(float)) && array.Lock();
}

}  // namespace

extern "C" {

long __stdcall BufferApplyWindowTLB(SAFEARRAY** Data, long Length, long WindowType) {
  return Entry([&]() -> long {
    ClientArray data(Data);
    if (!LockFloats(data, Length)) return vardInvalidParameter;
    return BufferApplyWindow(static_cast<float*>(data.Data()), Length,
                             static_cast<short>(WindowType));
  });
}

// The imaginary array is looked at only once the real one is locked; each
// array that was locked is unlocked again, whatever happened.
long __stdcall BufferComplexFFTTLB(SAFEARRAY** RealData, SAFEARRAY** ImaginaryData, long Length,
                                   long Direction) {
  return Entry([&]() -> long {
    ClientArray real(RealData);
    if (!LockFloats(real, Length)) return vardInvalidParameter;
    ClientArray imaginary(ImaginaryData);
    if (!LockFloats(imaginary, Length)) return vardInvalidParameter;
    return BufferComplexFFT(static_cast<float*>(real.Data()), static_cast<float*>(imaginary.Data()),
                            Length, static_cast<short>(Direction));
  });
}

}  // extern "C"
