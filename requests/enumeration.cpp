// Variable enumeration: FindFirstVariable, FindNextVariable,
// FindVariableClose and GetVariablesInPath. The server keeps each
// enumeration; the library passes its find handle through untouched.
#include <cstring>

#include "requests/common.h"

using namespace vard;
using namespace vard::requests;
using proto::EnumerationRequest;
using proto::PathListRequest;

namespace {

// The reply's name and path, copied whole up to their NULs, never more than
// their fields' widths (30 and 258 bytes, terminator included).
void CopyVariable(const EnumerationRequest& r, LPSTR VarName, LPSTR Path) {
  link::CopyText(VarName, r.VarName, sizeof r.VarName);
  link::CopyText(Path, r.Path, sizeof r.Path);
}

EnumerationRequest& SendHandle(ServerConnection& c, std::uint32_t opcode, long FindHandle,
                               short* code) {
  auto& r = link::BeginRequest<EnumerationRequest>(c);
  r.FindHandle = static_cast<std::uint32_t>(FindHandle);
  *code = link::Send(c, opcode);
  return r;
}

// Sends a path listing; the name list then stands behind the record.
short SendPathList(ServerConnection& c, const char* PathPrefix, short Filter, short BufferSize) {
  auto& r = link::BeginRequest<PathListRequest>(c);
  r.Filter = static_cast<std::uint16_t>(Filter);
  r.Capacity =
      BufferSize < 0 ? proto::kPathListMaxCapacity : static_cast<std::uint16_t>(BufferSize);
  link::PutText(r.PathPrefix, PathPrefix);
  return link::Send(c, proto::kGetVariablesInPath);
}

const char* NameList(ServerConnection& c) {
  return reinterpret_cast<const char*>(c.BlockView() + proto::kPathListOffset);
}

// Converts the block's name list into the caller's wide buffer, name by
// name, with a budget of BufferSize / 2 - 1 characters: a name is taken when
// it is shorter than what is left, and the list ends with an empty name. A
// name that does not fit ends the list there, with an empty name, so the
// caller always gets a terminated list and nothing beyond BufferSize bytes.
void ConvertNameList(const char* list, LPWSTR Result, short BufferSize) {
  const int budget = BufferSize / 2 - 1;
  int left = budget;
  int out = 0;
  std::size_t in = 0;
  while (left > 0) {
    const std::size_t room = proto::kPathListMaxCapacity - in;  // never read past the block
    const int len = static_cast<int>(strnlen(list + in, room));
    if (static_cast<std::size_t>(len) == room || len >= left) break;
    if (len == 0) {
      Result[out] = L'\0';
      return;
    }
    link::AnsiToWide(list + in, Result + out, static_cast<short>(len + 2));
    // A double-byte code page gives fewer wide characters than bytes.
    out += lstrlenW(Result + out) + 1;
    in += len + 1;
    left -= len + 1;
  }
  if (budget > 0) Result[out] = L'\0';
}

}  // namespace

extern "C" {

long __stdcall FindFirstVariable(short Filter, LPSTR VarName, LPSTR Path) {
  // Every failure, an uninitialised library included, answers handle 0.
  return link::Framed<long>(0, 0, [&](ServerConnection& c) -> long {
    auto& r = link::BeginRequest<EnumerationRequest>(c);
    r.Filter = static_cast<std::uint16_t>(Filter);
    link::Send(c, proto::kFindFirstVariable);  // the handle tells, not the code
    const long handle = static_cast<long>(r.FindHandle);
    CopyVariable(r, VarName, Path);
    return handle;
  });
}

short __stdcall FindNextVariable(long FindHandle, LPSTR VarName, LPSTR Path) {
  return StandardRequest([&](ServerConnection& c) -> short {
    short code;
    const auto& r = SendHandle(c, proto::kFindNextVariable, FindHandle, &code);
    if (code == vardOK) CopyVariable(r, VarName, Path);
    return code;
  });
}

void __stdcall FindVariableClose(long FindHandle) {
  StandardRequest([&](ServerConnection& c) -> short {
    short code;
    SendHandle(c, proto::kFindVariableClose, FindHandle, &code);
    return code;
  });
}

// The wide forms run the ANSI export into buffers as wide as the reply
// fields (so that no reply can overrun them) and convert with size 256.
// Their guard only keeps a faulting caller's buffer from ending the process;
// the answers are the ANSI export's.
long __stdcall FindFirstVariableW(short Filter, LPWSTR VarName, LPWSTR Path) {
  long handle = 0;
  link::SehGuard([&] {
    char name[32], path[sizeof(EnumerationRequest::Path)];
    handle = FindFirstVariable(Filter, name, path);
    if (handle != 0) {
      link::AnsiToWide(name, VarName, 256);
      link::AnsiToWide(path, Path, 256);
    }
  });
  return handle;
}

short __stdcall FindNextVariableW(long FindHandle, LPWSTR VarName, LPWSTR Path) {
  return link::WideFrame([&] {
    char name[32], path[sizeof(EnumerationRequest::Path)];
    const short code = FindNextVariable(FindHandle, name, path);
    if (code == vardOK) {
      link::AnsiToWide(name, VarName, 256);
      link::AnsiToWide(path, Path, 256);
    }
    return code;
  });
}

short __stdcall GetVariablesInPath(LPCSTR PathPrefix, short Filter, LPSTR Result,
                                   short BufferSize) {
  return StandardRequest([&](ServerConnection& c) -> short {
    const short code = SendPathList(c, PathPrefix, Filter, BufferSize);
    if (code != vardOK) return code;
    // Exactly BufferSize bytes, whatever the length of the list.
    if (BufferSize < 0 || !link::SehGuard([&] {
          std::memcpy(Result, NameList(c), static_cast<std::size_t>(BufferSize));
        })) {
      return vardBufferToSmall;
    }
    return vardOK;
  });
}

// A frame of its own: converts the prefix and sends the request directly.
short __stdcall GetVariablesInPathW(LPCWSTR PathPrefix, short Filter, LPWSTR Result,
                                    short BufferSize) {
  return StandardRequest([&](ServerConnection& c) -> short {
    char prefix[256];
    link::WideToAnsi(PathPrefix, prefix, sizeof prefix);
    const short code = SendPathList(c, prefix, Filter, BufferSize);
    if (code == vardOK) ConvertNameList(NameList(c), Result, BufferSize);
    return code;
  });
}

}  // extern "C"
