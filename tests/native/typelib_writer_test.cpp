// The type-library writer: the hashes, the layout and what it refuses. How
// the platform reads the written library is the type-library test under
// Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "automation/typelib_table.h"
#include "automation/typelib_writer.h"

namespace {

namespace tlb = vard::tlb;

// Hashes as the platform computes them (LHashValOfNameSys, locale 0x409).
TEST(TypeLibWriter, HashesNamesAsThePlatform) {
  const struct {
    const char* name;
    std::uint32_t hash;
  } known[] = {{"VARD32", 0x00106151},
               {"VardAPI", 0x0010AB22},
               {"vardReturnCode", 0x0010FDC2},
               {"GetWaveformDataShort", 0x0010C44A},
               {"WindowYW", 0x0010816B},
               {"wy_09", 0x00101D6E},
               {"a", 0x00101058},
               {"Z", 0x00101071}};
  for (const auto& k : known) {
    EXPECT_EQ(tlb::NameHash(tlb::SysKind::Win32, k.name), k.hash) << k.name;
    EXPECT_EQ(tlb::NameHash(tlb::SysKind::Win64, k.name), k.hash) << k.name;
  }
}

std::int32_t IntAt(const std::vector<std::uint8_t>& b, std::size_t at) {
  std::int32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}

// The segments follow each other inside the file, every type's member block
// lies inside it, and the two platform kinds differ only in the header's
// platform nibble.
TEST(TypeLibWriter, LayoutIsConsistent) {
  const auto w32 = tlb::WriteTypeLib(tlb::table::kLibrary, tlb::SysKind::Win32);
  const auto w64 = tlb::WriteTypeLib(tlb::table::kLibrary, tlb::SysKind::Win64);
  ASSERT_EQ(w32.size(), w64.size());
  for (std::size_t i = 0; i < w32.size(); ++i) {
    if (i != 0x14) ASSERT_EQ(w32[i], w64[i]) << i;
  }
  EXPECT_EQ(IntAt(w32, 0x14) & 0xF, 1);
  EXPECT_EQ(IntAt(w64, 0x14) & 0xF, 3);
  const int infos = IntAt(w32, 0x20);
  ASSERT_EQ(infos, 13);
  const std::size_t dir = 0x54 + 4 * infos;
  std::int64_t end = static_cast<std::int64_t>(dir) + 15 * 16;
  std::int64_t first_member = 0;
  for (int s = 0; s < 15; ++s) {
    const std::int32_t offset = IntAt(w32, dir + 16 * s), length = IntAt(w32, dir + 16 * s + 4);
    EXPECT_EQ(offset < 0, length == 0) << s;
    if (offset >= 0) EXPECT_LE(offset + length, static_cast<std::int64_t>(w32.size())) << s;
    if (s == 0) first_member = offset;
    if (offset >= 0) end = std::max<std::int64_t>(end, offset + length);
  }
  for (int i = 0; i < infos; ++i) {
    const std::size_t info = static_cast<std::size_t>(first_member) + 100 * i;
    const std::int32_t memoffset = IntAt(w32, info + 4);
    const std::int32_t elements = IntAt(w32, info + 0x18);
    const std::int32_t members = (elements & 0xFFFF) + (elements >> 16);
    EXPECT_EQ(memoffset, end) << i;  // blocks follow one another
    end = memoffset + 4 + IntAt(w32, memoffset) + 12 * members;
  }
  EXPECT_EQ(end, static_cast<std::int64_t>(w32.size()));
}

// Descriptions the format cannot hold are refused, not written half.
TEST(TypeLibWriter, RefusesWhatTheFormatCannotHold) {
  const tlb::Function bad_name[] = {{"Get-Type", "GetTypeTLB", 0, "", {}, {}}};
  const tlb::Function bad_enum[] = {{"F", "FTLB", 0, "", {tlb::Base::Enum, "vardNoSuchEnum"}, {}}};
  for (const tlb::Function* functions : {bad_name, bad_enum}) {
    tlb::Library lib = tlb::table::kLibrary;
    lib.functions = functions;
    lib.function_count = 1;
    EXPECT_THROW(tlb::WriteTypeLib(lib, tlb::SysKind::Win32), std::invalid_argument);
  }
}

}  // namespace
