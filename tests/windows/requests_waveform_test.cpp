// Waveform reading and writing against the fake server: single requests and
// the chunking of the three sample transfers.
#include <algorithm>

#include "tests/windows/requests_fixture.h"

using namespace vard::test;
namespace proto = vard::proto;
using proto::WaveformRequest;

namespace {

const WaveformRequest& Record(const Received& r) { return r.As<WaveformRequest>(); }
using Ranges = std::vector<std::pair<int, int>>;

// Plays a waveform whose sample i holds the value i; a reduced read answers
// the first and last index of each group. The test sets the sample type the
// transfers are told and which sample request fails.
class Waveforms : public RequestTest {
 protected:
  void SetUp() override {
    RequestTest::SetUp();
    server_.SetHandler([this](std::uint32_t code, std::uint8_t* block) -> LRESULT {
      auto& r = *reinterpret_cast<WaveformRequest*>(block);
      if (code == proto::kGetWaveformDataType) r.DataType = storedType;
      if (code != proto::kGetWaveformData && code != proto::kWriteWaveform &&
          code != proto::kReadWaveform) {
        return 0;
      }
      if (++sampleRequests == failingRequest) return vardNoSuchData;
      std::uint8_t* area = block + proto::kSampleAreaOffset;
      const std::int32_t step = code == proto::kGetWaveformData ? r.Reduction : 1;
      std::size_t k = 0;
      auto put = [&](std::int32_t i) {
        if (r.DataType == vardFloat) Put(area, 4 * k++, static_cast<float>(i));
        else Put(area, 2 * k++, static_cast<std::uint16_t>(i));
      };
      for (std::int32_t a = r.FirstSample; code != proto::kWriteWaveform && a <= r.LastSample;
           a += step) {
        put(a);
        if (step > 1) put(std::min(a + step - 1, r.LastSample));
      }
      return 0;
    });
  }

  Ranges RangesOf(std::uint32_t code) const {
    Ranges out;
    for (const auto& r : Sent()) {
      if (r.code == code) out.emplace_back(Record(r).FirstSample, Record(r).LastSample);
    }
    return out;
  }

