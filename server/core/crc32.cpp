#include "server/core/crc32.h"

#include <array>
#include <bit>
#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#include <emmintrin.h>
#include <wmmintrin.h>
#define VARD_CRC_CLMUL 1
#endif

namespace vard::server {
namespace {

static_assert(std::endian::native == std::endian::little,
              "the sliced loop reads little-endian words");

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

#if VARD_CRC_CLMUL
// Folding with carry-less multiplication (Gopal et al., "Fast CRC Computation
// for Generic Polynomials Using PCLMULQDQ", Intel, 2009): four 128-bit lanes
// fold 64 bytes per step, then fold into one lane, then a Barrett reduction
// to 32 bits. The constants are x^k mod P for the reflected polynomial, from
// that paper. `c` is the register (not inverted); size >= 64, a multiple of 16.
#define VARD_CLMUL __attribute__((target("pclmul,sse2")))

// a·k (low halves) + a·k (high halves) + next: one fold of 128 bits.
VARD_CLMUL inline __m128i Fold128(__m128i a, __m128i k, __m128i next) {
  return _mm_xor_si128(
      _mm_xor_si128(_mm_clmulepi64_si128(a, k, 0x00), _mm_clmulepi64_si128(a, k, 0x11)), next);
}

VARD_CLMUL inline __m128i Load(const std::uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

VARD_CLMUL std::uint32_t FoldClmul(std::uint32_t c, const std::uint8_t* p, std::size_t size) {
  const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);
  const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
  const __m128i k5 = _mm_set_epi64x(0, 0x0163cd6124);
  const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);
  const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
  __m128i x1 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(c)));
  __m128i x2 = Load(p + 16), x3 = Load(p + 32), x4 = Load(p + 48);
  for (p += 64, size -= 64; size >= 64; p += 64, size -= 64) {
    x1 = Fold128(x1, k1k2, Load(p));
    x2 = Fold128(x2, k1k2, Load(p + 16));
    x3 = Fold128(x3, k1k2, Load(p + 32));
    x4 = Fold128(x4, k1k2, Load(p + 48));
  }
  x1 = Fold128(Fold128(Fold128(x1, k3k4, x2), k3k4, x3), k3k4, x4);
  for (; size >= 16; p += 16, size -= 16) x1 = Fold128(x1, k3k4, Load(p));
  // 128 bits to 64, then to 32, then Barrett's reduction.
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k3k4, 0x10));
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 4),
                     _mm_clmulepi64_si128(_mm_and_si128(x1, low32), k5, 0x00));
  __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), poly, 0x10);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), poly, 0x00);
  return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(_mm_xor_si128(x1, t), 4)));
}

bool HasClmul() {
  static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
  return has;
}
#endif

}  // namespace

std::uint32_t Crc32Update(std::uint32_t crc, const void* data, std::size_t size) noexcept {
  const auto* t = kTables.data();
  const auto* p = static_cast<const std::uint8_t*>(data);
  std::uint32_t c = ~crc;
#if VARD_CRC_CLMUL
  if (size >= 64 && HasClmul()) {
    const std::size_t folded = size & ~std::size_t{15};
    c = FoldClmul(c, p, folded);
    p += folded;
    size -= folded;
  }
#endif
  for (; size >= 16; size -= 16, p += 16) {
    c = Fold(t, Word(p) ^ c, 12) ^ Fold(t, Word(p + 4), 8) ^ Fold(t, Word(p + 8), 4) ^
        Fold(t, Word(p + 12), 0);
  }
  for (; size > 0; --size) c = t[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
  return ~c;
}

std::uint32_t Crc32Combine(std::uint32_t crc_a, std::uint32_t crc_b,
                           std::uint64_t length_b) noexcept {
  // Appending n zero bytes multiplies the register by x^(8n).
  std::uint32_t shift = 1u << 31;  // x^0
  for (int k = 3; length_b != 0; length_b >>= 1, ++k)
    if (length_b & 1) shift = MultiplyModP(kPowers[static_cast<std::size_t>(k)], shift);
  return MultiplyModP(shift, crc_a) ^ crc_b;
}

}  // namespace vard::server
