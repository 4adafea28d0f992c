// The soak: client processes, each with several threads, run mixed
// operations on shared and private variables against the real server for a
// set time. Every value written carries its writer, a sequence number and a
// check, so every read proves it saw a whole, published value (no torn
// read), the last one its own writer published (no lost write) and, per
// writer, nothing older than it saw before (no value going backwards).
//   vard_soak run SECONDS PROCESSES THREADS   the driver: creates the shared
//       variables, starts the clients, samples the host's memory, sums up;
//       exit code 0 when nothing failed and the memory stayed flat
//   vard_soak client INDEX SECONDS THREADS    one client process
// docs/hardening.md explains the report.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "server/win/host.h"
#include "tests/windows/peer.h"
#include "vard32.h"

namespace {

enum Kind {
  kSetNumber, kGetNumber, kSetString, kGetString, kWaveWrite, kWaveRead, kRecreate, kEnumerate,
  kKinds
};
const char* const kKindNames[kKinds] = {"SetNumber",  "GetNumber", "SetString", "GetString",
                                         "wave write", "wave read", "recreate",  "enumerate"};
constexpr int kShared = 3;         // shared numbers, strings and waveforms each
constexpr int kBuckets = 480;      // latency buckets of 5% from 1 us
constexpr int kMaxReported = 20;   // failure lines per client
const double kBucketBase = std::log(1.05);

struct Histogram {
  std::uint64_t count = 0, busy = 0;
  std::vector<std::uint64_t> buckets = std::vector<std::uint64_t>(kBuckets);
  void Add(double us) {
    ++count;
    ++buckets[std::clamp(static_cast<int>(std::log(std::max(us, 1.0)) / kBucketBase), 0,
                         kBuckets - 1)];
  }
  double Percentile(double p) const {  // the bucket's upper edge, in us
    std::uint64_t seen = 0;
    for (int b = 0; b < kBuckets; ++b)
      if ((seen += buckets[b]) >= p * count) return std::exp((b + 1) * kBucketBase);
    return 0;
  }
};

// A checksum over the writer, the sequence number and the payload.
std::uint32_t Check(std::uint32_t writer, std::uint32_t seq, const std::string& payload) {
  std::uint32_t h = 2166136261u ^ writer ^ (seq * 16777619u);
  for (char c : payload) h = (h ^ static_cast<std::uint8_t>(c)) * 16777619u;
  return h;
}

double NowMicroseconds() {
  static const double per_us = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart) / 1e6;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / per_us;
}

// Numbers: writer and sequence number in one exact double.
double EncodeNumber(std::uint32_t writer, std::uint32_t seq) { return writer * 4294967296.0 + seq; }

// Waveforms: writer, sequence number and length, then samples that follow from them.
float Sample(std::uint32_t seq, long i) { return static_cast<float>((seq * 31u + i * 7u) % 1000u); }

class Client {
 public:
  Client(int process, int thread, Histogram* stats, std::mutex* stats_mutex)
      : writer_(static_cast<std::uint32_t>(process * 64 + thread + 1)),
        rng_(writer_ * 7919u),
        stats_(stats),
        stats_mutex_(stats_mutex) {
    // Victims (from 100 on) share four sets of names; each is a writer of its own.
    const int names = process < 100 ? process : 100 + (process - 100) % 4;
    const std::string stem = "sk" + std::to_string(names) + "_" + std::to_string(thread) + "_";
    number_ = stem + "n", string_ = stem + "s", wave_ = stem + "w", recreated_ = stem + "d";
  }

