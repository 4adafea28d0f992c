// The Variable Navigator's selection exports: GetVariableName and
// GetMultipleVariableNames with their wide forms.
//
// They hold no API lock while the dialog is open (each request the dialog
// makes takes it for itself). Their guard covers the caller's buffer only:
// the dialog runs outside it, so that a fault can never leave a modal loop
// half unwound.
#include "include/vard32.h"
#include "link/frame.h"
#include "link/request.h"
#include "navigator/dialog.h"

namespace {

using vard::navigator::kResultNameSize;

// Empties `buffer`, runs the navigator and, when a name was chosen, hands
// it to deliver(name). Returns `buffer` whatever happened.
template <class Char, class Deliver>
Char* Choose(HWND owner, long filter, Char* buffer, Deliver&& deliver) {
  if (!vard::link::SehGuard([&] { buffer[0] = 0; })) return buffer;
  char name[kResultNameSize];
  if (vard::navigator::RunNavigator(owner, filter, name)) {
    vard::link::SehGuard([&] { deliver(name); });
  }
  return buffer;
}

// The wide forms convert the ANSI outcome in a 40-byte buffer, as their
// callers' buffers are sized for.
constexpr short kWideOutcomeSize = 40;

}  // namespace

extern "C" {

LPSTR __stdcall GetVariableName(HWND WndParent, long Filter, LPSTR NameBuffer) {
  return Choose(WndParent, Filter, NameBuffer,
                [&](const char* name) { vard::link::CopyText(NameBuffer, name, kResultNameSize); });
}

LPWSTR __stdcall GetVariableNameW(HWND WndParent, long Filter, LPWSTR NameBuffer) {
  return Choose(WndParent, Filter, NameBuffer, [&](const char* name) {
    vard::link::AnsiToWide(name, NameBuffer, kWideOutcomeSize);
  });
}

// A one-name list: the name, its NUL and the list's final NUL; the empty
// list (a single NUL) when nothing was chosen.
LPSTR __stdcall GetMultipleVariableNames(HWND WndParent, long Filter, LPSTR VariableNames,
                                         long /*BufferSize: not used*/) {
  return Choose(WndParent, Filter, VariableNames, [&](const char* name) {
    vard::link::CopyText(VariableNames, name, kResultNameSize);
    if (name[0] != '\0') VariableNames[lstrlenA(VariableNames) + 1] = '\0';
  });
}

LPWSTR __stdcall GetMultipleVariableNamesW(HWND WndParent, long Filter, LPWSTR VariableNames,
                                           long /*BufferSize: not used*/) {
  return Choose(WndParent, Filter, VariableNames, [&](const char* name) {
    vard::link::AnsiToWide(name, VariableNames, kWideOutcomeSize);
    if (name[0] != '\0') VariableNames[lstrlenW(VariableNames) + 1] = L'\0';
  });
}

}  // extern "C"
