#include "signal/fft.h"

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

#include "signal/trig.h"

#if defined(__SSE2__)
#include <immintrin.h>
#define VARD_FFT_SSE2 1
#endif
#if defined(__x86_64__) && defined(__GNUC__) && !defined(_WIN32)
// 256-bit kernels (AVX2), picked at run time on x86-64. The Windows builds
// keep to SSE2, the instruction set the 32-bit one is compiled for.
#define VARD_FFT_AVX 1
#endif

#define VARD_INLINE inline __attribute__((always_inline))

namespace vard::signal {
namespace {

using detail::FftPath;

// The rotation factors of one stage: re[m], im[m] for m = 0 .. h-1.
struct Twiddles {
  const double* re;
  const double* im;
};

// The factors of stage h: (1, 0) rotated step by step by the angle base/h.
class Recurrence {
 public:
  Recurrence(double base, std::size_t h) { CosSin(base / static_cast<double>(h), c_, s_); }

  // Writes the next count factors and moves past them.
  void Fill(double* re, double* im, std::size_t count) {
    for (std::size_t m = 0; m < count; ++m) {
      re[m] = wr_;
      im[m] = wi_;
      Step();
    }
  }

  // The state from which the next factor follows: (wr, wi), written at `at`
  // or taken from it.
  void Save(double* at) const { at[0] = wr_, at[1] = wi_; }
  void Resume(const double* at) { wr_ = at[0], wi_ = at[1]; }

  // Fills count factors of each of the kN recurrences at once. Each chain of
  // dependent multiplications is as long as before, but they run side by
  // side, so their latencies overlap; every factor is the same number.
  template <int kN>
  static void FillTogether(Recurrence (&r)[kN], double* const (&re)[kN], double* const (&im)[kN],
                           std::size_t count) {
    for (std::size_t m = 0; m < count; ++m) {
      for (int j = 0; j < kN; ++j) {
        re[j][m] = r[j].wr_;
        im[j][m] = r[j].wi_;
        r[j].Step();
      }
    }
  }

 private:
  void Step() {
    const double r = wr_;
    wr_ = r * c_ - wi_ * s_;
    wi_ = wi_ * c_ + r * s_;
  }

