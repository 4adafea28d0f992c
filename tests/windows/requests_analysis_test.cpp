// The analysis and crest exports against the fake server: where each input
// goes and each result comes from (the shared offsets 40 and 100 included),
// the copy whatever the reply, the histogram's bin clamp and copy length, and
// the crest family's own frame.
#include "tests/windows/requests_fixture.h"

using namespace vard::test;
namespace proto = vard::proto;
using proto::AnalysisRequest;
using proto::StlRequest;

namespace {

// Every reply is a failure that leaves a value in each double field (its own
// offset) and a count i + 1 in every slot behind the record, and points
// HistogramAddress somewhere no buffer is.
class Analysis : public RequestTest {
 protected:
  void SetUp() override {
    RequestTest::SetUp();
    server_.SetHandler([this](std::uint32_t, std::uint8_t* block) -> LRESULT {
      for (std::size_t at = 60; at < 224; at += at == 164 ? 12 : 8)  // 172 holds 4 bytes
        Put(block, at, static_cast<double>(at));
      Put(block, offsetof(AnalysisRequest, HistogramAddress), std::uint32_t{4});
      if (replyBins) Put(block, offsetof(AnalysisRequest, NumberOfBins), replyBins);
      for (std::int32_t i = 0; i < proto::kMaxHistogramBins + 2; ++i)
        Put(block, sizeof(AnalysisRequest) + 4 * i, i + 1);
      return vardNotFound;
    });
  }
  const AnalysisRequest& Rec() const { return last_ = Last(), last_.As<AnalysisRequest>(); }

  std::int16_t replyBins = 0;  // 0: the server leaves NumberOfBins alone
  mutable Received last_;
};

TEST_F(Analysis, InputsGoToTheirFieldsAndResultsComeBackWhateverTheCode) {
  double a = 0, b = 0, c = 0, d = 0, e = 0;
  short found = 0;
  const char* longName = "a-name-of-thirty-one-characters";
  EXPECT_EQ(WaveformMinMax(longName, 7, -1.5, 2.5, &a, &b, &c, &d), vardNotFound);
  EXPECT_EQ((std::vector<double>{a, b, c, d}), (std::vector<double>{60, 68, 76, 84}));
  EXPECT_EQ(Text(Rec().Name), std::string(longName, 29));
  EXPECT_TRUE(Rec().RecordSize == 224 && Rec().Block == 7 && Rec().XBegin == -1.5 &&
              Rec().XEnd == 2.5);
  EXPECT_TRUE(AllZero(Last(), 36, 44) && AllZero(Last(), 60, 224));  // the rest cleared

  EXPECT_EQ(WaveformFindLocalExtremeW(L"w", 0, 0, 1, vardBackward, vardLocalMax, 0.25, &a, &b),
            vardNotFound);
  EXPECT_TRUE(Rec().Direction == vardBackward && Rec().ExtremeType == vardLocalMax &&
              Rec().Hysterese == 0.25 && a == 100 && b == 108);  // Value shares 100 with Level

  // Nobody wrote offset 40: the requested kind comes back, sent as 0xFFFF.
  EXPECT_EQ(WaveformFindLevelCrossing("w", 0, 0, 1, vardForward, vardNegative, 3.5, &a, &found),
            vardNotFound);
  EXPECT_TRUE(Get<std::uint16_t>(Last().block.data(), 40) == 0xFFFF && Rec().Level == 3.5);
  EXPECT_EQ(found, vardNegative);

  EXPECT_EQ(WaveformStatistics("w", 0, 0, 1, &a, &b, &c, &d, &e), vardNotFound);
  EXPECT_EQ((std::vector<double>{a, b, c, d, e}), (std::vector<double>{116, 124, 132, 140, 148}));
  EXPECT_EQ(WaveformPulseParameters("w", 0, 0, 1, &a, &b, &c), vardNotFound);
  EXPECT_EQ((std::vector<double>{a, b, c}), (std::vector<double>{176, 184, 192}));
  EXPECT_TRUE(WaveformPeriod("w", 0, 0, 1, &c) == vardNotFound && c == 200);
  EXPECT_TRUE(WaveformLinFit("w", 0, 0, 1, &a, &b) == vardNotFound && a == 208 && b == 216);
  EXPECT_EQ(SentCodes(), (std::vector<std::uint32_t>{70, 72, 73, 74, 76, 77, 78}));
}

// The bins sent are clamped to 16326; b + 2 counts come back, b being the
// reply's count lowered to what was sent, always into the caller's buffer
// (the reply's HistogramAddress points nowhere); a negative b copies nothing.
TEST_F(Analysis, HistogramClampsAndCopiesBinsPlusTwo) {
  const struct {
    short asked, reply, sent;
    int copied;
  } cases[] = {{16326, 0, 16326, 16328}, {30000, 0, 16326, 16328}, {0, 0, 0, 2},
               {100, 10, 100, 12},       {100, 200, 100, 102},     {-5, 0, -5, 0}};
  std::vector<long> counts(proto::kMaxHistogramBins + 3);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.asked);
    replyBins = c.reply;
    std::fill(counts.begin(), counts.end(), -7);
    EXPECT_EQ(WaveformHistogram("w", 1, 0, 1, 5.0, -5.0, c.asked, counts.data()), vardNotFound);
    const auto tag = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(counts.data()));
    EXPECT_TRUE(Rec().NumberOfBins == c.sent && Rec().HistogramAddress == tag &&
                Rec().Ytop == 5.0 && Rec().Ybottom == -5.0);
    for (int i = 0; i < c.copied; ++i) ASSERT_EQ(counts[i], i + 1) << i;
    EXPECT_EQ(counts[c.copied], -7);
  }
  replyBins = 0;
  EXPECT_EQ(WaveformHistogram("w", 1, 0, 1, 5.0, -5.0, 10, nullptr), vardBufferToSmall);
  EXPECT_EQ(WaveformHistogramW(L"w", 1, 0, 1, 5.0, -5.0, 10, reinterpret_cast<long*>(16)),
            vardBufferToSmall);
}

