// vardctl's CSV and WAV files: what reads back, and that every malformed
// input is refused with its line (CSV) or its reason (WAV).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "tools/vardctl/csv.h"
#include "tools/vardctl/wav.h"

namespace vard::ctl {
namespace {

// A source that hands out `text` a few bytes at a time, so lines straddle
// every refill of the reader's buffer.
ByteSource Source(const std::string& text, std::size_t piece = 7) {
  auto at = std::make_shared<std::size_t>(0);
  return [text, piece, at](char* buffer, std::size_t size) {
    const std::size_t n = std::min({size, piece, text.size() - *at});
    std::memcpy(buffer, text.data() + *at, n);
    *at += n;
    return n;
  };
}

std::vector<float> ReadAll(CsvReader* reader) {
  std::vector<float> y(3);
  std::vector<float> all;
  while (std::size_t n = reader->ReadRows(y.data(), y.size())) all.insert(all.end(), y.begin(), y.begin() + n);
  return all;
}

TEST(CsvTest, WrittenRowsReadBackExactlyWithTheirAxis) {
  const std::vector<float> values = {0.1f, -0.0f, 1e-45f, 3.4028235e38f,
                                     std::numeric_limits<float>::quiet_NaN(), -INFINITY, 7};
  const double x0 = -0.25, step = 1.0 / 3.0;
  std::string text = CsvHeaderLine({{"time", "s"}, {"a,b", "V"}});
  EXPECT_EQ(text, "time [s],a;b [V]\n");
  text.insert(0, "\r\n  \n");  // blank lines before the header, too
  for (std::size_t i = 0; i < values.size(); ++i) AppendCsvRow(&text, x0 + i * step, values[i]);
  CsvReader reader(Source(text));
  const CsvHeader header = reader.ReadHeader();
  EXPECT_EQ(header.x.name, "time");
  EXPECT_EQ(header.x.units, "s");
  EXPECT_EQ(header.y.units, "V");
  const std::vector<float> read = ReadAll(&reader);
  ASSERT_EQ(read.size(), values.size());
  for (std::size_t i = 0; i < values.size(); ++i)
    EXPECT_EQ(std::memcmp(&read[i], &values[i], 4), 0) << i;
  EXPECT_EQ(reader.x0(), x0);
  EXPECT_NEAR(reader.x_step(), step, 1e-15);
}

TEST(CsvTest, PrintedDecimalXWithinOnePercentOfAStepIsEven) {
  std::string text = "t,y\r\n";
  for (int i = 0; i < 20000; ++i) text += std::to_string(i * 0.001) + " , " + std::to_string(i) + "\r\n";
  CsvReader reader(Source(text, 1 << 16));
  reader.ReadHeader();
  EXPECT_EQ(ReadAll(&reader).size(), 20000u);
  EXPECT_NEAR(reader.x_step(), 0.001, 1e-12);
  EXPECT_EQ(reader.x0(), 0.0);
}

TEST(CsvTest, MalformedInputNamesItsLine) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"", "empty"},
      {"x,y,z\n1,2,3\n", "line 1: the header must name two columns"},
      {"1,2\n2,3\n", "line 1: the first line must name the columns"},
      {"x,y\n0,1\n1,2,3\n", "line 3: expected 2 fields (X,Y), found 3"},
      {"x,y\n0,1\n\n1\n", "line 4: expected 2 fields"},
      {"x,y\n0,1\n1,volts\n", "line 3: Y \"volts\" is not a number"},
      {"x,y\nnan,1\n", "line 2: X must be a finite number"},
      {"x,y\n0,1\n0,2\n", "line 3: X must rise"},
      {"x,y\n0,1\n1,1\n2.02,1\n", "line 4: X 2.02 breaks the even spacing"},
      {"x,y\n0,1\n1,1e39\n", "line 3: Y 1e+39 is too large"},
  };
  for (const Case& c : cases) {
    try {
      CsvReader reader(Source(c.text));
      reader.ReadHeader();
      ReadAll(&reader);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const FileError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
  CsvReader reader(Source("x,y\n0," + std::string(2 << 20, '1') + "\n", 1 << 20));
  reader.ReadHeader();
  EXPECT_THROW(ReadAll(&reader), FileError);
}

// A file in memory for ReadWavHeader.
ReadAt Reader(const std::vector<std::uint8_t>& file) {
  return [&file](std::uint64_t offset, void* buffer, std::size_t size) {
    const std::size_t n = offset >= file.size() ? 0 : std::min<std::size_t>(size, file.size() - offset);
    std::memcpy(buffer, file.data() + offset, n);
    return n;
  };
}

std::vector<std::uint8_t> WavFile(WavEncoding encoding, int channels, std::uint64_t frames) {
  WavFormat f;
  f.encoding = encoding;
  f.channels = channels;
  f.sample_rate = 48000;
  f.frames = frames;
  std::vector<std::uint8_t> file = WavHeaderBytes(f);
  file.resize(file.size() + frames * f.FrameBytes(), 0x5A);
  return file;
}

TEST(WavTest, WrittenHeadersReadBack) {
  for (WavEncoding e : {WavEncoding::kPcm16, WavEncoding::kFloat32})
    for (int channels : {1, 3}) {
      const std::vector<std::uint8_t> file = WavFile(e, channels, 5);
      const WavFormat f = ReadWavHeader(Reader(file), file.size());
      EXPECT_EQ(f.encoding, e);
      EXPECT_EQ(f.channels, channels);
      EXPECT_EQ(f.sample_rate, 48000u);
      EXPECT_EQ(f.frames, 5u);
      EXPECT_EQ(f.data_offset + 5 * f.FrameBytes(), file.size());
    }
}

void Set16(std::vector<std::uint8_t>* file, std::size_t at, unsigned v) {
  (*file)[at] = static_cast<std::uint8_t>(v);
  (*file)[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

TEST(WavTest, OtherChunksAndTheExtensibleFormAreRead) {
  // A LIST chunk of odd size (with its pad byte) before fmt, and fmt as
  // WAVE_FORMAT_EXTENSIBLE with the float sub-format.
  std::vector<std::uint8_t> plain = WavFile(WavEncoding::kFloat32, 2, 4);
  std::vector<std::uint8_t> file(plain.begin(), plain.begin() + 12);
  const std::uint8_t list[] = {'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0};
  file.insert(file.end(), list, list + sizeof list);
  const std::uint8_t fmt[] = {'f', 'm', 't', ' ', 40, 0, 0, 0, 0xFE, 0xFF, 2, 0, 0x80, 0xBB, 0, 0,
                              0, 0xDC, 5, 0, 8, 0, 32, 0, 22, 0, 32, 0, 3, 0, 0, 0, 3, 0, 0, 0,
                              0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  file.insert(file.end(), fmt, fmt + sizeof fmt);
  const std::uint8_t data[] = {'d', 'a', 't', 'a', 32, 0, 0, 0};
  file.insert(file.end(), data, data + sizeof data);
  file.resize(file.size() + 32);
  const WavFormat f = ReadWavHeader(Reader(file), file.size());
  EXPECT_EQ(f.encoding, WavEncoding::kFloat32);
  EXPECT_EQ(f.frames, 4u);
  EXPECT_EQ(f.data_offset, file.size() - 32);
}

TEST(WavTest, DamagedTruncatedAndUnsupportedFilesAreRefused) {
  struct Case {
    const char* message;
    void (*damage)(std::vector<std::uint8_t>*);
  };
  const Case cases[] = {
      {"truncated WAV file: its data chunk declares 20 bytes, the file holds 19",
       [](auto* f) { f->pop_back(); }},
      {"truncated WAV file: it ends before its data chunk", [](auto* f) { f->resize(40); }},
      {"not a WAV file: no RIFF/WAVE header", [](auto* f) { (*f)[8] = 'X'; }},
      {"not a WAV file: shorter", [](auto* f) { f->resize(10); }},
      {"unsupported WAV format: 24-bit PCM", [](auto* f) { Set16(f, 34, 24); }},
      {"unsupported WAV format: 8-bit PCM", [](auto* f) { Set16(f, 34, 8); }},
      {"unsupported WAV format: format tag 0x0006", [](auto* f) { Set16(f, 20, 6); }},
      {"unsupported WAV format: 16-bit float", [](auto* f) { Set16(f, 20, 3); }},
      {"damaged WAV file: no channels", [](auto* f) { Set16(f, 22, 0); }},
      {"damaged WAV file: frames of 3 bytes, expected 4", [](auto* f) { Set16(f, 32, 3); }},
      {"damaged WAV file: a sample rate of 0", [](auto* f) { Set16(f, 24, 0), Set16(f, 26, 0); }},
      {"damaged WAV file: 18 data bytes are not whole frames of 4",
       [](auto* f) { Set16(f, 40, 18), f->resize(f->size() - 2); }},
      {"damaged WAV file: data before the fmt chunk", [](auto* f) { std::memcpy(f->data() + 12, "junk", 4); }},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> file = WavFile(WavEncoding::kPcm16, 2, 5);  // 44 + 20 bytes
    c.damage(&file);
    try {
      ReadWavHeader(Reader(file), file.size());
      ADD_FAILURE() << "accepted: " << c.message;
    } catch (const FileError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
  WavFormat huge;
  huge.channels = 2;
  huge.frames = 1ull << 30;  // 4 GiB of samples
  EXPECT_THROW(WavHeaderBytes(huge), FileError);
}

TEST(WavTest, QuantisationRoundsHalvesAwayAndSaturates) {
  const float half = 0.5f / 32768;
  const std::pair<float, int> cases[] = {{0.0f, 0},       {0.5f, 16384},   {-1.0f, -32768},
                                         {1.0f, 32767},   {half, 1},       {-half, -1},
                                         {-2.0f, -32768}, {INFINITY, 32767}, {NAN, 0}};
  for (const auto& [v, s] : cases) EXPECT_EQ(QuantisePcm16(v), s) << v;
}

TEST(WavTest, ChannelsInterleaveAndComeApart) {
  WavFormat f;
  f.encoding = WavEncoding::kPcm16;
  f.channels = 3;
  const std::int16_t frames[] = {1, 2, 3, 4, 5, 6};
  std::int16_t middle[2];
  TakeChannel(reinterpret_cast<const std::uint8_t*>(frames), 2, f, 1, middle);
  EXPECT_EQ(middle[0], 2);
  EXPECT_EQ(middle[1], 5);
  std::int16_t rebuilt[6] = {};
  for (int c = 0; c < 3; ++c) {
    std::int16_t samples[2];
    TakeChannel(reinterpret_cast<const std::uint8_t*>(frames), 2, f, c, samples);
    PutChannel(samples, 2, f, c, reinterpret_cast<std::uint8_t*>(rebuilt));
  }
  EXPECT_TRUE(std::equal(frames, frames + 6, rebuilt));
}

}  // namespace
}  // namespace vard::ctl
