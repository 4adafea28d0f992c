// The signal-processing exports of VARD32.dll. They take no API mutex and
// need no server; a structured exception while the caller's buffers are
// processed (an unreadable or unwritable buffer) ends the call with
// vardInternalError. Whatever was rewritten before the fault stays so.
#include "include/vard32.h"
#include "link/seh_guard.h"
#include "signal/fft.h"
#include "signal/taper.h"

short VARDAPI BufferComplexFFT(float* RealData, float* ImaginaryData, long Length,
                               short Direction) {
  short result = vardOK;
  const bool completed = vard::link::SehGuard(
      [&] { result = vard::signal::ComplexFft(RealData, ImaginaryData, Length, Direction); });
  return completed ? result : static_cast<short>(vardInternalError);
}

short VARDAPI BufferApplyWindow(float* Data, long Length, short WindowType) {
  short result = vardOK;
  const bool completed =
      vard::link::SehGuard([&] { result = vard::signal::ApplyWindow(Data, Length, WindowType); });
  return completed ? result : static_cast<short>(vardInternalError);
}