  void Run(DWORD until) {
    DeleteVariable(number_.c_str());  // leftovers of an interrupted run
    DeleteVariable(string_.c_str());
    DeleteVariable(wave_.c_str());
    DeleteVariable(recreated_.c_str());
    Expect(CreateNumber(number_.c_str(), EncodeNumber(writer_, 0), "", "", "soak") == vardOK,
           "create number");
    Expect(CreateString(string_.c_str(), Text(0).c_str(), "soak") == vardOK, "create string");
    Expect(CreateWaveform(wave_.c_str(), vardFloat, "soak") == vardOK, "create waveform");
    Expect(CreateNumber(recreated_.c_str(), 0, "", "", "soak") == vardOK, "create recreated");
    while (static_cast<LONG>(GetTickCount() - until) < 0) {
      Kind kind = static_cast<Kind>(rng_() % kKinds);
      if (kind == kEnumerate && rng_() % 4 != 0) kind = kGetNumber;  // a walk costs many requests
      const bool shared = rng_() % 2 == 0;
      const std::string name = shared ? Shared(kind) : Private(kind);
      const double t0 = NowMicroseconds();
      const bool busy = Do(kind, shared, name);
      const double us = NowMicroseconds() - t0;
      if (busy) {
        ++local_[kind].busy;
      } else {
        local_[kind].Add(us);
      }
    }
    std::lock_guard lock(*stats_mutex_);
    for (int k = 0; k < kKinds; ++k) {
      stats_[k].count += local_[k].count;
      stats_[k].busy += local_[k].busy;
      for (int b = 0; b < kBuckets; ++b) stats_[k].buckets[b] += local_[k].buckets[b];
    }
  }

  static std::vector<std::string> failures;
  static std::mutex failures_mutex;

 private:
  std::string Shared(Kind kind) {
    const char* prefix = kind <= kGetNumber ? "soak_n" : kind <= kGetString ? "soak_s" : "soak_w";
    return prefix + std::to_string(rng_() % kShared);
  }
  const std::string& Private(Kind kind) const {
    return kind <= kGetNumber ? number_ : kind <= kGetString ? string_ : wave_;
  }

  std::string Text(std::uint32_t seq) {
    std::string payload(rng_() % 200, 'a');
    for (char& c : payload) c = static_cast<char>('a' + rng_() % 26);
    char head[40];
    std::snprintf(head, sizeof head, "%u:%u:%08x:", writer_, seq, Check(writer_, seq, payload));
    return head + payload;
  }

  void Expect(bool ok, const std::string& what) {
    if (ok) return;
    std::lock_guard lock(failures_mutex);
    failures.push_back("writer " + std::to_string(writer_) + ": " + what);
  }

  // A value of `writer` numbered `seq` was read from `name`: it must be the
  // last one this thread wrote (private), or no older than the last one
  // this thread saw of that writer there (shared).
  void Saw(const std::string& name, bool shared, std::uint32_t writer, std::uint32_t seq) {
    if (!shared) {
      Expect(writer == writer_ && seq == seq_[name], name + ": not the last value written");
      return;
    }
    std::uint32_t& last = seen_[name][writer];
    Expect(seq >= last, name + ": a value went backwards");
    last = std::max(last, seq);
  }

