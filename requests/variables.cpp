// Queries about one variable of the pool, and deletion: GetType,
// GetDescription, DeleteVariable, DeleteSubTree and the two waveform tests.
#include <algorithm>

#include "requests/common.h"

using namespace vard;
using namespace vard::requests;
using proto::ScalarRequest;
using proto::VariableRequest;
using proto::WaveformRequest;

namespace {

// The two waveform tests answer with a truth value in place of a reply code,
// so every way of not getting an answer must read as "no", never as 1000 or
// 1001.
short AskTruth(std::uint32_t opcode, const char* varName) {
  return link::Framed<short>(0, 0, [&](ServerConnection& c) -> short {
    auto& r = link::BeginRequest<VariableRequest>(c);
    link::PutText(r.Name, varName);
    return link::Send(c, opcode);
  });
}

short DeleteRequest(std::uint32_t opcode, const char* name, const char* pathName) {
  return StandardRequest([&](ServerConnection& c) -> short {
    auto& r = link::BeginRequest<VariableRequest>(c);
    link::PutText(r.Name, name);
    link::PutText(r.NavigatorPathName, pathName);
    return link::Send(c, opcode);
  });
}

}  // namespace

extern "C" {

short __stdcall GetType(LPCSTR Name, short* Type) {
  return StandardRequest([&](ServerConnection& c) -> short {
    // The server expects this one request to announce only 4 bytes, although
    // the whole waveform record is cleared.
    auto& r = link::BeginRequest<WaveformRequest>(c, proto::kGetTypeRecordSize);
    link::PutText(r.Name, Name);
    const short code = link::Send(c, proto::kGetType);
    *Type = code == vardOK ? r.Type : static_cast<short>(vardUnknown);
    return code;
  });
}

short __stdcall GetTypeW(LPCWSTR Name, short* Type) {
  return link::WideFrame([&] {
    link::AnsiText<30> name(Name);
    return GetType(name, Type);
  });
}

short __stdcall GetDescription(LPCSTR Name, LPSTR Description, short BufferSize) {
  return StandardRequest([&](ServerConnection& c) -> short {
    auto& r = link::BeginRequest<ScalarRequest>(c);
    link::PutText(r.Name, Name);
    const short code = link::Send(c, proto::kGetDescription);
    if (code != vardOK) {
      Description[0] = '\0';
    } else {
      // A negative size reads as a large unsigned one and so as the field's
      // full width; 0 leaves the caller's buffer as it was.
      const int limit = std::min<int>(static_cast<std::uint16_t>(BufferSize),
                                      static_cast<int>(sizeof r.Description));
      link::CopyText(Description, r.Description, limit);
    }
    return code;
  });
}

short __stdcall GetDescriptionW(LPCWSTR Name, LPWSTR Description, short BufferSize) {
  return link::WideFrame([&] {
    link::AnsiText<30> name(Name);
    char description[144];
    description[0] = '\0';  // a call that never reaches the server hands back ""
    const short code = GetDescription(name, description, sizeof description);
    link::AnsiToWide(description, Description, BufferSize);
    return code;
  });
}

short __stdcall DeleteVariable(LPCSTR Name) {
  return DeleteRequest(proto::kDeleteVariable, Name, nullptr);
}

short __stdcall DeleteVariableW(LPCWSTR Name) {
  return link::WideFrame([&] {
    link::AnsiText<30> name(Name);
    return DeleteVariable(name);
  });
}

short __stdcall DeleteSubTree(LPCSTR NavigatorPathName) {
  return DeleteRequest(proto::kDeleteSubTree, nullptr, NavigatorPathName);
}

short __stdcall DeleteSubTreeW(LPCWSTR NavigatorPathName) {
  return link::WideFrame([&] {
    link::AnsiText<170> path(NavigatorPathName);
    return DeleteSubTree(path);
  });
}

short __stdcall vardIsDigitalWaveform(LPCSTR VarName) {
  return AskTruth(proto::kIsDigitalWaveform, VarName);
}

short __stdcall vardIsIntegerWaveform(LPCSTR VarName) {
  return AskTruth(proto::kIsIntegerWaveform, VarName);
}

// The wide tests answer 0 ("no") for a name pointer that faults, the same
// answer the ANSI tests give for every failure.
short __stdcall vardIsDigitalWaveformW(LPCWSTR VarName) {
  return link::WideFrame([&] { return vardIsDigitalWaveform(link::AnsiText<30>(VarName)); }, 0);
}

short __stdcall vardIsIntegerWaveformW(LPCWSTR VarName) {
  return link::WideFrame([&] { return vardIsIntegerWaveform(link::AnsiText<30>(VarName)); }, 0);
}

}  // extern "C"
