// The formula database: kFormulaRows numbered rows (1 .. 512), each empty or
// defining one computed variable of the pool.
//
// A row's variable is an ordinary Kind::Number variable under the path
// "Formulas" whose `formula` is set (pool.h): every client reads it with
// GetNumber, GetUnits, GetDescription and GetType like any number, and it is
// listed like any number. Its units and description are the variable's, so
// SetUnits and SetDescription change what the row shows. Deleting the
// variable (DeleteVariable, DeleteSubTree) empties its row.
//
// The requests (ops_formulas.cpp) and the Formula Editor both change the
// table through these functions only, so both keep the same rules.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
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