  // One operation; true when it found the variable busy (a shared waveform
  // open for writing elsewhere), which is no failure.
  bool Do(Kind kind, bool shared, const std::string& name) {
    const char* n = name.c_str();
    switch (kind) {
      case kSetNumber: {
        const std::uint32_t seq = ++seq_[name];
        Expect(SetNumber(n, EncodeNumber(writer_, seq)) == vardOK, name + ": SetNumber");
        return false;
      }
      case kGetNumber: {
        double v = -1;
        if (GetNumber(n, &v) != vardOK) return Expect(false, name + ": GetNumber"), false;
        const auto writer = static_cast<std::uint32_t>(v / 4294967296.0);
        Expect(v == EncodeNumber(writer, static_cast<std::uint32_t>(v - writer * 4294967296.0)),
               name + ": not a number written");
        Saw(name, shared, writer, static_cast<std::uint32_t>(v - writer * 4294967296.0));
        return false;
      }
      case kSetString: {
        const std::uint32_t seq = ++seq_[name];
        Expect(SetString(n, Text(seq).c_str()) == vardOK, name + ": SetString");
        return false;
      }
      case kGetString: {
        char text[256] = {};
        if (GetString(n, text, sizeof text) != vardOK) return Expect(false, name + ": GetString"), false;
        unsigned writer = 0, seq = 0, check = 0;
        int used = 0;
        if (std::sscanf(text, "%u:%u:%x:%n", &writer, &seq, &check, &used) != 3 || used == 0)
          return Expect(false, name + ": a torn string"), false;
        Expect(Check(writer, seq, text + used) == check, name + ": a torn string");
        Saw(name, shared, writer, seq);
        return false;
      }
      case kWaveWrite: {
        short h = 0;
        const short rc = OpenWaveform(n, &h);
        if (shared && rc == vardProcNotAllowed) return true;
        if (rc != vardOK) return Expect(false, name + ": OpenWaveform"), false;
        const std::uint32_t seq = ++seq_[name];
        const long length = 3 + static_cast<long>(rng_() % 30000);
        std::vector<float> samples(length);
        for (long i = 3; i < length; ++i) samples[i] = Sample(seq, i);
        samples[0] = static_cast<float>(writer_), samples[1] = static_cast<float>(seq);
        samples[2] = static_cast<float>(length);
        Expect(SetWaveformLength(h, length) == vardOK &&
                   WriteWaveform(h, 0, length - 1, samples.data()) == vardOK,
               name + ": writing");
        Expect(CloseWaveform(h) == vardOK, name + ": CloseWaveform");
        return false;
      }
      case kWaveRead: {
        short src = 0, blocks = 0;
        long length = 0;
        double x0, dx;
        char units[64];
        if (LockWaveform(n, &src) != vardOK) return Expect(false, name + ": LockWaveform"), false;
        Expect(GetHorizontal(src, &x0, &dx, &blocks, &length, units) == vardOK, name + ": axis");
        if (length > 0) {
          std::vector<float> s(length);
          Expect(GetWaveformData(src, 0, 0, length - 1, 1, vardFloat, s.data()) == vardOK,
                 name + ": GetWaveformData");
          bool whole = length >= 3 && s[2] == static_cast<float>(length);
          for (long i = 3; whole && i < length; ++i)
            whole = s[i] == Sample(static_cast<std::uint32_t>(s[1]), i);
          Expect(whole, name + ": a torn waveform");
          if (whole) Saw(name, shared, static_cast<std::uint32_t>(s[0]), static_cast<std::uint32_t>(s[1]));
        } else {
          Expect(shared || seq_[name] == 0, name + ": a written waveform read empty");
        }
        UnlockWaveform(src);
        return false;
      }
      case kEnumerate: {  // the whole pool: every shared variable, none twice
        char var[64] = {}, path[300] = {};
        const long find = FindFirstVariable(vardNavigateAll, var, path);
        if (find == 0) return Expect(false, "FindFirstVariable"), false;
        std::set<std::string> names;
        int shared = 0;
        do {
          Expect(names.insert(var).second, std::string(var) + ": listed twice");
          shared += std::strncmp(var, "soak_", 5) == 0;
        } while (FindNextVariable(find, var, path) == vardOK);
        FindVariableClose(find);
        Expect(shared == 3 * kShared, "an enumeration missed a shared variable");
        return false;
      }
      default: {  // a private variable deleted and made anew
        const std::uint32_t seq = ++seq_[recreated_];
        double v = -1;
        Expect(DeleteVariable(recreated_.c_str()) == vardOK &&
                   CreateNumber(recreated_.c_str(), seq, "", "", "soak") == vardOK &&
                   GetNumber(recreated_.c_str(), &v) == vardOK && v == seq,
               recreated_ + ": delete and create");
        return false;
      }
    }
  }

  std::uint32_t writer_;
  std::minstd_rand rng_;
  std::string number_, string_, wave_, recreated_;
  std::map<std::string, std::uint32_t> seq_;
  std::map<std::string, std::map<std::uint32_t, std::uint32_t>> seen_;
  Histogram local_[kKinds];
  Histogram* stats_;
  std::mutex* stats_mutex_;
};

std::vector<std::string> Client::failures;
std::mutex Client::failures_mutex;

