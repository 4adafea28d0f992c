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
          code != proto::kReadWaveform)
        return 0;
      if (++sampleRequests == failingRequest) return vardNoSuchData;
      std::uint8_t* area = block + proto::kSampleAreaOffset;
      const std::int32_t step = code == proto::kGetWaveformData ? r.Reduction : 1;
      std::size_t k = 0;
      auto put = [&](std::int32_t i) {
        if (r.DataType == vardFloat)
          Put(area, 4 * k++, static_cast<float>(i));
        else
          Put(area, 2 * k++, static_cast<std::uint16_t>(i));
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
    for (const auto& r : Sent())
      if (r.code == code) out.emplace_back(Record(r).FirstSample, Record(r).LastSample);
    return out;
  }

  std::int16_t storedType = vardInteger;
  int sampleRequests = 0;
  int failingRequest = 0;
};

// Element i of a buffer of 2-byte or float samples, as a number.
double At(const std::vector<std::uint8_t>& data, std::int16_t type, std::size_t i) {
  return type == vardFloat ? Get<float>(data.data(), 4 * i)
                           : Get<std::uint16_t>(data.data(), 2 * i);
}
bool Counts(const std::vector<std::uint8_t>& data, std::int16_t type, std::size_t n,
            int first = 0) {
  for (std::size_t i = 0; i < n; ++i)
    if (At(data, type, i) != first + static_cast<int>(i)) return false;
  return true;
}

// Each transfer fills the sample area as far as its type allows: `chunk`
// samples go in one request, one more takes a second, and each lands in its
// place in the caller's buffer and nowhere past it. The writing and the
// read-back transfers ask the sample type first, every time.
TEST_F(Waveforms, TransfersChunkAtTheirSize) {
  const struct {
    std::uint32_t code;
    std::int16_t type;
    int chunk;
  } cases[] = {
      {proto::kGetWaveformData, vardDigital, 16168}, {proto::kGetWaveformData, vardFloat, 8084},
      {proto::kWriteWaveform, vardDigital, 32337},   {proto::kWriteWaveform, vardFloat, 16168},
      {proto::kReadWaveform, vardInteger, 32337},    {proto::kReadWaveform, vardFloat, 16168}};
  const int first = 100;
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.code << " " << c.type);
    server_.Clear();
    storedType = c.type;
    const std::size_t size = c.type == vardFloat ? 4 : 2;
    std::vector<std::uint8_t> data((c.chunk + 2) * size, 0xEE);
    for (int i = 0; c.code == proto::kWriteWaveform && i < c.chunk + 1; ++i) {
      if (c.type == vardFloat)
        Put(data.data(), 4 * i, static_cast<float>(first + i));
      else
        Put(data.data(), 2 * i, static_cast<std::uint16_t>(first + i));
    }
    for (int n : {c.chunk, c.chunk + 1}) {
      const long last = first + n - 1;
      EXPECT_EQ(c.code == proto::kGetWaveformData
                    ? GetWaveformData(3, 2, first, last, 1, c.type, data.data())
                : c.code == proto::kWriteWaveform ? WriteWaveform(4, first, last, data.data())
                                                  : ReadWaveform(4, first, last, data.data()),
                vardOK);
    }
    const int end = first + c.chunk;
    EXPECT_EQ(RangesOf(c.code), (Ranges{{first, end - 1}, {first, end - 1}, {end, end}}));
    using Codes = std::vector<std::uint32_t>;
    const std::uint32_t ask = proto::kGetWaveformDataType;
    const Codes codes = c.code == proto::kGetWaveformData ? Codes{c.code, c.code, c.code}
                                                          : Codes{ask, c.code, ask, c.code, c.code};
    EXPECT_EQ(SentCodes(), codes);
    EXPECT_TRUE(Counts(data, c.type, c.chunk + 1, first));
    EXPECT_EQ(data[(c.chunk + 1) * size], 0xEE);
    const auto sent = Sent();
    const WaveformRequest& r = Record(sent.back());
    EXPECT_EQ(r.RecordSize, 852u);
    if (c.code == proto::kGetWaveformData) {
      EXPECT_TRUE(r.Src == 3 && r.Block == 2 && r.DataType == c.type);
    } else {
      EXPECT_EQ(r.Waveform, 4);
    }
    if (c.code == proto::kWriteWaveform) {  // the samples travel in the area, each chunk its own
      EXPECT_EQ(0, std::memcmp(sent[3].block.data() + 852, data.data(), c.chunk * size));
      EXPECT_EQ(At(sent[4].block, c.type, 852 / size), end);
    }
  }
}

