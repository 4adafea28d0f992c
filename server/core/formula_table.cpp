#include "server/core/formula_table.h"

#include <memory>
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

// The variable a definition makes, compiled; vardOK, vardInvalidName or
// vardInvalidParameter. Runs before the pool's lock is taken.
std::uint32_t Prepare(const Definition& d, Variable* out, ParseError* error) {
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

}  // namespace

const Variable* RowVariable(const Pool::ReadView& view, int row) {
  return RowExists(row) ? Live(view, row) : nullptr;
}

std::int32_t AddFormula(Pool& pool, const Definition& d, ParseError* error) {
  Variable v;
  if (const std::uint32_t rc = Prepare(d, &v, error); rc != vardOK) return -std::int32_t(rc);
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
  if (const std::uint32_t rc = Prepare(d, &v, error); rc != vardOK) return rc;
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
