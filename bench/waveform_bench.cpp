// Sample transfers through the library and the real server, against the bare
// transport moving the same bytes in the same chunks: the same registered
// message and 64 KiB block, sent to a trivial window of another process that
// copies each chunk between its own store of the same samples and the
// block's sample area, as the server does, and nothing else.
//
//   GetWaveformData  10 M floats server -> client, 8084 per request
//   ReadWaveform     10 M floats server -> client, 16168 per request
//   WriteWaveform    10 M floats client -> server, 16168 per request
//
// Each round runs every transfer once through each path; which path goes
// first alternates from round to round. Only the transfers are timed: the
// checks of what arrived come after. The medians over the rounds and their
// ratios are reported. MB are 10^6 bytes of samples.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/bench_common.h"
#include "include/vard_protocol.h"
#include "vard32.h"

using vard::bench::BareTransport;
using vard::bench::Median;
using vard::bench::NowSeconds;

namespace {

// Floats per request, as the library sends them: GetWaveformData fills half
// the sample area, ReadWaveform and WriteWaveform all of it.
constexpr long kReadChunk = vard::proto::kSampleAreaSize / 8;
constexpr long kBulkChunk = vard::proto::kSampleAreaSize / 4;
constexpr char kName[] = "bench_wave";

// The bare transport's share of a transfer: per chunk one round trip in which
// the trivial server copies, and the client's own copy. False if the server
// did not copy a chunk.
bool BareToClient(const BareTransport& bare, long samples, long chunk, float* out) {
  const unsigned char* area = bare.View() + vard::proto::kSampleAreaOffset;
  for (long first = 0; first < samples; first += chunk) {
    const long n = samples - first < chunk ? samples - first : chunk;
    if (!bare.Transfer(vard::bench::kEchoToClient, first, n)) return false;
    std::memcpy(out + first, area, static_cast<std::size_t>(n) * 4);
  }
  return true;
}

bool BareToServer(const BareTransport& bare, long samples, long chunk, const float* in) {
  unsigned char* area = bare.View() + vard::proto::kSampleAreaOffset;
  for (long first = 0; first < samples; first += chunk) {
    const long n = samples - first < chunk ? samples - first : chunk;
    std::memcpy(area, in + first, static_cast<std::size_t>(n) * 4);
    if (!bare.Transfer(vard::bench::kEchoToServer, first, n)) return false;
  }
  return true;
}

// Seconds taken by body(); ok is cleared when body() reports a failure.
template <class Body>
double Timed(bool& ok, Body body) {
  const double t0 = NowSeconds();
  ok = body() && ok;
  return NowSeconds() - t0;
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
  for (long i = 0; i < samples; ++i) {
    data[static_cast<std::size_t>(i)] = vard::bench::SampleValue(i);
  }
  const std::size_t bytes = data.size() * sizeof(float);

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
  bool ok = true;
  // Both paths of one transfer, in the given order. A read starts from a
  // cleared buffer and is checked after its timing ends.
  auto pair = [&](Result& result, bool libraryFirst, auto barePath, auto libraryPath,
                  bool checkReads, bool counted) {
    double tb = 0, tl = 0;
    for (int turn = 0; turn < 2; ++turn) {
      if (checkReads) std::memset(got.data(), 0, bytes);
      if ((turn == 0) == libraryFirst) {
        tl = Timed(ok, libraryPath);
      } else {
        tb = Timed(ok, barePath);
      }
      if (checkReads) ok = ok && std::memcmp(got.data(), data.data(), bytes) == 0;
    }
    if (!counted) return;
    result.bare.push_back(mb / tb);
    result.library.push_back(mb / tl);
  };
  // Round 0 warms both paths and is not counted.
  for (int r = 0; r <= rounds; ++r) {
    const bool libraryFirst = r % 2 == 1;
    float* const out = got.data();
    const float* const in = data.data();
    const long last = samples - 1;
    pair(results[0], libraryFirst, [&] { return BareToClient(bare, samples, kReadChunk, out); },
         [&] { return GetWaveformData(src, 0, 0, last, 1, vardFloat, out) == vardOK; }, true, r > 0);
    pair(results[1], libraryFirst, [&] { return BareToClient(bare, samples, kBulkChunk, out); },
         [&] { return ReadWaveform(writer, 0, last, out) == vardOK; }, true, r > 0);
    pair(results[2], libraryFirst, [&] { return BareToServer(bare, samples, kBulkChunk, in); },
         [&] { return WriteWaveform(writer, 0, last, in) == vardOK; }, false, r > 0);
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
  std::printf("target: ratio >= 0.9; data %s\n", ok ? "exact" : "DIFFERS");
  return ok ? 0 : 1;
}