int RunClient(int index, int seconds, int threads) {
  InitDataManager();
  Histogram stats[kKinds];
  std::mutex stats_mutex;
  const DWORD until = GetTickCount() + seconds * 1000u;
  std::vector<std::thread> running;
  for (int t = 0; t < threads; ++t)
    running.emplace_back([&, t] { Client(index, t, stats, &stats_mutex).Run(until); });
  for (std::thread& t : running) t.join();
  ExitDataManager();
  for (int k = 0; k < kKinds; ++k) {
    std::printf("K %d %llu %llu", k, static_cast<unsigned long long>(stats[k].count),
                static_cast<unsigned long long>(stats[k].busy));
    for (int b = 0; b < kBuckets; ++b)
      if (stats[k].buckets[b]) std::printf(" %d:%llu", b, static_cast<unsigned long long>(stats[k].buckets[b]));
    std::printf("\n");
  }
  for (std::size_t i = 0; i < Client::failures.size() && i < kMaxReported; ++i)
    std::printf("F %s\n", Client::failures[i].c_str());
  std::printf("E %zu\n", Client::failures.size());
  return 0;
}

// The host's private bytes, in KiB; 0 when it cannot be read.
std::uint64_t HostKiB() {
  DWORD pid = 0;
  GetWindowThreadProcessId(FindWindowA(vard::server::host::kHostClass, nullptr), &pid);
  HANDLE host = pid ? OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid) : nullptr;
  PROCESS_MEMORY_COUNTERS m{};  // PagefileUsage: the private bytes
  const bool read = host && GetProcessMemoryInfo(host, &m, sizeof m);
  if (host) CloseHandle(host);
  return read ? m.PagefileUsage / 1024 : 0;
}

// Clients killed at random moments while the others work: one at a time, a
// client process doing the same load is started and killed 0.5 to 3 s
// later (starting, mid-transfer, holding a lock, with a waveform open for
// writing). The others must see no error; its unpublished writes must
// never appear (a torn shared waveform would). Victims reuse four sets of
// private names, so what they leave behind stays bounded.
class Victims {
 public:
  explicit Victims(int seconds) : seconds_(seconds), rng_(12345) {}
  ~Victims() { Tick(true); }
  void Tick(bool end = false) {
    if (victim_ && (end || GetTickCount() >= kill_at_)) {
      vard::test::Kill(victim_);
      victim_ = nullptr;
      ++killed_;
      next_at_ = GetTickCount() + 500 + rng_() % 2000;
    }
    if (end || victim_ || GetTickCount() < next_at_) return;
    const std::string args = "client " + std::to_string(100 + killed_) + " " +
                             std::to_string(seconds_) + " 2";
    std::string command = vard::test::Command("vard_soak.exe", args);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &si, &pi)) {
      next_at_ = ~0u;  // no victims, then
      return;
    }
    CloseHandle(pi.hThread);
    victim_ = pi.hProcess;
    kill_at_ = GetTickCount() + 500 + rng_() % 2500;
  }
  int killed() const { return killed_; }

 private:
  int seconds_;
  std::minstd_rand rng_;
  HANDLE victim_ = nullptr;
  DWORD kill_at_ = 0, next_at_ = 0;
  int killed_ = 0;
};