  std::int16_t storedType = vardInteger;
  int sampleRequests = 0;
  int failingRequest = 0;
};

template <class T>
bool Counts(const std::vector<T>& data, std::size_t n, std::int32_t first = 0) {
  for (std::size_t i = 0; i < n; ++i) {
    if (data[i] != static_cast<T>(first + static_cast<std::int32_t>(i))) return false;
  }
  return true;
}

TEST_F(Waveforms, GetWaveformDataChunksAtHalfTheSampleArea) {
  std::vector<std::uint16_t> shorts(16170, 0xBEEF);
  GetWaveformData(3, 2, 0, 16167, 1, vardInteger, shorts.data());
  EXPECT_EQ(GetWaveformData(3, 2, 0, 16168, 1, vardDigital, shorts.data()), vardOK);
  EXPECT_EQ(RangesOf(13), (Ranges{{0, 16167}, {0, 16167}, {16168, 16168}}));
  EXPECT_TRUE(Counts(shorts, 16169));
  EXPECT_EQ(shorts[16169], 0xBEEF);
  const Received last = Last();
  EXPECT_EQ(Record(last).RecordSize, 852u);
  EXPECT_EQ(Record(last).Src, 3);
  EXPECT_EQ(Record(last).Block, 2);
  EXPECT_EQ(Record(last).DataType, vardDigital);

  server_.Clear();
  std::vector<float> floats(8086, -1.0f);
  GetWaveformData(3, 0, 0, 8083, 1, vardFloat, floats.data());
  EXPECT_EQ(GetWaveformData(3, 0, 0, 8084, 1, vardFloat, floats.data()), vardOK);
  EXPECT_EQ(RangesOf(13), (Ranges{{0, 8083}, {0, 8083}, {8084, 8084}}));
  EXPECT_TRUE(Counts(floats, 8085));
  EXPECT_EQ(floats[8085], -1.0f);
}

TEST_F(Waveforms, GetWaveformDataReducesInWholeGroups) {
  std::vector<std::uint16_t> data(20, 0xBEEF);
  GetWaveformData(1, 0, 0, 9, 3, vardInteger, data.data());
  EXPECT_EQ(RangesOf(13), (Ranges{{0, 8}, {9, 9}}));
  EXPECT_EQ(std::vector<std::uint16_t>(data.begin(), data.begin() + 9),
            (std::vector<std::uint16_t>{0, 2, 3, 5, 6, 8, 9, 9, 0xBEEF}));

  GetWaveformData(1, 0, 5, 9, 0, vardInteger, data.data());  // 0 reads as 1
  EXPECT_EQ(Record(Last()).Reduction, 1);
  EXPECT_TRUE(Counts(data, 5, 5));

  server_.Clear();  // -1 is 65535, more than a chunk: one group per chunk
  GetWaveformData(1, 0, 0, 19999, -1, vardInteger, data.data());
  EXPECT_EQ(Record(Last()).Reduction, 65535);
  EXPECT_EQ(RangesOf(13), (Ranges{{0, 16167}, {16168, 19999}}));
  EXPECT_EQ(std::vector<std::uint16_t>(data.begin(), data.begin() + 5),
            (std::vector<std::uint16_t>{0, 16167, 16168, 19999, 9}));
}

TEST_F(Waveforms, GetWaveformDataFailures) {
  std::vector<std::uint16_t> data(40000, 0xBEEF);
  failingRequest = 2;
  EXPECT_EQ(GetWaveformData(1, 0, 0, 39999, 1, vardInteger, data.data()), vardNoSuchData);
  EXPECT_TRUE(Counts(data, 16168));
  EXPECT_EQ(data[16168], 0xBEEF);
  EXPECT_EQ(GetWaveformData(1, 0, 0, 39999, 1, vardInteger, nullptr), vardBufferToSmall);
  EXPECT_EQ(GetWaveformData(1, 0, 10, 9, 1, vardInteger, data.data()), vardBufferToSmall);
  EXPECT_EQ(SentCodes(), (std::vector<std::uint32_t>{13, 13, 13}));
}

TEST_F(Waveforms, WriteWaveformAsksTheTypeThenFillsTheWholeArea) {
  std::vector<std::uint16_t> shorts(32338);
  for (std::size_t i = 0; i < shorts.size(); ++i) shorts[i] = static_cast<std::uint16_t>(i);
  storedType = vardDigital;
  WriteWaveform(4, 0, 32336, shorts.data());
  EXPECT_EQ(WriteWaveform(4, 0, 32337, shorts.data()), vardOK);
  EXPECT_EQ(SentCodes(), (std::vector<std::uint32_t>{29, 24, 29, 24, 24}));
  EXPECT_EQ(RangesOf(24), (Ranges{{0, 32336}, {0, 32336}, {32337, 32337}}));
  const auto sent = Sent();
  EXPECT_EQ(Record(sent[0]).Waveform, 4);
  EXPECT_EQ(0, std::memcmp(sent[3].block.data() + 852, shorts.data(), 2 * 32337));
  EXPECT_EQ(Get<std::uint16_t>(sent[4].block.data(), 852), 32337);

  server_.Clear();
  storedType = vardFloat;
  std::vector<float> floats(16201);
  for (std::size_t i = 0; i < floats.size(); ++i) floats[i] = 100.0f + i;
  EXPECT_EQ(WriteWaveform(4, 100, 16300, floats.data()), vardOK);
  EXPECT_EQ(RangesOf(24), (Ranges{{100, 16267}, {16268, 16300}}));
  EXPECT_EQ(Get<float>(Last().block.data(), 852), 16268.0f);
}

TEST_F(Waveforms, ReadWaveformFillsTheWholeArea) {
  storedType = vardFloat;
  std::vector<float> floats(16170, -1.0f);
  ReadWaveform(4, 0, 16167, floats.data());
  EXPECT_EQ(ReadWaveform(4, 0, 16168, floats.data()), vardOK);
  EXPECT_EQ(SentCodes(), (std::vector<std::uint32_t>{29, 25, 29, 25, 25}));
  EXPECT_EQ(RangesOf(25), (Ranges{{0, 16167}, {0, 16167}, {16168, 16168}}));
  EXPECT_TRUE(Counts(floats, 16169));
  EXPECT_EQ(floats[16169], -1.0f);

  server_.Clear();
  storedType = vardInteger;
  std::vector<std::uint16_t> shorts(32339, 0xBEEF);
  ReadWaveform(4, 0, 32337, shorts.data());
  EXPECT_EQ(RangesOf(25), (Ranges{{0, 32336}, {32337, 32337}}));
  EXPECT_TRUE(Counts(shorts, 32338));
  EXPECT_EQ(shorts[32338], 0xBEEF);
}

TEST_F(Waveforms, TransferFailures) {
  std::vector<std::uint16_t> data(70000, 0xBEEF);
  EXPECT_EQ(WriteWaveform(4, 10, 9, data.data()), vardOK);  // the type request only
  EXPECT_EQ(ReadWaveform(4, 10, 9, data.data()), vardOK);
  EXPECT_EQ(WriteWaveform(4, 0, 9, nullptr), vardBufferToSmall);
  EXPECT_EQ(ReadWaveform(4, 0, 9, nullptr), vardBufferToSmall);
  EXPECT_EQ(SentCodes(), (std::vector<std::uint32_t>{29, 29, 29, 29, 25}));

  server_.Clear();  // the second of three chunks fails
  failingRequest = sampleRequests + 2;
  EXPECT_EQ(ReadWaveform(4, 0, 69999, data.data()), vardNoSuchData);
  EXPECT_TRUE(Counts(data, 32337));
  EXPECT_EQ(data[32337], 0xBEEF);
  failingRequest = sampleRequests + 2;
  EXPECT_EQ(WriteWaveform(4, 0, 69999, data.data()), vardNoSuchData);
  EXPECT_EQ(SentCodes(), (std::vector<std::uint32_t>{29, 25, 25, 29, 24, 24}));

  server_.Clear();
  server_.SetHandler([](std::uint32_t, std::uint8_t*) -> LRESULT { return vardInvalidHandle; });
  EXPECT_EQ(WriteWaveform(9, 0, 9, data.data()), vardInvalidHandle);
  EXPECT_EQ(SentCodes(), (std::vector<std::uint32_t>{29}));
}

TEST_F(Waveforms, ReadingRequestsCopyTheirReplyFields) {
  server_.SetHandler([](std::uint32_t code, std::uint8_t* block) -> LRESULT {
    auto& r = *reinterpret_cast<WaveformRequest*>(block);
    r.Src = 21;
    r.Block = 6;
    r.X0 = 1.5;
    r.Y0 = -3.0;
    r.Length = 123456;
    r.Day = 29;
    std::memset(r.XUnits, 'x', 10);  // no NUL in the field
    std::memset(r.Name, 'n', 40);
    return code == proto::kLockWaveform ? vardNoSuchObject : vardOK;
  });
  short src = 0, record = 0, year, month, day;
  double x0, y0, step, t;
  long length = 0;
  char xUnits[16], name[500], yUnits[10];
  EXPECT_EQ(LockWaveform("w", &src), vardNoSuchObject);
  EXPECT_EQ(src, 21);
  GetHorizontal(7, &x0, &step, &record, &length, xUnits);
  EXPECT_EQ(Record(Last()).Src, 7);
  EXPECT_EQ(x0, 1.5);
  EXPECT_EQ(record, 6);
  EXPECT_EQ(length, 123456);
  EXPECT_EQ(std::string(xUnits), std::string(9, 'x'));
  GetVertical(7, &y0, &step, name, yUnits);
  EXPECT_EQ(std::string(name), std::string(40, 'n'));
  GetBlockInfo(7, 3, &t, &year, &month, &day);
  EXPECT_EQ(Record(Last()).Block, 3);
  EXPECT_EQ(day, 29);
  GetWaveformValue("w", 5, 0.125, &y0);
  EXPECT_EQ(Record(Last()).X0, 0.125);
  EXPECT_EQ(y0, -3.0);
  EXPECT_EQ(SentCodes(), (std::vector<std::uint32_t>{10, 11, 12, 16, 15}));

  wchar_t wideName[40], wideUnits[12];
  GetVerticalW(7, &y0, &step, wideName, wideUnits);
  EXPECT_EQ(std::wstring(wideName), std::wstring(28, L'n'));  // converted back with n = 30
  EXPECT_EQ(LockWaveform("w", nullptr), vardException);
}

TEST_F(Waveforms, WritingRequestsSendTheirFields) {
  server_.SetHandler([](std::uint32_t code, std::uint8_t* block) -> LRESULT {
    Put<std::int16_t>(block, offsetof(WaveformRequest, Waveform), 12);
    return code == proto::kOpenWaveform ? vardAlreadyExists : vardOK;
  });
  CreateWaveform(std::string(600, 'w').c_str(), vardFloat, std::string(300, 'p').c_str());
  EXPECT_EQ(Text(Record(Last()).Name), std::string(499, 'w'));
  EXPECT_EQ(Text(Record(Last()).Path), std::string(255, 'p'));
  EXPECT_EQ(Record(Last()).Type, vardFloat);
  short handle = 0;
  EXPECT_EQ(OpenWaveformW(L"w", &handle), vardAlreadyExists);
  EXPECT_EQ(handle, 12);
  WriteVertical(12, -1.0, 2.0, "millivolts");
  EXPECT_EQ(Text(Record(Last()).YUnits), "millivolt");
  EXPECT_EQ(Record(Last()).Y0, -1.0);
  EXPECT_EQ(Record(Last()).YStep, 2.0);
  SetWaveformLength(12, 777);
  EXPECT_EQ(Record(Last()).Length, 777);
  EXPECT_EQ(SentCodes(), (std::vector<std::uint32_t>{20, 21, 23, 26}));
}

TEST(WaveformsUnregistered, WideOutputsAreEmpty) {
  FakeServer server;
  wchar_t name[40] = L"old", units[12] = L"old";
  double y0, yStep;
  EXPECT_EQ(GetVerticalW(1, &y0, &yStep, name, units), vardNotInitialized);
  EXPECT_STREQ(name, L"");
  EXPECT_STREQ(units, L"");
  EXPECT_EQ(server.Codes(), (std::vector<std::uint32_t>{proto::kAttach}));
  InitDataManager();
  ExitDataManager();
}

}  // namespace
