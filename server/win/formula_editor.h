// The Formula Editor: the pool host's window on the formula database.
//
// One window per host, on a thread of its own: a table of the rows (row,
// name, formula, units, description, current value or error), four edit
// fields and the buttons Add, Change and Delete. The buttons go through the
// same functions as the requests (server/core/formula_table.h), so a change
// made here is seen by every client at once, and the table follows changes
// made by clients within a second. Closing the window hides it; the next
// ShowFormulaEditor shows it again as it was left.
#pragma once

#include <windows.h>

namespace vard::server {

class Pool;

namespace editor {

inline constexpr char kWindowClass[] = "zorVardFormulaEditor";
inline constexpr char kTitle[] = "VARD Formula Editor";

// Control ids, so that tests can drive the window the way a user does.
enum Control : int {
  kList = 100,
  kName,
  kFormula,
  kUnits,
  kDescription,
  kAdd,
  kChange,
  kDelete,
  kStatus,
};

// Shows the editor over `pool`, creating it on first use, or brings it to
// the front. Any thread; returns once the window is shown. The first call
// decides the pool for the life of the process. False when the window could
// not be created.
bool Show(Pool& pool);

// Hides the editor, if there is one: it then no longer looks at the pool.
// The host calls it before it ends and its pool goes away.
void Hide();

}  // namespace editor
}  // namespace vard::server