// --- Crest and signal loops -----------------------------------------------------

// Unregistered, the family answers 1001 (not 1000) and sends nothing;
// registered, inputs go to their fields, null out-pointers are skipped and
// the trailing parameters are never read.
TEST_F(RequestTest, CrestFamilyFrameFieldsAndNullResults) {
  ExitDataManager();
  double r[4] = {};
  short s = 0;
  EXPECT_EQ(Stl_Crest("w", 0, 0, &r[0], &r[0], &r[0], &r[0], nullptr, 0, 0), vardException);
  EXPECT_EQ(WaveformPeriod("w", 0, 0, 1, &r[0]), vardNotInitialized);
  EXPECT_TRUE(SentCodes().empty());
  InitDataManager();
  server_.SetHandler([](std::uint32_t, std::uint8_t* block) -> LRESULT {
    for (std::size_t at = 60; at < sizeof(StlRequest); at += 8) Put(block, at, double(at));
    Put(block, offsetof(StlRequest, ShortResult), std::int16_t{-38});
    return vardNotFound;
  });
  EXPECT_EQ(Stl_Crest("a-name-of-thirty-one-characters", 3, 1.25, &r[0], nullptr, &r[2], &r[3], &s,
                      -1, 0x7FFFFFFF),
            vardNotFound);
  const Received crest = Last();
  const auto& c = crest.As<StlRequest>();
  EXPECT_EQ(Text(c.Name), "a-name-of-thirty-one-characte");
  EXPECT_TRUE(c.RecordSize == 132 && c.ShortArg1 == 3 && c.RealArg1 == 1.25);
  EXPECT_TRUE(AllZero(crest, 34, 36) && AllZero(crest, 38, 44) && AllZero(crest, 52, 132));
  EXPECT_EQ((std::vector<double>{r[0], r[1], r[2], r[3], double(s)}),
            (std::vector<double>{60, 0, 76, 84, -38}));

  EXPECT_EQ(Stl_FindSignalLoopW(L"w", 1, 2, 3, vardNegative, 4, 5, 6, &r[0], &r[1], nullptr, 0, 0),
            vardNotFound);
  const Received loop = Last();
  const auto& l = loop.As<StlRequest>();
  EXPECT_TRUE(l.ShortArg1 == 1 && l.RealArg1 == 2 && l.RealArg2 == 3 && l.ShortArg2 == -1 &&
              l.RealArg3 == 4 && l.RealArg4 == 5 && l.RealArg5 == 6 && r[0] == 76 && r[1] == 84);
  EXPECT_EQ(Stl_CrestMethod("w", 1, 0.5, vardCrestPeakToPeak, &r[0], &r[1], 0, 0), vardNotFound);
  EXPECT_EQ(+Last().As<StlRequest>().ShortArg2Method, vardCrestPeakToPeak);
  EXPECT_TRUE(r[0] == 116 && r[1] == 124);
  EXPECT_EQ(SentCodes(), (std::vector<std::uint32_t>{100, 101, 102}));
}

}  // namespace
