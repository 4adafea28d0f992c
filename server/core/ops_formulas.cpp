// The formula database and text expansion: AddFormula, SetFormula,
// DeleteFormula, ShowFormulaEditor and ExpandTextEx.
#include <algorithm>

#include "server/core/dispatch.h"
#include "server/core/formula_shell.h"
#include "server/core/formula_table.h"
#include "server/core/pool.h"
#include "server/core/request_io.h"
#include "server/core/text_expansion.h"

namespace vard::server {
namespace {

using proto::FormulaRequest;

FormulaShell g_shell;

formula::Definition DefinitionOf(const FormulaRequest& req) {
  return {FieldText(req.Name), FieldText(req.Formula), FieldText(req.Units),
          FieldText(req.Description)};
}

// Answers the row number, or a reply code negated: row numbers and reply
// codes share the one 16-bit reply, and a negative value is never a row.
std::uint32_t AddFormula(const RequestContext& ctx) {
  const auto req = ReadRecord<FormulaRequest>(ctx.block);
  try {
    return static_cast<std::uint32_t>(formula::AddFormula(ctx.pool, DefinitionOf(req)));
  } catch (const std::bad_alloc&) {
    return static_cast<std::uint32_t>(-std::int32_t{vardOutOfMemory});
  } catch (...) {
    return static_cast<std::uint32_t>(-std::int32_t{vardInternalError});
  }
}

std::uint32_t SetFormula(const RequestContext& ctx) {
  const auto req = ReadRecord<FormulaRequest>(ctx.block);
  return formula::SetFormula(ctx.pool, req.Row, DefinitionOf(req));
}

std::uint32_t DeleteFormula(const RequestContext& ctx) {
  const auto req = ReadRecord<FormulaRequest>(ctx.block);
  return formula::DeleteFormula(ctx.pool, req.Row);
}

// Answers 1 when the editor is shown (clients read the reply as true), and
// 0 when there is no editor to show (ReplyKind::TruthValue).
std::uint32_t ShowFormulaEditor(const RequestContext&) {
  return g_shell.show_editor != nullptr && g_shell.show_editor() ? 1 : 0;
}

// Success is a non-zero reply: 1 when the whole expansion fits the limit, 2
// when it was cut. Every failure answers 0 (ReplyKind::TruthValue).
std::uint32_t ExpandTextEx(const RequestContext& ctx) {
  const auto req = ReadRecord<FormulaRequest>(ctx.block);
  const std::size_t limit = std::min(req.OutputLimit, proto::kMaxExpandOutput);
  const Expansion e = ExpandText(ctx.pool, FieldText(req.InputText), limit, g_shell.lead_byte);
  if (limit > 0) WriteText(ctx.block, VARD_REPLY_FIELD(FormulaRequest, OutputText), e.text);
  return e.cut ? 2 : 1;
}

constexpr OpEntry kOps[] = {
    {proto::kAddFormula, AddFormula},
    {proto::kSetFormula, SetFormula},
    {proto::kDeleteFormula, DeleteFormula},
    {proto::kShowFormulaEditor, ShowFormulaEditor, ReplyKind::TruthValue},
    {proto::kExpandTextEx, ExpandTextEx, ReplyKind::TruthValue},
};

}  // namespace

void InstallFormulaShell(const FormulaShell& shell) { g_shell = shell; }

std::span<const OpEntry> FormulaOps() { return kOps; }

}  // namespace vard::server
