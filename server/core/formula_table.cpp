#include "server/core/formula_table.h"

#include <memory>
#include <unordered_map>
#include <utility>

#include "include/vard_enums.h"
#include "server/core/names.h"

namespace vard::server::formula {
namespace {

bool RowExists(int row) { return row >= 1 && row <= kFormulaRows; }

// The live variable of a row, through either kind of view.
template <class View>
auto* Live(View& view, int row) {
  const FormulaRow& r = view.Row(row);
  decltype(view.Find(r.name)) v = nullptr;
  if (r.formula) v = view.Find(r.name);
  return v != nullptr && v->formula == r.formula ? v : nullptr;
}

}  // namespace

std::uint32_t MakeVariable(const Definition& d, Variable* out, ParseError* error) {
  if (!IsValidName(d.name)) return vardInvalidName;
  auto f = std::make_shared<Formula>();
  if (!Compile(CutText(d.text, kMaxFormulaLength), f.get(), error)) return vardInvalidParameter;
  out->name = d.name;
  out->path = kFormulaPath;
  out->kind = Kind::Number;
  out->units = CutText(d.units, kMaxUnitsLength);
  out->description = CutText(d.description, kMaxDescriptionLength);
  out->formula = std::move(f);
  return vardOK;
}

const Variable* RowVariable(const Pool::ReadView& view, int row) {
  return RowExists(row) ? Live(view, row) : nullptr;
}

std::int32_t AddFormula(Pool& pool, const Definition& d, ParseError* error) {
  Variable v;
  if (const std::uint32_t rc = MakeVariable(d, &v, error); rc != vardOK) return -std::int32_t(rc);
  auto view = pool.Write();
  if (view.Find(v.name) != nullptr) return -std::int32_t{vardAlreadyExists};
  for (int row = 1; row <= kFormulaRows; ++row) {
    if (Live(view, row) != nullptr) continue;
    FormulaRow entry{v.name, v.formula};
    view.Insert(std::move(v));
    view.Row(row) = std::move(entry);
    return row;
  }
  return -std::int32_t{vardOutOfMemory};
}

std::uint32_t SetFormula(Pool& pool, int row, const Definition& d, ParseError* error) {
  if (!RowExists(row)) return vardInvalidHandle;
  Variable v;
  if (const std::uint32_t rc = MakeVariable(d, &v, error); rc != vardOK) return rc;
  auto view = pool.Write();
  Variable* old = Live(view, row);
  Variable* same = view.Find(v.name);
  if (same != nullptr && same != old) return vardAlreadyExists;
  FormulaRow entry{v.name, v.formula};
  if (old != nullptr && old->name == v.name) {
    *old = std::move(v);  // the same key: replaced in place, without a throw
  } else if (old != nullptr && same == old) {
    const std::string key = old->name;  // a new spelling of the same name: a new key
    view.Erase(key);
    view.Insert(std::move(v));
  } else {
    const std::string key = old != nullptr ? old->name : std::string();
    view.Insert(std::move(v));
    if (!key.empty()) view.Erase(key);
  }
  view.Row(row) = std::move(entry);
  return vardOK;
}

std::uint32_t DeleteFormula(Pool& pool, int row) {
  if (!RowExists(row)) return vardInvalidHandle;
  auto view = pool.Write();
  const Variable* v = Live(view, row);
  view.Row(row) = FormulaRow{};
  if (v == nullptr) return vardNoSuchData;
  view.Erase(std::string(v->name));
  return vardOK;
}

std::uint32_t RowPlan::Plan(Pool::WriteView& view, const std::vector<Variable>& vars) {
  rows_.clear();
  std::unordered_map<std::string_view, int, FoldedHash, FoldedEqual> held;  // live formulas' rows
  std::vector<bool> empty(kFormulaRows + 1, false);
  for (int row = 1; row <= kFormulaRows; ++row) {
    if (const Variable* v = Live(view, row)) {
      held.emplace(v->name, row);
    } else {
      empty[static_cast<std::size_t>(row)] = true;
    }
  }
  std::vector<const Variable*> wanting;  // formulas that need an empty row
  for (const Variable& v : vars) {
    const auto it = held.find(v.name);
    if (it == held.end()) {
      if (v.formula) wanting.push_back(&v);
    } else if (v.formula) {
      rows_.emplace_back(it->second, FormulaRow{v.name, v.formula});
    } else {
      empty[static_cast<std::size_t>(it->second)] = true;
    }
  }
  int row = 1;
  for (const Variable* v : wanting) {
    while (row <= kFormulaRows && !empty[static_cast<std::size_t>(row)]) ++row;
    if (row > kFormulaRows) {
      rows_.clear();
      return vardOutOfMemory;
    }
    rows_.emplace_back(row++, FormulaRow{v->name, v->formula});
  }
  return vardOK;
}

void RowPlan::Apply(Pool::WriteView& view) noexcept {
  for (auto& [row, entry] : rows_) view.Row(row) = std::move(entry);
  rows_.clear();
}

std::vector<RowState> Rows(const Pool& pool) {
  std::vector<RowState> rows;
  const auto view = pool.Read();
  for (int row = 1; row <= kFormulaRows; ++row) {
    const Variable* v = Live(view, row);
    if (v == nullptr) continue;
    const Outcome o = NumberValue(*v, view);
    rows.push_back(RowState{row, v->name, v->formula->source, v->units, v->description, o.status,
                            o.value, std::string(o.name)});
  }
  return rows;
}

}  // namespace vard::server::formula
