// The formula database: kFormulaRows numbered rows (1 .. 512), each empty or
// defining one computed variable of the pool.
//
// A row's variable is an ordinary Kind::Number variable under the path
// "Formulas" (or, loaded from a collection, its saved path behind the
// collection's prefix) whose `formula` is set (pool.h): every client reads it with
// GetNumber, GetUnits, GetDescription and GetType like any number, and it is
// listed like any number. Its units and description are the variable's, so
// SetUnits and SetDescription change what the row shows. Deleting the
// variable (DeleteVariable, DeleteSubTree) empties its row.
//
// The requests (ops_formulas.cpp), the Formula Editor and the collection
// loader change the table through these functions only, so all keep the
// same rules.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "server/core/formula_eval.h"
#include "server/core/formula_parser.h"
#include "server/core/pool.h"

namespace vard::server::formula {

// Where the database's variables appear in the pool's tree.
inline constexpr std::string_view kFormulaPath = "Formulas";

// What a row is given. Texts longer than their request fields are cut as
// the library cuts them (formula 159, units 9, description 143 bytes).
struct Definition {
  std::string_view name, text, units, description;
};

// The variable that row `row` defines, or null when the row is empty.
const Variable* RowVariable(const Pool::ReadView& view, int row);

// The variable a definition makes, compiled, under kFormulaPath: vardOK,
// vardInvalidName or vardInvalidParameter (not a formula; `error` says why).
// Takes no lock: AddFormula and SetFormula call it before they take the
// pool's, and so does a loader that puts formulas in with others at once.
std::uint32_t MakeVariable(const Definition& d, Variable* out, ParseError* error = nullptr);

// Fills the first empty row. Answers the row number (1 .. kFormulaRows), or
// a reply code negated: -vardInvalidName, -vardAlreadyExists (the name is
// taken by another variable), -vardInvalidParameter (not a formula; `error`
// says why), -vardOutOfMemory (no empty row). A failure changes nothing.
std::int32_t AddFormula(Pool& pool, const Definition& d, ParseError* error = nullptr);

// (Over)writes row `row`, empty or not. vardOK, or vardInvalidHandle (no
// such row), vardInvalidName, vardAlreadyExists (the name belongs to a
// variable other than this row's), vardInvalidParameter (not a formula).
std::uint32_t SetFormula(Pool& pool, int row, const Definition& d, ParseError* error = nullptr);

// Empties row `row` and deletes its variable. vardOK, vardInvalidHandle (no
// such row) or vardNoSuchData (the row is empty).
std::uint32_t DeleteFormula(Pool& pool, int row);

// The rows of variables that enter the pool together, under one WriteView
// (a collection being loaded), each taking the place of any variable of its
// name. A formula variable among them keeps the row of the formula of its
// name, or takes the first empty row; the row of a formula that a variable
// which is not a formula replaces is empty for the others.
class RowPlan {
 public:
  // Before the pool changes: vardOK, or vardOutOfMemory when the empty rows
  // do not suffice (nothing is planned then).
  std::uint32_t Plan(Pool::WriteView& view, const std::vector<Variable>& vars);
  // Once the variables are in the pool, under the same view: the planned
  // rows name them. Cannot fail.
  void Apply(Pool::WriteView& view) noexcept;

 private:
  std::vector<std::pair<int, FormulaRow>> rows_;
};

// An occupied row as the Formula Editor shows it.
struct RowState {
  int row = 0;
  std::string name, source, units, description;
  Status status = Status::Ok;  // of evaluating it now
  double value = 0.0;
  std::string culprit;  // the name at fault when status is not Ok
};

// Every occupied row with its current value, under one read view.
std::vector<RowState> Rows(const Pool& pool);

}  // namespace vard::server::formula