int RunDriver(int seconds, int processes, int threads) {
  InitDataManager();  // holds the host for the whole run
  bool ok = true;
  for (int k = 0; k < kShared; ++k) {
    const std::string i = std::to_string(k);
    for (const std::string& n : {"soak_n" + i, "soak_s" + i, "soak_w" + i}) DeleteVariable(n.c_str());
    ok = ok && CreateNumber(("soak_n" + i).c_str(), 0, "", "", "soak") == vardOK &&
         CreateString(("soak_s" + i).c_str(), "0:0:0:", "soak") == vardOK &&
         CreateWaveform(("soak_w" + i).c_str(), vardFloat, "soak") == vardOK;
  }
  if (!ok) return std::printf("cannot create the shared variables\n"), 1;
  // Seeds the shared string with a checked text.
  for (int k = 0; k < kShared; ++k) {
    char text[32];
    std::snprintf(text, sizeof text, "0:0:%08x:", Check(0, 0, ""));
    SetString(("soak_s" + std::to_string(k)).c_str(), text);
  }
  std::vector<FILE*> pipes;
  for (int p = 0; p < processes; ++p) {
    const std::string args = "client " + std::to_string(p) + " " + std::to_string(seconds) + " " +
                             std::to_string(threads);
    pipes.push_back(_popen(vard::test::Command("vard_soak.exe", args).c_str(), "r"));
  }
  // Memory: at the start, every minute (every tenth of a short run) and at the end.
  const int every = std::max(1, std::min(60, seconds / 10));
  const int settled = std::min(60, seconds / 3);  // the first sample after the warm-up
  std::vector<std::pair<int, std::uint64_t>> memory{{0, HostKiB()}};
  Victims victims(seconds);
  for (int t = every; t < seconds; t += every) {
    for (int tick = 0; tick < every * 10; ++tick) {
      victims.Tick();
      Sleep(100);
    }
    memory.emplace_back(t, HostKiB());
  }
  victims.Tick(true);
  Histogram total[kKinds];
  std::uint64_t failures = 0;
  int reported = 0;
  for (FILE* pipe : pipes) {
    char line[8192];
    bool ended = false;
    while (pipe && std::fgets(line, sizeof line, pipe)) {
      if (line[0] == 'K') {
        int kind, used;
        unsigned long long count, busy;
        if (std::sscanf(line, "K %d %llu %llu%n", &kind, &count, &busy, &used) < 3) continue;
        Histogram& h = total[std::clamp(kind, 0, kKinds - 1)];
        h.count += count, h.busy += busy;
        int bucket, more;
        unsigned long long n;
        for (const char* s = line + used; std::sscanf(s, " %d:%llu%n", &bucket, &n, &more) == 2; s += more)
          h.buckets[std::clamp(bucket, 0, kBuckets - 1)] += n;
      } else if (line[0] == 'F') {
        std::printf("failure: %s", line + 2);
      } else if (line[0] == 'E') {
        failures += std::strtoull(line + 2, nullptr, 10);
        ended = true;
      }
    }
    if (pipe) _pclose(pipe);
    if (ended) ++reported;
  }
  memory.emplace_back(seconds, HostKiB());
  for (int k = 0; k < kShared; ++k) {
    const std::string i = std::to_string(k);
    for (const std::string& n : {"soak_n" + i, "soak_s" + i, "soak_w" + i}) DeleteVariable(n.c_str());
  }
  ExitDataManager();

  std::printf("soak: %d s, %d processes x %d threads\n", seconds, processes, threads);
  std::printf("%-11s %9s %8s %9s %9s %9s %7s\n", "operation", "count", "ops/s", "p50 us", "p99 us",
              "p99.9 us", "busy");
  for (int k = 0; k < kKinds; ++k) {
    const Histogram& h = total[k];
    std::printf("%-11s %9llu %8.0f %9.0f %9.0f %9.0f %7llu\n", kKindNames[k],
                static_cast<unsigned long long>(h.count), static_cast<double>(h.count) / seconds,
                h.Percentile(0.5), h.Percentile(0.99), h.Percentile(0.999),
                static_cast<unsigned long long>(h.busy));
  }
  std::uint64_t base = 0, peak = 0;
  for (const auto& [t, kib] : memory) {
    std::printf("host memory at %4d s: %llu KiB\n", t, static_cast<unsigned long long>(kib));
    if (t >= settled && base == 0) base = kib;
    if (t >= settled) peak = std::max(peak, kib);
  }
  // Flat: within a tenth and 8 MiB of the first sample after the warm-up.
  const bool flat = base > 0 && peak <= base + base / 10 + 8 * 1024;
  std::printf("clients killed on the way %d\n", victims.killed());
  std::printf("clients reporting %d of %d; failures %llu; memory %s\n", reported, processes,
              static_cast<unsigned long long>(failures), flat ? "flat" : "NOT FLAT or unread");
  std::uint64_t ops = 0;
  for (const Histogram& h : total) ops += h.count;
  return reported == processes && failures == 0 && flat && ops > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  const int a = argc > 2 ? std::atoi(argv[2]) : 0, b = argc > 3 ? std::atoi(argv[3]) : 0,
            c = argc > 4 ? std::atoi(argv[4]) : 0;
  if (mode == "run" && a > 0 && b > 0 && c > 0) return RunDriver(a, b, c);
  if (mode == "client" && b > 0 && c > 0) return RunClient(a, b, c);
  std::fprintf(stderr, "usage: vard_soak run SECONDS PROCESSES THREADS\n");
  return 2;
}
