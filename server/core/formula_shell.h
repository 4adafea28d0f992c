// What the formula family needs from the program around the portable core:
// the Formula Editor window and the code page's lead bytes. The Windows
// shell installs both before it serves its first client; without them (the
// native builds) ShowFormulaEditor answers vardProcNotAllowed and every
// character is one byte.
#pragma once

#include <cstdint>

#include "server/core/text_expansion.h"

namespace vard::server {

struct FormulaShell {
  // Opens the editor, or brings it to the front; the reply code.
  std::uint32_t (*show_editor)() = nullptr;
  LeadByteTest lead_byte = nullptr;
};

// Call once, before requests are served.
void InstallFormulaShell(const FormulaShell& shell);

}  // namespace vard::server
