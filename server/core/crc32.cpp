#include "server/core/crc32.h"

#include <array>
#include <bit>
#include <cstring>

namespace vard::server {
namespace {

static_assert(std::endian::native == std::endian::little, "the sliced loop reads little-endian words");

constexpr std::uint32_t kPoly = 0xEDB88320u;
constexpr int kSlices = 16;
using Tables = std::array<std::array<std::uint32_t, 256>, kSlices>;

// Slice s of byte i: the CRC of i followed by s zero bytes, so that sixteen
// bytes are folded in with sixteen independent table look-ups.
constexpr Tables MakeTables() {
  Tables t{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ kPoly : c >> 1;
    t[0][i] = c;
  }
  for (int s = 1; s < kSlices; ++s)
    for (std::uint32_t i = 0; i < 256; ++i) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
  return t;
}
constexpr Tables kTables = MakeTables();

std::uint32_t Word(const std::uint8_t* p) {
  std::uint32_t w;
  std::memcpy(&w, p, 4);
  return w;
}

std::uint32_t Fold(const std::array<std::uint32_t, 256>* t, std::uint32_t w, int slice) {
  return t[slice + 3][w & 0xFF] ^ t[slice + 2][(w >> 8) & 0xFF] ^ t[slice + 1][(w >> 16) & 0xFF] ^
         t[slice][w >> 24];
}

// a·b modulo the polynomial, both reflected.
constexpr std::uint32_t MultiplyModP(std::uint32_t a, std::uint32_t b) noexcept {
  std::uint32_t product = 0;
  for (std::uint32_t m = 1u << 31; m != 0; m >>= 1) {
    if (a & m) product ^= b;
    b = (b & 1) ? (b >> 1) ^ kPoly : b >> 1;
  }
  return product;
}

// x^(2^k) modulo the polynomial, for every k a 64-bit byte count needs
// (8 bits per byte: k = 3 .. 66).
constexpr std::size_t kPowerCount = 67;
constexpr std::array<std::uint32_t, kPowerCount> MakePowers() {
  std::array<std::uint32_t, kPowerCount> p{};
  std::uint32_t x = 1u << 30;  // x^1
  for (auto& entry : p) {
    entry = x;
    x = MultiplyModP(x, x);
  }
  return p;
}
constexpr std::array<std::uint32_t, kPowerCount> kPowers = MakePowers();

}  // namespace

std::uint32_t Crc32Update(std::uint32_t crc, const void* data, std::size_t size) noexcept {
  const auto* t = kTables.data();
  const auto* p = static_cast<const std::uint8_t*>(data);
  std::uint32_t c = ~crc;
  for (; size >= 16; size -= 16, p += 16) {
    c = Fold(t, Word(p) ^ c, 12) ^ Fold(t, Word(p + 4), 8) ^ Fold(t, Word(p + 8), 4) ^
        Fold(t, Word(p + 12), 0);
  }
  for (; size > 0; --size) c = t[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
  return ~c;
}

std::uint32_t Crc32Combine(std::uint32_t crc_a, std::uint32_t crc_b, std::uint64_t length_b) noexcept {
  // Appending n zero bytes multiplies the register by x^(8n).
  std::uint32_t shift = 1u << 31;  // x^0
  for (int k = 3; length_b != 0; length_b >>= 1, ++k)
    if (length_b & 1) shift = MultiplyModP(kPowers[static_cast<std::size_t>(k)], shift);
  return MultiplyModP(shift, crc_a) ^ crc_b;
}

}  // namespace vard::server
