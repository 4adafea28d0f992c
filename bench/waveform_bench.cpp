// Sample transfers through the library and the real server, against the bare
// transport moving the same bytes in the same chunks: the same registered
// message and 64 KiB block, sent to a trivial window of another process that
// only copies into or out of the sample area.
//
//   GetWaveformData  10 M floats server -> client, 8084 per request
//   ReadWaveform     10 M floats server -> client, 16168 per request
//   WriteWaveform    10 M floats client -> server, 16168 per request
//
// Each round runs every transfer once, bare and library alternating; the
// medians over the rounds and their ratios are reported. MB are 10^6 bytes of
// samples.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/bench_common.h"
#include "vard32.h"

using vard::bench::BareTransport;
using vard::bench::Median;
using vard::bench::NowSeconds;

namespace {

constexpr long kReadChunk = 32336 / 4;  // floats per GetWaveformData request
constexpr long kBulkChunk = 64674 / 4;  // floats per ReadWaveform / WriteWaveform request
constexpr char kName[] = "bench_wave";

// The bare transport's share of each transfer: per chunk one round trip in
// which the trivial server copies, and the client's own copy.
void BareToClient(const BareTransport& bare, long samples, long chunk, float* out) {
  const unsigned char* area = bare.View() + 852;
  for (long first = 0; first < samples; first += chunk) {
    const long n = samples - first < chunk ? samples - first : chunk;
    bare.RoundTrip(n * 4);
    std::memcpy(out + first, area, static_cast<std::size_t>(n) * 4);
  }
}

void BareToServer(const BareTransport& bare, long samples, long chunk, const float* in) {
  unsigned char* area = bare.View() + 852;
  for (long first = 0; first < samples; first += chunk) {
    const long n = samples - first < chunk ? samples - first : chunk;
    std::memcpy(area, in + first, static_cast<std::size_t>(n) * 4);
    bare.RoundTripTakingSamples(n * 4);
  }
}

struct Result {
  const char* what;
  std::vector<double> bare, library;  // MB/s per round
};

}  // namespace

int main(int argc, char** argv) {
  const long samples = argc > 1 ? std::atol(argv[1]) : 10000000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;

  BareTransport bare;
  if (!bare.Start()) {
    std::fprintf(stderr, "bare transport did not start\n");
    return 1;
  }
  std::vector<float> data(static_cast<std::size_t>(samples)), got(data.size());
  for (long i = 0; i < samples; ++i)
    data[static_cast<std::size_t>(i)] = static_cast<float>(i % 9973) * 0.25f;

  InitDataManager();
  DeleteVariable(kName);
  short writer = 0, src = 0;
  if (CreateWaveform(kName, vardFloat, "bench") != vardOK ||
      OpenWaveform(kName, &writer) != vardOK ||
      WriteWaveform(writer, 0, samples - 1, data.data()) != vardOK ||
      CloseWaveform(writer) != vardOK || LockWaveform(kName, &src) != vardOK ||
      OpenWaveform(kName, &writer) != vardOK) {
    std::fprintf(stderr, "setting up %s failed: is the real server there?\n", kName);
    return 1;
  }

  // A fresh waveform written front to back once: what an acquisition program
  // does, new storage included. Not part of the comparison.
  double fresh = 0;
  {
    const char* name = "bench_fresh";
    short h = 0;
    DeleteVariable(name);
    CreateWaveform(name, vardFloat, "bench");
    OpenWaveform(name, &h);
    const double t0 = NowSeconds();
    const short rc = WriteWaveform(h, 0, samples - 1, data.data());
    fresh = samples * 4e-6 / (NowSeconds() - t0);
    CloseWaveform(h);
    DeleteVariable(name);
    if (rc != vardOK) return 1;
  }

  Result results[] = {
      {"GetWaveformData", {}, {}}, {"ReadWaveform", {}, {}}, {"WriteWaveform", {}, {}}};
  const double mb = samples * 4e-6;
  bool exact = true;
  // Round 0 warms both paths and is not counted.
  for (int r = 0; r <= rounds; ++r) {
    double t[7];
    t[0] = NowSeconds();
    BareToClient(bare, samples, kReadChunk, got.data());
    t[1] = NowSeconds();
    const short a = GetWaveformData(src, 0, 0, samples - 1, 1, vardFloat, got.data());
    t[2] = NowSeconds();
    exact = exact && a == vardOK && std::memcmp(got.data(), data.data(), data.size() * 4) == 0;
    BareToClient(bare, samples, kBulkChunk, got.data());
    t[3] = NowSeconds();
    const short b = ReadWaveform(writer, 0, samples - 1, got.data());
    t[4] = NowSeconds();
    exact = exact && b == vardOK && std::memcmp(got.data(), data.data(), data.size() * 4) == 0;
    BareToServer(bare, samples, kBulkChunk, data.data());
    t[5] = NowSeconds();
    const short c = WriteWaveform(writer, 0, samples - 1, data.data());
    t[6] = NowSeconds();
    exact = exact && c == vardOK;
    if (r == 0) continue;
    for (int i = 0; i < 3; ++i) {
      results[i].bare.push_back(mb / (t[2 * i + 1] - t[2 * i]));
      results[i].library.push_back(mb / (t[2 * i + 2] - t[2 * i + 1]));
    }
  }
  CloseWaveform(writer);
  UnlockWaveform(src);
  DeleteVariable(kName);
  ExitDataManager();

  std::printf("%ld float samples (%.0f MB) per transfer, median of %d rounds\n", samples, mb,
              rounds);
  std::printf("%-16s %12s %12s %8s\n", "", "bare MB/s", "library MB/s", "ratio");
  for (const Result& res : results) {
    const double b = Median(res.bare), l = Median(res.library);
    std::printf("%-16s %12.0f %12.0f %8.3f\n", res.what, b, l, l / b);
  }
  std::printf("WriteWaveform into a new waveform (storage allocated as it grows): %.0f MB/s\n",
              fresh);
  std::printf("target: ratio >= 0.9; data %s\n", exact ? "exact" : "DIFFERS");
  return exact ? 0 : 1;
}
