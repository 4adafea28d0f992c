// Saving and loading a collection of one large float waveform through the
// library and the real server, against copying a file of the same size in
// the same run.
//
//   save        CreateCollection + AddToCollection + CloseCollection (which
//               flushes the file to the disk and moves it over the target)
//   load        LoadCollection (two passes over the file: check, then build)
//   copy        CopyFileA of the saved file
//   copy+flush  the same bytes read and written 1 MiB at a time, then
//               FlushFileBuffers: a copy as durable as a save
//
// Rounds alternate the four; medians are reported in MB/s (10^6 bytes of the
// file per second). Arguments: samples (default 100 M), rounds (default 3).
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_common.h"
#include "vard32.h"

using vard::bench::Median;
using vard::bench::NowSeconds;

namespace {

constexpr char kName[] = "bench_collection";

// Writes the waveform in pieces so the client never holds all of it.
bool MakeWaveform(long samples) {
  DeleteVariable(kName);
  short h = 0;
  if (CreateWaveform(kName, vardFloat, "") != vardOK || OpenWaveform(kName, &h) != vardOK)
    return false;
  constexpr long kPiece = 1L << 22;
  std::vector<float> piece(kPiece);
  for (long first = 0; first < samples; first += kPiece) {
    const long n = samples - first < kPiece ? samples - first : kPiece;
    for (long i = 0; i < n; ++i) piece[i] = static_cast<float>((first + i) % 100003) * 0.25f;
    if (WriteWaveform(h, first, first + n - 1, piece.data()) != vardOK) return false;
  }
  return CloseWaveform(h) == vardOK;
}

bool CopyAndFlush(const std::string& from, const std::string& to) {
  HANDLE in = CreateFileA(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  HANDLE out = CreateFileA(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  const std::unique_ptr<char[]> buffer(new char[1 << 20]);
  bool ok = in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE;
  for (DWORD got = 1, put = 0; ok && got > 0;)
    ok = ReadFile(in, buffer.get(), 1 << 20, &got, nullptr) &&
         (got == 0 || (WriteFile(out, buffer.get(), got, &put, nullptr) && put == got));
  ok = ok && FlushFileBuffers(out);
  if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
  if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  return ok;
}

double FileMegabytes(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<double>(data.nFileSizeHigh) * 4294967296.0 + data.nFileSizeLow) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  const long samples = argc > 1 ? std::atol(argv[1]) : 100000000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string file = std::string(temp) + "vard_bench.vcl";
  const std::string copy = std::string(temp) + "vard_bench_copy.vcl";

  InitDataManager();
  if (!MakeWaveform(samples)) {
    std::printf("could not create the waveform\n");
    return 1;
  }
  std::vector<double> save, load, plain, durable, closing;
  double mb = 0;
  for (int round = 0; round < rounds; ++round) {
    short coll = 0;
    double t = NowSeconds();
    short rc = CreateCollection(file.c_str(), "benchmark", &coll);
    if (rc == vardOK) rc = AddToCollection(coll, kName, "", 0);
    const double added = NowSeconds();
    if (rc == vardOK) rc = CloseCollection(coll);
    save.push_back(NowSeconds() - t);
    closing.push_back(NowSeconds() - added);
    mb = FileMegabytes(file);

    t = NowSeconds();
    const bool copied = CopyFileA(file.c_str(), copy.c_str(), FALSE);
    plain.push_back(NowSeconds() - t);
    t = NowSeconds();
    const bool flushed = CopyAndFlush(file, copy);
    durable.push_back(NowSeconds() - t);

    DeleteVariable(kName);  // loaded anew: no second waveform in the server
    t = NowSeconds();
    if (rc == vardOK) rc = LoadCollection(file.c_str(), "");
    load.push_back(NowSeconds() - t);
    if (rc != vardOK || !copied || !flushed) {
      std::printf("round %d failed: code %d, copy %d, copy+flush %d\n", round, rc, copied, flushed);
      return 1;
    }
  }
  DeleteVariable(kName);
  ExitDataManager();
  DeleteFileA(file.c_str());
  DeleteFileA(copy.c_str());

  const double copy_rate = mb / Median(plain), durable_rate = mb / Median(durable);
  std::printf("%ld float samples, a file of %.1f MB, %d rounds (medians)\n", samples, mb, rounds);
  std::printf("%-12s %10s %14s %18s\n", "", "MB/s", "/ plain copy", "/ copy+flush");
  for (const auto& [what, times] :
       {std::pair{"save", save}, {"load", load}, {"copy", plain}, {"copy+flush", durable}}) {
    const double rate = mb / Median(times);
    std::printf("%-12s %10.0f %14.2f %18.2f\n", what, rate, rate / copy_rate, rate / durable_rate);
  }
  std::printf("of the save, CloseCollection (flush and replace): %.0f ms\n",
              1000 * Median(closing));
  return 0;
}
