// Collections: CreateCollection, AddToCollection, CloseCollection and
// LoadCollection, one CollectionRequest each (opcodes 80 to 83). The server
// writes and reads the files; the library passes the handle through.
//
// The wide forms convert with the buffer sizes the Automation entries use
// too (PathName 256, Comment 4096 on the heap, names and Prefix 30), so each
// of those entries is its required-argument check followed by the wide form.
#include <memory>
#include <new>

#include "requests/common.h"

using namespace vard;
using namespace vard::requests;
using proto::CollectionRequest;

namespace {

// Clears the record, lets `fill` write its fields, sends the request.
template <class Fill>
short SendCollection(ServerConnection& c, std::uint32_t opcode, Fill&& fill) {
  auto& r = link::BeginRequest<CollectionRequest>(c);
  fill(r);
  return link::Send(c, opcode);
}

constexpr std::size_t kCommentBufferSize = sizeof(CollectionRequest::Comment);

}  // namespace

extern "C" {

short __stdcall CreateCollection(LPCSTR PathName, LPCSTR Comment, short* Coll) {
  return StandardRequest([&](ServerConnection& c) -> short {
    // Tested before anything is sent: the server would otherwise create a
    // collection whose handle the caller can never learn.
    if (Coll == nullptr) return vardCollInvalidParameter;
    short code = SendCollection(c, proto::kCreateCollection, [&](CollectionRequest& r) {
      link::PutText(r.PathName, PathName);
      link::PutText(r.Comment, Comment);
    });
    // Whatever the reply: a server that wrote nothing there leaves 0.
    *Coll = reinterpret_cast<const CollectionRequest*>(c.BlockView())->Coll;
    return code;
  });
}

short __stdcall CreateCollectionW(LPCWSTR PathName, LPCWSTR Comment, short* Coll) {
  return link::WideFrame([&]() -> short {
    const std::unique_ptr<char[]> comment(new (std::nothrow) char[kCommentBufferSize]);
    if (!comment) return vardBufferToSmall;
    link::AnsiText<256> path(PathName);
    link::WideToAnsi(Comment, comment.get(), kCommentBufferSize);
    return CreateCollection(path, comment.get(), Coll);
  });
}

short __stdcall AddToCollection(short Coll, LPCSTR VarName, LPCSTR Name, short Options) {
  return StandardRequest([&](ServerConnection& c) {
    return SendCollection(c, proto::kAddToCollection, [&](CollectionRequest& r) {
      r.Coll = Coll;
      link::PutText(r.VarName, VarName);
      link::PutText(r.Name, Name);
      r.Options = static_cast<std::uint16_t>(Options);
    });
  });
}

short __stdcall AddToCollectionW(short Coll, LPCWSTR VarName, LPCWSTR Name, short Options) {
  return link::WideFrame([&] {
    link::AnsiText<30> var_name(VarName);
    link::AnsiText<30> name(Name);
    return AddToCollection(Coll, var_name, name, Options);
  });
}

short __stdcall CloseCollection(short Coll) {
  return StandardRequest([&](ServerConnection& c) {
    return SendCollection(c, proto::kCloseCollection, [&](CollectionRequest& r) { r.Coll = Coll; });
  });
}

short __stdcall LoadCollection(LPCSTR PathName, LPCSTR Prefix) {
  return StandardRequest([&](ServerConnection& c) {
    return SendCollection(c, proto::kLoadCollection, [&](CollectionRequest& r) {
      link::PutText(r.PathName, PathName);
      link::PutText(r.Prefix, Prefix);
    });
  });
}

short __stdcall LoadCollectionW(LPCWSTR PathName, LPCWSTR Prefix) {
  return link::WideFrame([&] {
    link::AnsiText<256> path(PathName);
    link::AnsiText<30> prefix(Prefix);
    return LoadCollection(path, prefix);
  });
}

}  // extern "C"
