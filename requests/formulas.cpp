// The formula database and text expansion: AddFormula, SetFormula,
// DeleteFormula, ShowFormulaEditor and ExpandTextEx. Every operation is one
// FormulaRequest; the rows, the language and the expansion are the server's.
#include <algorithm>

#include "requests/common.h"

using namespace vard;
using namespace vard::requests;
using proto::FormulaRequest;

namespace {

// AddFormula and SetFormula: the reply is the server's (for AddFormula the
// row number it filled); no field is read back.
short SendDefinition(std::uint32_t opcode, short Row, LPCSTR Name, LPCSTR Formula, LPCSTR Units,
                     LPCSTR Description) {
  return StandardRequest([&](ServerConnection& c) -> short {
    auto& r = link::BeginRequest<FormulaRequest>(c);
    r.Row = Row;
    link::PutText(r.Name, Name);
    link::PutText(r.Formula, Formula);
    link::PutText(r.Units, Units);
    link::PutText(r.Description, Description);
    return link::Send(c, opcode);
  });
}

}  // namespace

extern "C" {

short __stdcall AddFormula(LPCSTR Name, LPCSTR Formula, LPCSTR Units, LPCSTR Description) {
  return SendDefinition(proto::kAddFormula, 0, Name, Formula, Units, Description);
}

short __stdcall AddFormulaW(LPCWSTR Name, LPCWSTR Formula, LPCWSTR Units, LPCWSTR Description) {
  return link::WideFrame([&] {
    link::AnsiText<30> name(Name);
    link::AnsiText<160> formula(Formula);
    link::AnsiText<10> units(Units);
    link::AnsiText<144> description(Description);
    return AddFormula(name, formula, units, description);
  });
}

short __stdcall SetFormula(short Row, LPCSTR Name, LPCSTR Formula, LPCSTR Units,
                           LPCSTR Description) {
  return SendDefinition(proto::kSetFormula, Row, Name, Formula, Units, Description);
}

short __stdcall SetFormulaW(short Row, LPCWSTR Name, LPCWSTR Formula, LPCWSTR Units,
                            LPCWSTR Description) {
  return link::WideFrame([&] {
    link::AnsiText<30> name(Name);
    link::AnsiText<160> formula(Formula);
    link::AnsiText<10> units(Units);
    link::AnsiText<144> description(Description);
    return SetFormula(Row, name, formula, units, description);
  });
}

short __stdcall DeleteFormula(short Row) {
  return StandardRequest([&](ServerConnection& c) -> short {
    link::BeginRequest<FormulaRequest>(c).Row = Row;
    return link::Send(c, proto::kDeleteFormula);
  });
}

short __stdcall ShowFormulaEditor() {
  return StandardRequest([&](ServerConnection& c) -> short {
    link::BeginRequest<FormulaRequest>(c);
    return link::Send(c, proto::kShowFormulaEditor);
  });
}

// Returns OutputText on every path. Without a connection or registration,
// or after a fault, OutputText is left as it was.
LPSTR __stdcall ExpandTextEx(LPCSTR InputText, LPSTR OutputText, short BufferSize) {
  link::Framed<short>(0, 0, [&](ServerConnection& c) -> short {
    auto& r = link::BeginRequest<FormulaRequest>(c);
    link::PutText(r.InputText, InputText);
    const auto limit =
        std::min(static_cast<std::uint16_t>(BufferSize), proto::kMaxExpandOutput);
    r.OutputLimit = limit;
    // Success is any non-zero answer, so the whole result counts here.
    if (c.SendRequest(proto::kExpandTextEx) != 0) {
      const std::uint16_t back = r.OutputLimit;  // the server may have lowered it
      link::CopyText(OutputText, r.OutputText, std::min(back, limit));
    } else if (limit > 0) {
      OutputText[0] = '\0';
    }
    return 0;
  });
  return OutputText;
}

LPWSTR __stdcall ExpandTextExW(LPCWSTR InputText, LPWSTR OutputText, short BufferSize) {
  link::WideFrame([&] {
    link::AnsiText<8192> input(InputText);
    char output[24576];
    output[0] = '\0';
    ExpandTextEx(input, output, BufferSize);
    // At most min(BufferSize, 24575) - 1 bytes came back, so the wide text
    // and its terminator fit the caller's BufferSize characters. A size of
    // 0 leaves no room for even a terminator.
    if (BufferSize != 0) link::AnsiToWide(output, OutputText, static_cast<short>(sizeof output));
    return short{0};
  });
  return OutputText;
}

}  // extern "C"
