// vardctl.exe against the real server: files round-trip through the pool,
// bad files create nothing, plots show each column's extremes, and the exit
// status tells success (0), a refusal (1) and a bad command line (2). The
// test holds the pool itself, so what one vardctl run leaves the next finds.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/windows/peer.h"
#include "tools/vardctl/csv.h"
#include "tools/vardctl/plot.h"
#include "tools/vardctl/wav.h"
#include "vard32.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>

namespace {

namespace stdfs = std::filesystem;
using namespace vard::ctl;

struct Result {
  DWORD status = 0xFFFF;
  std::string out, err;
};

std::string Contents(const stdfs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Store(const stdfs::path& file, const void* data, std::size_t size) {
  std::ofstream(file, std::ios::binary).write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

class VardctlE2ETest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitDataManager();
    DeleteSubTree("e2e.ctl");  // leftovers of an interrupted run
    stdfs::create_directories(dir_);
  }
  void TearDown() override {
    DeleteSubTree("e2e.ctl");
    ExitDataManager();
    stdfs::remove_all(dir_);
  }

  std::string File(const char* name) const { return (dir_ / name).string(); }

  // Runs vardctl with `args`; its exit status and what it wrote.
  Result Run(const std::string& args) const {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const stdfs::path out = dir_ / "stdout.txt", err = dir_ / "stderr.txt";
    HANDLE o = CreateFileW(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    HANDLE e = CreateFileW(err.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = o;
    si.hStdError = e;
    std::string command = vard::test::Command("vardctl.exe", args);
    PROCESS_INFORMATION pi{};
    Result r;
    if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
      WaitForSingleObject(pi.hProcess, 120000);
      GetExitCodeProcess(pi.hProcess, &r.status);
      CloseHandle(pi.hProcess);
      CloseHandle(pi.hThread);
    }
    CloseHandle(o);
    CloseHandle(e);
    // The console's line ends, \r\n, read as \n.
    for (auto [text, file] : {std::pair{&r.out, out}, std::pair{&r.err, err}}) {
      *text = Contents(file);
      text->erase(std::remove(text->begin(), text->end(), '\r'), text->end());
    }
    return r;
  }

  static short TypeOf(const char* name) {
    short type = 0;
    return GetType(name, &type) == vardOK ? type : 0;
  }

  const stdfs::path dir_ = stdfs::temp_directory_path() / ("vardctl_e2e_" + std::to_string(GetCurrentProcessId()));
};

// A float waveform of `samples` written through the library.
void CreateFloatWave(const char* name, const std::vector<float>& samples, double x0, double dx) {
  ASSERT_EQ(CreateWaveform(name, vardFloat, "e2e.ctl"), vardOK);
  short h = 0;
  ASSERT_EQ(OpenWaveform(name, &h), vardOK);
  ASSERT_EQ(WriteHorizontal(h, x0, dx, "s"), vardOK);
  ASSERT_EQ(WriteVertical(h, 0, 1, "V"), vardOK);
  ASSERT_EQ(WriteWaveform(h, 0, static_cast<long>(samples.size()) - 1, samples.data()), vardOK);
  ASSERT_EQ(CloseWaveform(h), vardOK);
}

std::vector<std::pair<double, float>> ReadCsv(const std::string& text, CsvHeader* header) {
  std::size_t at = 0;
  CsvReader reader([&](char* buffer, std::size_t size) {
    const std::size_t n = std::min(size, text.size() - at);
    std::memcpy(buffer, text.data() + at, n);
    at += n;
    return n;
  });
  *header = reader.ReadHeader();
  std::vector<float> y(text.size());
  y.resize(reader.ReadRows(y.data(), y.size()));
  std::vector<std::pair<double, float>> rows;
  for (std::size_t i = 0; i < y.size(); ++i) rows.emplace_back(reader.x0() + i * reader.x_step(), y[i]);
  return rows;
}

TEST_F(VardctlE2ETest, CsvRoundTripsExactly) {
  std::string csv = CsvHeaderLine({{"time", "s"}, {"p", "bar"}});
  std::vector<float> y;
  for (int i = 0; i < 5000; ++i) {
    y.push_back(i == 77 ? NAN : static_cast<float>(std::sin(i * 0.01) * 1e3 / (i + 1)));
    AppendCsvRow(&csv, 0.5 + i * 0.001, y.back());
  }
  Store(File("in.csv"), csv.data(), csv.size());
  Result r = Run("import e2e_ctl_csv " + File("in.csv") + " --path e2e.ctl --description pressure");
  ASSERT_EQ(r.status, 0u) << r.err;
  EXPECT_EQ(TypeOf("e2e_ctl_csv"), vardWaveform);
  r = Run("export e2e_ctl_csv " + File("out.csv"));
  ASSERT_EQ(r.status, 0u) << r.err;
  CsvHeader header;
  const auto rows = ReadCsv(Contents(File("out.csv")), &header);
  EXPECT_EQ(header.x.units, "s");
  EXPECT_EQ(header.y.units, "bar");
  ASSERT_EQ(rows.size(), y.size());
  for (std::size_t i = 0; i < y.size(); ++i) {
    EXPECT_NEAR(rows[i].first, 0.5 + i * 0.001, 1e-12) << i;
    EXPECT_EQ(std::memcmp(&rows[i].second, &y[i], 4), 0) << i;
  }
  r = Run("info e2e_ctl_csv --json");
  ASSERT_EQ(r.status, 0u) << r.err;
  EXPECT_NE(r.out.find("\"description\":\"pressure\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"length\":5000"), std::string::npos) << r.out;
}

std::vector<std::uint8_t> Wav(WavEncoding encoding, int channels, int frames, std::uint32_t rate) {
  WavFormat f;
  f.encoding = encoding;
  f.channels = channels;
  f.sample_rate = rate;
  f.frames = static_cast<std::uint64_t>(frames);
  std::vector<std::uint8_t> file = WavHeaderBytes(f);
  for (int i = 0; i < frames * channels; ++i) {
    const float v = static_cast<float>(std::sin(i * 0.37) * 0.9);
    const std::int16_t s = QuantisePcm16(v);
    const auto* bytes = encoding == WavEncoding::kPcm16 ? reinterpret_cast<const std::uint8_t*>(&s)
                                                        : reinterpret_cast<const std::uint8_t*>(&v);
    file.insert(file.end(), bytes, bytes + f.SampleBytes());
  }
  return file;
}

TEST_F(VardctlE2ETest, WavRoundTripsExactlyOrWithinTheQuantisation) {
  for (WavEncoding e : {WavEncoding::kFloat32, WavEncoding::kPcm16}) {
    const std::vector<std::uint8_t> wav = Wav(e, 3, 7001, 44100);
    Store(File("in.wav"), wav.data(), wav.size());
    ASSERT_EQ(Run("import e2e_ctl_wav " + File("in.wav") + " --path e2e.ctl").status, 0u);
    const Result r = Run("export e2e_ctl_wav " + File("out.wav"));
    ASSERT_EQ(r.status, 0u) << r.err;
    EXPECT_TRUE(Contents(File("out.wav")) == std::string(wav.begin(), wav.end()));
    if (e == WavEncoding::kFloat32) {  // the float samples as 16-bit PCM
      ASSERT_EQ(Run("export e2e_ctl_wav " + File("q.wav") + " --encoding pcm16").status, 0u);
      const std::string q = Contents(File("q.wav"));
      ASSERT_EQ(q.size(), 44 + (wav.size() - 58) / 2);
      for (std::size_t i = 0; i < 3 * 7001; ++i) {
        float v;
        std::int16_t s;
        std::memcpy(&v, wav.data() + 58 + 4 * i, 4);
        std::memcpy(&s, q.data() + 44 + 2 * i, 2);
        EXPECT_LE(std::fabs(s / 32768.0 - v), 1 / 65536.0) << i;
      }
    }
    ASSERT_EQ(Run("rm e2e_ctl_wav").status, 0u);
  }
}

TEST_F(VardctlE2ETest, BadFilesFailWithAReasonAndCreateNothing) {
  std::vector<std::uint8_t> truncated = Wav(WavEncoding::kPcm16, 1, 100, 8000);
  truncated.resize(truncated.size() - 3);
  std::vector<std::uint8_t> wide = Wav(WavEncoding::kPcm16, 1, 100, 8000);
  wide[34] = 24;  // 24-bit samples
  // A bad row after the first million rows: the waveform exists by then.
  std::string late = "x,y\n";
  for (int i = 0; i < 1100000; ++i) AppendCsvRow(&late, i, 1.0f);
  late += "1100000,1,2\n";
  const struct {
    const char* file;
    std::string contents;
    const char* message;
  } cases[] = {
      {"ragged.csv", "t [s],v [V]\n0,1\n1,2\n2\n", "line 4: expected 2 fields (X,Y), found 1"},
      {"late.csv", late, "line 1100002: expected 2 fields (X,Y), found 3"},
      {"truncated.wav", std::string(truncated.begin(), truncated.end()), "truncated WAV file"},
      {"wide.wav", std::string(wide.begin(), wide.end()), "unsupported WAV format: 24-bit PCM"},
  };
  for (const auto& c : cases) {
    Store(File(c.file), c.contents.data(), c.contents.size());
    const Result r = Run("import e2e_ctl_bad " + File(c.file) + " --path e2e.ctl");
    EXPECT_EQ(r.status, 1u) << c.file;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(TypeOf("e2e_ctl_bad"), 0) << c.file;
  }
}

// The rows that a plot with these columns draws `v` in.
long RowFor(const std::vector<PlotColumn>& columns, int width, int height, double v) {
  Plot plot;
  plot.columns = columns;
  return std::lround(RowOf(Compose(plot, width, height), v));
}

bool IsTrace(const stbi_uc* rgb, int width, long x, long y) {
  const stbi_uc* p = rgb + (y * width + x) * 3;
  return p[0] == kTraceRgb[0] && p[1] == kTraceRgb[1] && p[2] == kTraceRgb[2];
}

TEST_F(VardctlE2ETest, PlotsShowEachColumnsExtremes) {
  // Read whole, a reduced read per column, the server's extremes per column
  // (more samples per column than a request carries): a flat line at 0 with
  // one sample at 5 and one at -5.
  for (const int n : {20000, 1000000, 4000000}) {
    std::vector<float> y(static_cast<std::size_t>(n), 0.0f);
    const int up = n / 4 + 3, down = 3 * n / 4;
    y[static_cast<std::size_t>(up)] = 5;
    y[static_cast<std::size_t>(down)] = -5;
    CreateFloatWave("e2e_ctl_plot", y, 0, 1e-3);
    const int width = 500, height = 240;
    const Result r = Run("plot e2e_ctl_plot " + File("p.png") + " --width 500 --height 240");
    ASSERT_EQ(r.status, 0u) << r.err;
    const std::string png = Contents(File("p.png"));
    int w = 0, h = 0, channels = 0;
    stbi_uc* rgb = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(png.data()),
                                         static_cast<int>(png.size()), &w, &h, &channels, 3);
    ASSERT_NE(rgb, nullptr);
    EXPECT_EQ(w, width);
    EXPECT_EQ(h, height);
    const PlotArea area = AreaOf(width, height);
    std::vector<PlotColumn> columns;
    std::size_t up_column = 0, down_column = 0;
    for (const PlotColumnSpan& s : PlanColumns(n, area.width)) {
      MinMax m;
      m.Add(0);
      if (s.first <= up && up <= s.last) m.Add(5), up_column = columns.size();
      if (s.first <= down && down <= s.last) m.Add(-5), down_column = columns.size();
      columns.push_back({s.pixel, m});
    }
    const long top = RowFor(columns, width, height, 5), zero = RowFor(columns, width, height, 0),
               bottom = RowFor(columns, width, height, -5);
    for (std::size_t c : {std::size_t{0}, up_column, down_column, columns.size() / 2}) {
      const long x = area.left + static_cast<long>(c);
      long lo = height, hi = -1;
      for (long row = 0; row < height; ++row)
        if (IsTrace(rgb, width, x, row)) lo = std::min(lo, row), hi = std::max(hi, row);
      EXPECT_EQ(lo, c == up_column ? top : zero) << n << " column " << c;
      EXPECT_EQ(hi, c == down_column ? bottom : zero) << n << " column " << c;
    }
    stbi_image_free(rgb);
    ASSERT_EQ(Run("plot e2e_ctl_plot " + File("p.svg") + " --from 1 --to 2").status, 0u);
    const std::string svg = Contents(File("p.svg"));
    EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
    EXPECT_NE(svg.find("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"800\" height=\"400\""),
              std::string::npos);
    EXPECT_EQ(svg.substr(svg.size() - 7), "</svg>\n");
    ASSERT_EQ(DeleteVariable("e2e_ctl_plot"), vardOK);
  }
}

TEST_F(VardctlE2ETest, VariablesAnalysesCollectionsAndExitStatus) {
  EXPECT_EQ(Run("set e2e_ctl_n 3.25 --units V --path e2e.ctl").status, 0u);
  EXPECT_EQ(Run("get e2e_ctl_n").out, "3.25 V\n");
  EXPECT_EQ(Run("set e2e_ctl_n 4").status, 0u);
  EXPECT_EQ(Run("get e2e_ctl_n --json").out,
            "{\"name\":\"e2e_ctl_n\",\"type\":\"number\",\"value\":4,\"units\":\"V\"}\n");
  EXPECT_EQ(Run("set e2e_ctl_s \"two words\" --path e2e.ctl").status, 0u);
  EXPECT_EQ(Run("get e2e_ctl_s").out, "two words\n");
  const Result missing = Run("get e2e_ctl_missing");
  EXPECT_EQ(missing.status, 1u);
  EXPECT_NE(missing.err.find("vardNoSuchObject (1)"), std::string::npos) << missing.err;
  EXPECT_EQ(Run("set e2e_ctl_n not-a-number").status, 2u);
  EXPECT_EQ(Run("get").status, 2u);
  EXPECT_EQ(Run("get x --bogus").status, 2u);
  EXPECT_EQ(Run("get --help").status, 0u);

  // y = 0, 2, 4, 2 repeated: mean 2, a rising and a falling crossing of 3
  // in each period.
  std::vector<float> y;
  for (int i = 0; i < 400; ++i) y.push_back(static_cast<float>(i % 4 == 3 ? 2 : 2 * (i % 4)));
  CreateFloatWave("e2e_ctl_w", y, 0, 0.25);
  Result r = Run("tree E2E.CTL");  // whole levels without case
  EXPECT_EQ(r.out.rfind("e2e\n  ctl  e2e_ctl_n  number", 0), 0u) << r.out;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4) << r.out;
  EXPECT_NE(Run("tree --json").out.find("{\"name\":\"e2e_ctl_w\",\"path\":\"e2e.ctl\",\"type\":\"waveform\""),
            std::string::npos);
  r = Run("stats e2e_ctl_w --json");
  EXPECT_NE(r.out.find("\"mean\":2,"), std::string::npos) << r.out;
  r = Run("crossings e2e_ctl_w --level 3 --to 9.9 --json");
  EXPECT_NE(r.out.find("{\"x\":0.375,\"kind\":\"rising\"},{\"x\":0.625,\"kind\":\"falling\"}"),
            std::string::npos) << r.out;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), 'x'), 20) << r.out;  // 10 periods
  r = Run("hist e2e_ctl_w --bins 2 --min 0 --max 4 --json");
  EXPECT_NE(r.out.find("\"below\":0,\"bins\":[100,300],\"above\":0"), std::string::npos) << r.out;

  ASSERT_EQ(Run("save " + File("c.vcl") + " e2e_ctl_n e2e_ctl_w").status, 0u);
  ASSERT_EQ(Run("rm --tree e2e.ctl").status, 0u);
  EXPECT_EQ(TypeOf("e2e_ctl_n"), 0);
  ASSERT_EQ(Run("load " + File("c.vcl") + " --prefix e2e.ctl").status, 0u);
  EXPECT_EQ(TypeOf("e2e_ctl_n"), vardNumerical);
  EXPECT_EQ(TypeOf("e2e_ctl_w"), vardWaveform);
}

}  // namespace
