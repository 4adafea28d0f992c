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
              Rec().Hysterese == 0.25);
  EXPECT_EQ(a, 100);  // Value shares offset 100 with Level
  EXPECT_EQ(b, 108);

  // Nobody wrote offset 40: the requested kind comes back, sent as 0xFFFF.
  EXPECT_EQ(WaveformFindLevelCrossing("w", 0, 0, 1, vardForward, vardNegative, 3.5, &a, &found),
            vardNotFound);
  EXPECT_EQ(Get<std::uint16_t>(Last().block.data(), 40), 0xFFFF);
  EXPECT_EQ(Rec().Level, 3.5);
  EXPECT_EQ(found, vardNegative);

  EXPECT_EQ(WaveformStatistics("w", 0, 0, 1, &a, &b, &c, &d, &e), vardNotFound);
  EXPECT_EQ((std::vector<double>{a, b, c, d, e}), (std::vector<double>{116, 124, 132, 140, 148}));
  EXPECT_EQ(WaveformPulseParameters("w", 0, 0, 1, &a, &b, &c), vardNotFound);
  EXPECT_EQ((std::vector<double>{a, b, c}), (std::vector<double>{176, 184, 192}));
  EXPECT_EQ(WaveformPeriod("w", 0, 0, 1, &a), vardNotFound);
  EXPECT_EQ(a, 200);
  EXPECT_EQ(WaveformLinFit("w", 0, 0, 1, &a, &b), vardNotFound);
  EXPECT_EQ((std::vector<double>{a, b}), (std::vector<double>{208, 216}));
  EXPECT_EQ(SentCodes(), (std::vector<std::uint32_t>{70, 72, 73, 74, 76, 77, 78}));
}

// The bins sent are clamped to 16326; b + 2 counts come back, b being the
// reply's count lowered to what was sent, always into the caller's buffer
// (the reply's HistogramAddress points nowhere); a negative b copies nothing.
TEST_F(Analysis, HistogramClampsAndCopiesBinsPlusTwo) {
  const struct {
    short asked, reply;
    short sent;
    int copied;
  } cases[] = {{16326, 0, 16326, 16328}, {30000, 0, 16326, 16328}, {0, 0, 0, 2},
               {100, 10, 100, 12},       {100, 200, 100, 102},     {-5, 0, -5, 0}};
  std::vector<long> counts(proto::kMaxHistogramBins + 3);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.asked);
    replyBins = c.reply;
    std::fill(counts.begin(), counts.end(), -7);
    EXPECT_EQ(WaveformHistogram("w", 1, 0, 1, 5.0, -5.0, c.asked, counts.data()), vardNotFound);
    EXPECT_EQ(+Rec().NumberOfBins, c.sent);
    EXPECT_TRUE(Rec().Ytop == 5.0 && Rec().Ybottom == -5.0);
    EXPECT_EQ(+Rec().HistogramAddress,
              static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(counts.data())));
    for (int i = 0; i < c.copied; ++i) ASSERT_EQ(counts[i], i + 1) << i;
    EXPECT_EQ(counts[c.copied], -7);
  }
  replyBins = 0;
  EXPECT_EQ(WaveformHistogram("w", 1, 0, 1, 5.0, -5.0, 10, nullptr), vardBufferToSmall);
  EXPECT_EQ(WaveformHistogramW(L"w", 1, 0, 1, 5.0, -5.0, 10, reinterpret_cast<long*>(16)),
            vardBufferToSmall);
}

// --- Crest and signal loops -----------------------------------------------------

class Crest : public RequestTest {
 protected:
  void SetUp() override {
    RequestTest::SetUp();
    server_.SetHandler([](std::uint32_t, std::uint8_t* block) -> LRESULT {
      for (std::size_t at = 60; at + 8 <= sizeof(StlRequest); at += 8) Put(block, at, double(at));
      Put(block, offsetof(StlRequest, ShortResult), std::int16_t{-38});
      return vardNotFound;
    });
  }
};

TEST_F(Crest, InputsGoToTheirFieldsAndNullResultsAreSkipped) {
  double r[4] = {};
  short s = 0;
  EXPECT_EQ(Stl_Crest("a-name-of-thirty-one-characters", 3, 1.25, &r[0], nullptr, &r[2], &r[3], &s,
                      -1, 0x7FFFFFFF),
            vardNotFound);
  const Received first = Last();
  const auto& crest = first.As<StlRequest>();
  EXPECT_EQ(Text(crest.Name), "a-name-of-thirty-one-characte");
  EXPECT_TRUE(crest.RecordSize == 132 && crest.ShortArg1 == 3 && crest.RealArg1 == 1.25);
  EXPECT_TRUE(AllZero(Last(), 34, 36) && AllZero(Last(), 38, 44) && AllZero(Last(), 52, 132));
  EXPECT_EQ((std::vector<double>{r[0], r[1], r[2], r[3]}), (std::vector<double>{60, 0, 76, 84}));
  EXPECT_EQ(s, -38);

  EXPECT_EQ(Stl_FindSignalLoopW(L"w", 1, 2, 3, vardNegative, 4, 5, 6, &r[0], &r[1], nullptr, 0, 0),
            vardNotFound);
  const Received second = Last();
  const auto& loop = second.As<StlRequest>();
  EXPECT_TRUE(loop.ShortArg1 == 1 && loop.RealArg1 == 2 && loop.RealArg2 == 3 &&
              loop.ShortArg2 == vardNegative && loop.RealArg3 == 4 && loop.RealArg4 == 5 &&
              loop.RealArg5 == 6);
  EXPECT_TRUE(r[0] == 76 && r[1] == 84);

  EXPECT_EQ(Stl_CrestMethod("w", 1, 0.5, vardCrestPeakToPeak, nullptr, nullptr, 0, 0), vardNotFound);
  EXPECT_EQ(+Last().As<StlRequest>().ShortArg2Method, vardCrestPeakToPeak);
  EXPECT_EQ(Stl_CrestMethodW(L"w", 1, 0.5, 0, &r[0], &r[1], 0, 0), vardNotFound);
  EXPECT_TRUE(r[0] == 116 && r[1] == 124);
  EXPECT_EQ(SentCodes(), (std::vector<std::uint32_t>{100, 101, 102, 102}));
}

// Unregistered, the crest family answers 1001 where every other one answers
// 1000, and sends nothing.
TEST_F(Crest, AnswersExceptionWhenNotInitialised) {
  ExitDataManager();
  double x = 0;
  EXPECT_EQ(Stl_Crest("w", 0, 0, &x, &x, &x, &x, nullptr, 0, 0), vardException);
  EXPECT_EQ(Stl_CrestMethodW(L"w", 0, 0, 0, &x, &x, 0, 0), vardException);
  EXPECT_EQ(WaveformPeriod("w", 0, 0, 1, &x), vardNotInitialized);
  EXPECT_TRUE(SentCodes().empty());
  InitDataManager();
}

}  // namespace
