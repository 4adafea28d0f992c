// Crest factors and signal loops: three server-computed measurements whose
// inputs and results travel in the general-purpose fields of StlRequest
// (docs/analysis.md names each one). Their frame answers vardException (1001)
// also when the data manager is not initialised; null out-pointers are
// skipped; the two trailing parameters are never read.
#include <cstdint>

#include "requests/common.h"

using namespace vard;
using namespace vard::requests;
using proto::StlRequest;

namespace {

template <class T>
void Deliver(T* out, T value) {
  if (out) *out = value;
}

// One request: `fill` writes the inputs after the clear, `copyOut` delivers
// the results whatever the reply code.
template <class Fill, class CopyOut>
short StlCall(std::uint32_t opcode, LPCSTR Name, short ShortArg1, double RealArg1, Fill&& fill,
              CopyOut&& copyOut) {
  return link::Framed<short>(vardException, vardException, [&](ServerConnection& c) {
    return Exchange<StlRequest>(
        c, opcode,
        [&](StlRequest& r) {
          link::PutText(r.Name, Name);
          r.ShortArg1 = ShortArg1;
          r.RealArg1 = RealArg1;
          fill(r);
        },
        copyOut);
  });
}

}  // namespace

extern "C" {

short __stdcall Stl_Crest(LPCSTR Name, short ShortArg1, double RealArg1, double* RealResult1,
                          double* RealResult2, double* RealResult3, double* RealResult4,
                          short* ShortResult, long /*Ignored1*/, long /*Ignored2*/) {
  return StlCall(
      proto::kStlCrest, Name, ShortArg1, RealArg1, [](StlRequest&) {},
      [&](const StlRequest& r) {
        Deliver(RealResult1, r.Result60);
        Deliver(RealResult2, r.Result68);
        Deliver(RealResult3, r.Result76);
        Deliver(RealResult4, r.Result84);
        Deliver<short>(ShortResult, r.ShortResult);
      });
}

short __stdcall Stl_FindSignalLoop(LPCSTR Name, short ShortArg1, double RealArg1, double RealArg2,
                                   short ShortArg2, double RealArg3, double RealArg4,
                                   double RealArg5, double* RealResult1, double* RealResult2,
                                   short* ShortResult, long /*Ignored1*/, long /*Ignored2*/) {
  return StlCall(
      proto::kStlFindSignalLoop, Name, ShortArg1, RealArg1,
      [&](StlRequest& r) {
        r.RealArg2 = RealArg2;
        r.ShortArg2 = ShortArg2;
        r.RealArg3 = RealArg3;
        r.RealArg4 = RealArg4;
        r.RealArg5 = RealArg5;
      },
      [&](const StlRequest& r) {
        Deliver(RealResult1, r.Result76);
        Deliver(RealResult2, r.Result84);
        Deliver<short>(ShortResult, r.ShortResult);
      });
}

short __stdcall Stl_CrestMethod(LPCSTR Name, short ShortArg1, double RealArg1, short ShortArg2,
                                double* RealResult1, double* RealResult2, long /*Ignored1*/,
                                long /*Ignored2*/) {
  return StlCall(
      proto::kStlCrestMethod, Name, ShortArg1, RealArg1,
      [&](StlRequest& r) { r.ShortArg2Method = ShortArg2; },
      [&](const StlRequest& r) {
        Deliver(RealResult1, r.Result116);
        Deliver(RealResult2, r.Result124);
      });
}

// The wide forms convert the name into 30 bytes (names of up to 28
// characters) and call the ANSI form, whose frame takes the lock. Their one
// guard covers the conversion, so that a name pointer that faults answers
// 1001 like the ANSI form instead of ending the caller's process.

short __stdcall Stl_CrestW(LPCWSTR Name, short ShortArg1, double RealArg1, double* RealResult1,
                           double* RealResult2, double* RealResult3, double* RealResult4,
                           short* ShortResult, long Ignored1, long Ignored2) {
  return link::WideFrame([&] {
    return Stl_Crest(link::AnsiText<30>(Name), ShortArg1, RealArg1, RealResult1, RealResult2,
                     RealResult3, RealResult4, ShortResult, Ignored1, Ignored2);
  });
}

short __stdcall Stl_FindSignalLoopW(LPCWSTR Name, short ShortArg1, double RealArg1,
                                    double RealArg2, short ShortArg2, double RealArg3,
                                    double RealArg4, double RealArg5, double* RealResult1,
                                    double* RealResult2, short* ShortResult, long Ignored1,
                                    long Ignored2) {
  return link::WideFrame([&] {
    return Stl_FindSignalLoop(link::AnsiText<30>(Name), ShortArg1, RealArg1, RealArg2, ShortArg2,
                              RealArg3, RealArg4, RealArg5, RealResult1, RealResult2, ShortResult,
                              Ignored1, Ignored2);
  });
}

short __stdcall Stl_CrestMethodW(LPCWSTR Name, short ShortArg1, double RealArg1, short ShortArg2,
                                 double* RealResult1, double* RealResult2, long Ignored1,
                                 long Ignored2) {
  return link::WideFrame([&] {
    return Stl_CrestMethod(link::AnsiText<30>(Name), ShortArg1, RealArg1, ShortArg2, RealResult1,
                           RealResult2, Ignored1, Ignored2);
  });
}

}  // extern "C"
