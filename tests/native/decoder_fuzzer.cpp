// libFuzzer entry for the request decoder (clang only). The first two input
// bytes pick the operation code, the rest is the start of the request block.
// A fresh, small pool per input keeps every finding reproducible from its
// input alone.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "include/vard_protocol.h"
#include "server/core/dispatch.h"
#include "server/core/pool.h"
#include "server/core/session.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vard::server;
  if (size < 2) return 0;
  const std::uint32_t opcode = data[0] | (static_cast<std::uint32_t>(data[1] & 0x7F) << 8);
  data += 2;
  size -= 2;

  Pool pool;
  {
    auto w = pool.Write();
    Variable n;
    n.name = "Num";
    n.path = "A.b";
    w.Insert(n);
    Variable s;
    s.name = "Str";
    s.kind = Kind::String;
    s.path = "A";
    w.Insert(s);
  }
  Session session;
  static std::vector<std::uint8_t> block(vard::proto::kBlockSize);
  std::memset(block.data(), 0, block.size());
  std::memcpy(block.data(), data, size < block.size() ? size : block.size());

  const std::uint32_t reply = Dispatch(pool, session, opcode, block.data());
  if (reply > 0xFFFF) std::abort();
  return 0;
}
