// Numeric and string variables: read, create and change their value, units
// and description. Every operation is one ScalarRequest.
#include <algorithm>

#include "requests/common.h"

using namespace vard;
using namespace vard::requests;
using proto::ScalarRequest;

namespace {

// Writes the name and whatever `fill` adds, sends the request and returns the
// reply code.
template <class Fill>
short SendScalar(std::uint32_t opcode, const char* name, Fill&& fill) {
  return StandardRequest([&](ServerConnection& c) -> short {
    auto& r = link::BeginRequest<ScalarRequest>(c);
    link::PutText(r.Name, name);
    fill(r);
    return link::Send(c, opcode);
  });
}

template <class CopyOut>
short ReadScalar(std::uint32_t opcode, const char* name, CopyOut&& copyOut) {
  return StandardRequest([&](ServerConnection& c) -> short {
    auto& r = link::BeginRequest<ScalarRequest>(c);
    link::PutText(r.Name, name);
    const short code = link::Send(c, opcode);
    // Copied whatever the reply: a field the server left alone comes back
    // empty or 0.0, which is what a failed read hands the caller.
    copyOut(r);
    return code;
  });
}

}  // namespace

extern "C" {

short __stdcall GetString(LPCSTR Name, LPSTR String, short BufferSize) {
  return ReadScalar(proto::kGetString, Name, [&](const ScalarRequest& r) {
    // The caller's size is the limit as given; a size below 1, negative
    // included, leaves no room and so writes nothing at all.
    const int limit = std::min<int>(BufferSize, static_cast<int>(sizeof r.String));
    link::CopyText(String, r.String, limit);
  });
}

short __stdcall GetStringW(LPCWSTR Name, LPWSTR String, short BufferSize) {
  return link::WideFrame([&] {
    link::AnsiText<30> name(Name);
    char value[256];
    value[0] = '\0';
    const short code =
        GetString(name, value, std::min<short>(BufferSize, static_cast<short>(sizeof value)));
    link::AnsiToWide(value, String, sizeof value);
    return code;
  });
}

short __stdcall CreateString(LPCSTR Name, LPCSTR String, LPCSTR Path) {
  return SendScalar(proto::kCreateString, Name, [&](ScalarRequest& r) {
    link::PutText(r.String, String);
    link::PutText(r.Path, Path);
  });
}

short __stdcall CreateStringW(LPCWSTR Name, LPCWSTR String, LPCWSTR Path) {
  return link::WideFrame([&] {
    link::AnsiText<30> name(Name);
    link::AnsiText<256> value(String);
    char path[256];
    // Converted with room for 144 bytes only, although the buffer and the
    // field hold 256: a wide caller's path keeps at most 142 characters here,
    // unlike CreateNumberW's.
    link::WideToAnsi(Path, path, 144);
    return CreateString(name, value, path);
  });
}

short __stdcall SetString(LPCSTR Name, LPCSTR String) {
  return SendScalar(proto::kSetString, Name,
                    [&](ScalarRequest& r) { link::PutText(r.String, String); });
}

short __stdcall SetStringW(LPCWSTR Name, LPCWSTR String) {
  return link::WideFrame([&] {
    link::AnsiText<30> name(Name);
    link::AnsiText<256> value(String);
    return SetString(name, value);
  });
}

short __stdcall GetNumber(LPCSTR Name, double* Value) {
  return ReadScalar(proto::kGetNumber, Name, [&](const ScalarRequest& r) { *Value = r.Value; });
}

short __stdcall GetNumberW(LPCWSTR Name, double* Value) {
  return link::WideFrame([&] {
    link::AnsiText<30> name(Name);
    return GetNumber(name, Value);
  });
}

short __stdcall GetUnits(LPCSTR Name, LPSTR Units) {
  // The caller's buffer must hold the whole field: there is no size argument.
  return ReadScalar(proto::kGetUnits, Name, [&](const ScalarRequest& r) {
    link::CopyText(Units, r.Units, sizeof r.Units);
  });
}

short __stdcall GetUnitsW(LPCWSTR Name, LPWSTR Units) {
  return link::WideFrame([&] {
    link::AnsiText<30> name(Name);
    char units[12];
    units[0] = '\0';
    const short code = GetUnits(name, units);
    link::AnsiToWide(units, Units, 10);
    return code;
  });
}

short __stdcall CreateNumber(LPCSTR Name, double Value, LPCSTR Units, LPCSTR Description,
                             LPCSTR Path) {
  // A null Description is allowed and sends an empty one (PutText reads a
  // null text as empty).
  return SendScalar(proto::kCreateNumber, Name, [&](ScalarRequest& r) {
    link::PutText(r.Path, Path);
    link::PutText(r.Description, Description);
    link::PutText(r.Units, Units);
    r.Value = Value;
  });
}

short __stdcall CreateNumberW(LPCWSTR Name, double Value, LPCWSTR Units, LPCWSTR Description,
                              LPCWSTR Path) {
  return link::WideFrame([&] {
    link::AnsiText<30> name(Name);
    link::AnsiText<10> units(Units);
    link::AnsiText<144> description(Description);
    link::AnsiText<256> path(Path);
    return CreateNumber(name, Value, units, description, path);
  });
}

short __stdcall SetNumber(LPCSTR Name, double NewValue) {
  return SendScalar(proto::kSetNumber, Name, [&](ScalarRequest& r) { r.Value = NewValue; });
}

short __stdcall SetNumberW(LPCWSTR Name, double NewValue) {
  return link::WideFrame([&] {
    link::AnsiText<30> name(Name);
    return SetNumber(name, NewValue);
  });
}

short __stdcall SetDescription(LPCSTR Name, LPCSTR Description) {
  return SendScalar(proto::kSetDescription, Name,
                    [&](ScalarRequest& r) { link::PutText(r.Description, Description); });
}

short __stdcall SetDescriptionW(LPCWSTR Name, LPCWSTR Description) {
  return link::WideFrame([&] {
    link::AnsiText<30> name(Name);
    link::AnsiText<144> description(Description);
    return SetDescription(name, description);
  });
}

short __stdcall SetUnits(LPCSTR Name, LPCSTR NewUnits) {
  return SendScalar(proto::kSetUnits, Name,
                    [&](ScalarRequest& r) { link::PutText(r.Units, NewUnits); });
}

short __stdcall SetUnitsW(LPCWSTR Name, LPCWSTR NewUnits) {
  return link::WideFrame([&] {
    link::AnsiText<30> name(Name);
    link::AnsiText<10> units(NewUnits);
    return SetUnits(name, units);
  });
}

}  // extern "C"
