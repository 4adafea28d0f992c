// The Variable Navigator dialog (template 13001) on Windows.
#pragma once

#include <windows.h>

namespace vard::navigator {

// The chosen name: at most 21 characters and a NUL, what callers of the
// selection exports size their buffers for.
inline constexpr int kResultNameSize = 22;

// Builds the model from the pool with `filter` (its low 16 bits) and runs
// the dialog modally on this thread, owned by `owner`. True when the user
// pressed OK; `result` then holds the chosen name. False, with nothing
// shown, when the library is not initialised; false too when the dialog
// could not be shown or the user cancelled. Never throws.
bool RunNavigator(HWND owner, long filter, char (&result)[kResultNameSize]) noexcept;

}  // namespace vard::navigator