  double c_, s_;
  double wr_ = 1.0, wi_ = 0.0;
};

// Factor tables, one per direction and stage, made on first use and kept for
// the life of the process: a stage's factors depend only on h and the
// direction, so a table serves every transform length. Without them each
// call would rerun the recurrence, a chain of dependent multiplications
// (h steps for stage h) that costs about as much as the butterflies of the
// last stages. Bounded: stages up to h = 2^15 only (every stage of a
// 65536-point transform), 16·h bytes each, under 1 MiB per direction in all.
constexpr int kCachedStages = 16;

// Larger stages generate their factors during the call, kChunk at a time.
// For stages up to h = 2^kRungStages/2 a table of rungs is kept instead: the
// recurrence's state at every kChunk-th factor, h/16 bytes per stage (32 KiB
// for h = 2^19, 256 KiB per direction in all). From the rungs, chunks far
// apart are generated side by side, and two stages can share a pass.
constexpr int kRungStages = 22;
constexpr std::size_t kChunk = 256;

std::atomic<double*> g_tables[2][kRungStages];

// Publishes a freshly made table in slot, without a lock: a thread that loses
// the race frees its own and uses the winner's, which holds the same numbers.
const double* Publish(std::atomic<double*>& slot, double* fresh) {
  double* table = nullptr;
  if (slot.compare_exchange_strong(table, fresh, std::memory_order_acq_rel)) return fresh;
  delete[] fresh;
  return table;
}

// Stage k's factors (k < kCachedStages) or rungs (up to kRungStages), made on
// first use; nullptr beyond, or when memory is short: callers then generate
// the factors from the start of the stage.
const double* CachedStage(bool inverse, int k) {
  if (k >= kRungStages) return nullptr;
  std::atomic<double*>& slot = g_tables[inverse][k];
  if (const double* table = slot.load(std::memory_order_acquire)) return table;
  const std::size_t h = std::size_t{1} << k;
  Recurrence rot(inverse ? -Pi() : Pi(), h);
  if (k < kCachedStages) {
    double* fresh = new (std::nothrow) double[2 * h];
    if (!fresh) return nullptr;
    rot.Fill(fresh, fresh + h, h);
    return Publish(slot, fresh);
  }
  double* fresh = new (std::nothrow) double[2 * (h / kChunk)];
  if (!fresh) return nullptr;
  double unused[2][kChunk];
  for (std::size_t j = 0; j < h / kChunk; ++j) {
    rot.Save(fresh + 2 * j);
    rot.Fill(unused[0], unused[1], kChunk);
  }
  return Publish(slot, fresh);
}

// Frees the tables when the library is unloaded, so loading and unloading it
// repeatedly does not leak them. No transform can be running by then.
struct TableRelease {
  ~TableRelease() {
    for (auto& direction : g_tables) {
      for (std::atomic<double*>& slot : direction) delete[] slot.exchange(nullptr);
    }
  }
} g_tableRelease;

// Cache blocking of the stages (see Run in fft_kernels.inc): 2^11 points are
// 16 KiB of floats, half the L1 data cache; 2^16 points are 512 KiB, half a
// typical L2.
constexpr int kL1BlockLog = 11;
constexpr int kL2BlockLog = 16;

struct Plan {
  std::size_t n;
  int log2n;
  bool inverse;
  double base;          // +pi forward, -pi inverse
  Twiddles stage[31];   // stage[k] for h = 2^k; re == nullptr when not tabled
  const double* rungs[31];  // rungs of stage k (see CachedStage), or nullptr
  Twiddles small[4];    // stages h = 2, 4, 8 (small[1..3]), always present
  double local[28];     // their factors when not tabled
};

std::uint32_t Reverse(std::uint32_t x, int bits) {
  if (bits == 0) return 0;
  x = ((x >> 1) & 0x55555555u) | ((x & 0x55555555u) << 1);
  x = ((x >> 2) & 0x33333333u) | ((x & 0x33333333u) << 2);
  x = ((x >> 4) & 0x0F0F0F0Fu) | ((x & 0x0F0F0F0Fu) << 4);
  x = ((x >> 8) & 0x00FF00FFu) | ((x & 0x00FF00FFu) << 8);
  x = (x >> 16) | (x << 16);
  return x >> (32 - bits);
}

// Bit-reversal permutation for short transforms (longer ones fuse it with
// the first stages).
void NaiveReverse(float* re, float* im, std::size_t n, int log2n) {
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t j = Reverse(static_cast<std::uint32_t>(i), log2n);
    if (i < j) {
      std::swap(re[i], re[j]);
      std::swap(im[i], im[j]);
    }
  }
}

// One element at a time, in the same order as the definition; for short
// transforms and for processors without SSE2.
void ScalarStages(float* re, float* im, const Plan& plan) {
  const std::size_t n = plan.n;
  for (int k = 0; k < plan.log2n; ++k) {
    const std::size_t h = std::size_t{1} << k;
    Recurrence rot(plan.base, h);
    double wr, wi;
    for (std::size_t m = 0; m < h; ++m) {
      rot.Fill(&wr, &wi, 1);
      for (std::size_t a = m; a < n; a += 2 * h) {
        const std::size_t b = a + h;
        const double tr = wr * re[b] + wi * im[b];
        const double ti = wr * im[b] - wi * re[b];
        re[b] = static_cast<float>(re[a] - tr);
        im[b] = static_cast<float>(im[a] - ti);
        re[a] = static_cast<float>(re[a] + tr);
        im[a] = static_cast<float>(im[a] + ti);
      }
    }
  }
  if (plan.inverse) {
    const double scale = static_cast<double>(n);
    for (std::size_t i = 0; i < n; ++i) {
      re[i] = static_cast<float>(re[i] / scale);
      im[i] = static_cast<float>(im[i] / scale);
    }
  }
}

#if VARD_FFT_SSE2
namespace sse2 {

// Four lanes as two SSE2 registers.
struct V {
  __m128d lo, hi;
};
VARD_INLINE V operator+(const V& a, const V& b) {
  return {_mm_add_pd(a.lo, b.lo), _mm_add_pd(a.hi, b.hi)};
}
VARD_INLINE V operator-(const V& a, const V& b) {
  return {_mm_sub_pd(a.lo, b.lo), _mm_sub_pd(a.hi, b.hi)};
}
VARD_INLINE V operator*(const V& a, const V& b) {
  return {_mm_mul_pd(a.lo, b.lo), _mm_mul_pd(a.hi, b.hi)};
}
VARD_INLINE V FromF(__m128 x) { return {_mm_cvtps_pd(x), _mm_cvtps_pd(_mm_movehl_ps(x, x))}; }
VARD_INLINE __m128 ToF(const V& v) { return _mm_movelh_ps(_mm_cvtpd_ps(v.lo), _mm_cvtpd_ps(v.hi)); }
VARD_INLINE V LoadD(const double* p) { return {_mm_loadu_pd(p), _mm_loadu_pd(p + 2)}; }
VARD_INLINE V SetD(double a, double b, double c, double d) {
  return {_mm_setr_pd(a, b), _mm_setr_pd(c, d)};
}
VARD_INLINE V Splat(double x) { return {_mm_set1_pd(x), _mm_set1_pd(x)}; }
using VF = __m128;
constexpr int kFloatLanes = 4;
VARD_INLINE VF LoadF(const float* p) { return _mm_loadu_ps(p); }
VARD_INLINE void StoreF(float* p, VF x) { _mm_store_ps(p, x); }

// No short rounding here (see the AVX kernels): SSE2 lacks the unsigned
// comparisons its checks need, and this path rounds through float always.
constexpr bool kShortRound = false;
VARD_INLINE V ShortRound(const V& v) { return v; }
struct InputRange {
  void Take(VF, VF, VF, VF) {}
  void Take(const InputRange&) {}
  bool Small() const { return false; }
};
template <int kN>
VARD_INLINE bool InRange(const float* const (&)[kN]) {
  return false;
}

#include "signal/fft_kernels.inc"

}  // namespace sse2
#endif

#if VARD_FFT_AVX
#pragma GCC push_options
#pragma GCC target("avx2")
namespace avx {

using V = __m256d;
VARD_INLINE V FromF(__m128 x) { return _mm256_cvtps_pd(x); }
VARD_INLINE __m128 ToF(const V& v) { return _mm256_cvtpd_ps(v); }
VARD_INLINE V LoadD(const double* p) { return _mm256_loadu_pd(p); }
VARD_INLINE V SetD(double a, double b, double c, double d) { return _mm256_setr_pd(a, b, c, d); }
VARD_INLINE V Splat(double x) { return _mm256_set1_pd(x); }
using VF = __m256;
constexpr int kFloatLanes = 8;
VARD_INLINE VF LoadF(const float* p) { return _mm256_loadu_ps(p); }
VARD_INLINE void StoreF(float* p, VF x) { _mm256_storeu_ps(p, x); }
VARD_INLINE VF FAdd(VF a, VF b) { return _mm256_add_ps(a, b); }
VARD_INLINE VF FSub(VF a, VF b) { return _mm256_sub_ps(a, b); }
VARD_INLINE VF FMul(VF a, VF b) { return _mm256_mul_ps(a, b); }

// Short rounding: a double rounded to float precision without leaving the
// register, by Veltkamp's splitting (p = x·(2^29 + 1); x rounded = p - (p -
// x)): three double operations instead of a narrowing and a widening, the
// conversions being what the butterflies wait for. It gives the float
// rounding (to nearest, ties to even) of every x with 2^-126 <= |x| <
// 2^128, and of zero; not below (where float keeps fewer digits) nor above.
// The kernels use it between the two stages of a pass only where that is
// certain (see TwoStages):
//  - the transform's input is finite and below 2^95 in magnitude
//    (InputRange), so no value of up to 30 stages, whose magnitudes at most
//    double per stage, reaches 2^127;
//  - the block's inputs are all nonzero and at least 2^-64 in magnitude
//    (InRange). Then a first-stage result a ± w·b (a, b floats, |w| = 1)
//    is zero or at least 2^-117: the product sum t is zero or at least 2^-118
//    (when its two products cancel they are alike in size, above 2^-66, so
//    t is a multiple of 2^-118; else it keeps half the larger, whose factor
//    component is above 0.7); and if t exceeds |a|/2 the result is a
//    multiple of 2^-87 (a's last digit) or of 2^-117 (t's).
// Zeros are left out of the fast case only to keep its test to two
// operations.
constexpr bool kShortRound = true;
VARD_INLINE V ShortRound(const V& x) {
  const V p = _mm256_mul_pd(x, _mm256_set1_pd(536870913.0));
  return _mm256_sub_pd(p, _mm256_sub_pd(p, x));
}

// Twice a float's bit pattern: the sign drops out, and as unsigned integers
// these order the magnitudes, zero lowest and NaN highest.
VARD_INLINE __m256i Magnitude(VF x) {
  const __m256i b = _mm256_castps_si256(x);
  return _mm256_add_epi32(b, b);
}
VARD_INLINE __m256i Magnitude(const float* p) { return Magnitude(_mm256_loadu_ps(p)); }

// The largest input magnitude, as the bit-reversal pass reads the input:
// four vectors at a time, or another range.
struct InputRange {
  __m256i top;
  InputRange() : top(_mm256_setzero_si256()) {}
  void Take(VF a, VF b, VF c, VF d) {
    const __m256i ab = _mm256_max_epu32(Magnitude(a), Magnitude(b));
    const __m256i cd = _mm256_max_epu32(Magnitude(c), Magnitude(d));
    top = _mm256_max_epu32(top, _mm256_max_epu32(ab, cd));
  }
  void Take(const InputRange& other) { top = _mm256_max_epu32(top, other.top); }
  bool Small() const {  // every input finite and at most 2^95
    const __m256i limit = _mm256_set1_epi32(static_cast<int>((127u + 95u) << 24));
    return _mm256_movemask_epi8(_mm256_cmpeq_epi32(_mm256_max_epu32(top, limit), limit)) == -1;
  }
};

// Whether the floats of the runs of eight at runs[] are all nonzero and at
// least 2^-64 in magnitude.
template <int kN>
VARD_INLINE bool InRange(const float* const (&runs)[kN]) {
  __m256i low = Magnitude(runs[0]);
  for (int j = 1; j < kN; ++j) low = _mm256_min_epu32(low, Magnitude(runs[j]));
  const __m256i limit = _mm256_set1_epi32(static_cast<int>((127u - 64u) << 24));
  return _mm256_movemask_epi8(_mm256_cmpeq_epi32(_mm256_max_epu32(low, limit), low)) == -1;
}

#include "signal/fft_kernels.inc"

}  // namespace avx
#pragma GCC pop_options
#endif

bool HasAvx() {
#if VARD_FFT_AVX
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
#else
  return false;
#endif
}

FftPath Resolve(FftPath path) {
  if (path != FftPath::kAuto && path != FftPath::kUncached) return path;
#if VARD_FFT_SSE2
  return HasAvx() ? FftPath::kAvx : FftPath::kSse2;
#else
  return FftPath::kScalar;
#endif
}

// Below this the vector kernels' setup costs more than it saves.
constexpr std::size_t kVectorMin = 16;

std::int16_t Transform(FftPath path, float* re, float* im, std::int32_t length,
                       std::int16_t direction) {
  if (length <= 0) return vardOK;
  const std::size_t n = static_cast<std::size_t>(length);
  if (n > 2 && (n & (n - 1)) != 0) return vardInvalidParameter;

  Plan plan;
  plan.n = n;
  plan.log2n = 0;
  while ((std::size_t{1} << plan.log2n) < n) ++plan.log2n;
  plan.inverse = direction < 0;
  plan.base = plan.inverse ? -Pi() : Pi();

  const FftPath kernels = Resolve(n < kVectorMin ? FftPath::kScalar : path);
  if (kernels != FftPath::kScalar) {
    // Tables first: allocation and publication are over before the caller's
    // buffers are touched, so a fault in those buffers, which abandons this
    // frame, cannot interrupt them.
    const bool cached = path != FftPath::kUncached;
    for (int k = 0; k < plan.log2n; ++k) {
      const double* t = cached ? CachedStage(plan.inverse, k) : nullptr;
      const bool rungs = k >= kCachedStages;
      const double* table = rungs ? nullptr : t;
      plan.stage[k] = Twiddles{table, table ? table + (std::size_t{1} << k) : nullptr};
      plan.rungs[k] = rungs ? t : nullptr;
    }
    double* local = plan.local;
    for (int k = 1; k <= 3; ++k) {
      plan.small[k] = plan.stage[k];
      if (plan.small[k].re) continue;
      const std::size_t h = std::size_t{1} << k;
      Recurrence(plan.base, h).Fill(local, local + h, h);
      plan.small[k] = Twiddles{local, local + h};
      local += 2 * h;
    }
  }

  switch (kernels) {
#if VARD_FFT_AVX
    case FftPath::kAvx:
      avx::Run(re, im, plan);
      break;
#endif
#if VARD_FFT_SSE2
    case FftPath::kSse2:
      sse2::Run(re, im, plan);
      break;
#endif
    default:
      NaiveReverse(re, im, n, plan.log2n);
      ScalarStages(re, im, plan);
      break;
  }
  return vardOK;
}

}  // namespace

std::int16_t ComplexFft(float* re, float* im, std::int32_t length, std::int16_t direction) {
  return Transform(FftPath::kAuto, re, im, length, direction);
}

namespace detail {

bool FftPathAvailable(FftPath path) {
  switch (path) {
    case FftPath::kSse2:
#if VARD_FFT_SSE2
      return true;
#else
      return false;
#endif
    case FftPath::kAvx:
      return HasAvx();
    default:
      return true;
  }
}

std::int16_t ComplexFftVia(FftPath path, float* re, float* im, std::int32_t length,
                           std::int16_t direction) {
  return Transform(FftPathAvailable(path) ? path : FftPath::kScalar, re, im, length, direction);
}

}  // namespace detail
}  // namespace vard::signal