TEST_F(Waveforms, GetWaveformDataReducesInWholeGroups) {
  std::vector<std::uint8_t> data(40, 0xEE);
  GetWaveformData(1, 0, 0, 9, 3, vardInteger, data.data());
  EXPECT_EQ(RangesOf(13), (Ranges{{0, 8}, {9, 9}}));
  std::vector<double> got;
  for (int i = 0; i < 9; ++i) got.push_back(At(data, vardInteger, i));
  EXPECT_EQ(got, (std::vector<double>{0, 2, 3, 5, 6, 8, 9, 9, 0xEEEE}));

  GetWaveformData(1, 0, 5, 9, 0, vardInteger, data.data());  // 0 reads as 1
  EXPECT_EQ(Record(Last()).Reduction, 1);
  EXPECT_TRUE(Counts(data, vardInteger, 5, 5));

  server_.Clear();  // -1 is 65535, more than a chunk: one group per chunk
  GetWaveformData(1, 0, 0, 19999, -1, vardInteger, data.data());
  EXPECT_EQ(Record(Last()).Reduction, 65535);
  EXPECT_EQ(RangesOf(13), (Ranges{{0, 16167}, {16168, 19999}}));
  got.clear();
  for (int i = 0; i < 5; ++i) got.push_back(At(data, vardInteger, i));
  EXPECT_EQ(got, (std::vector<double>{0, 16167, 16168, 19999, 9}));
}

// A failing chunk ends the transfer with its code, the chunks before it
// delivered; a null buffer is vardBufferToSmall before any sample request.
TEST_F(Waveforms, TransferFailures) {
  std::vector<std::uint8_t> data(140000, 0xEE);
  failingRequest = 2;
  EXPECT_EQ(GetWaveformData(1, 0, 0, 39999, 1, vardInteger, data.data()), vardNoSuchData);
  EXPECT_TRUE(Counts(data, vardInteger, 16168));
  EXPECT_EQ(data[2 * 16168], 0xEE);
  EXPECT_EQ(GetWaveformData(1, 0, 0, 39999, 1, vardInteger, nullptr), vardBufferToSmall);
  EXPECT_EQ(GetWaveformData(1, 0, 10, 9, 1, vardInteger, data.data()), vardBufferToSmall);
  EXPECT_EQ(SentCodes(), (std::vector<std::uint32_t>{13, 13, 13}));

  server_.Clear();
  EXPECT_EQ(WriteWaveform(4, 10, 9, data.data()), vardOK);  // the type request only
  EXPECT_EQ(ReadWaveform(4, 10, 9, data.data()), vardOK);
  EXPECT_EQ(WriteWaveform(4, 0, 9, nullptr), vardBufferToSmall);
  EXPECT_EQ(ReadWaveform(4, 0, 9, nullptr), vardBufferToSmall);
  EXPECT_EQ(SentCodes(), (std::vector<std::uint32_t>{29, 29, 29, 29, 25}));

  server_.Clear();  // the second of three chunks fails
  std::fill(data.begin(), data.end(), 0xEE);
  failingRequest = sampleRequests + 2;
  EXPECT_EQ(ReadWaveform(4, 0, 69999, data.data()), vardNoSuchData);
  EXPECT_TRUE(Counts(data, vardInteger, 32337));
  EXPECT_EQ(data[2 * 32337], 0xEE);
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
    r.Src = 21, r.Block = 6, r.X0 = 1.5, r.Y0 = -3.0, r.Length = 123456, r.Day = 29;
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
  EXPECT_TRUE(x0 == 1.5 && record == 6 && length == 123456);
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
  EXPECT_TRUE(Record(Last()).Y0 == -1.0 && Record(Last()).YStep == 2.0);
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
