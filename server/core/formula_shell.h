// What the formula family needs from the program around the portable core:
// the Formula Editor window and the code page's lead bytes. The Windows
// shell installs both before it serves its first client; without them (the
// native builds) ShowFormulaEditor answers 0 and every character is one
// byte.
#pragma once

#include <cstdint>

#include "server/core/text_expansion.h"

namespace vard::server {

struct FormulaShell {
  // Opens the editor, or brings it to the front; false when it cannot.
  bool (*show_editor)() = nullptr;
  LeadByteTest lead_byte = nullptr;
};

// Call once, before requests are served.
void InstallFormulaShell(const FormulaShell& shell);

}  // namespace vard::server
