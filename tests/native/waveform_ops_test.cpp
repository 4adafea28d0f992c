// The waveform operations as clients see them through Dispatch: handles,
// publication at close, the fields a chunked transfer relies on, and the
// codes of refused requests. Every operation's full round trip is the
// end-to-end test's, and the decoder fuzz test's under the sanitizers.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "server/core/waveform.h"
#include "tests/native/pool_client.h"

namespace vard::server {
namespace {

using namespace proto;
using testing::Got;
using testing::Put;

// A client that speaks the waveform family the way the library does.
class WaveClient : public testing::PoolClient {
 public:
  using PoolClient::PoolClient;
  WaveformRequest& Begin(std::uint32_t opcode) {
    return PoolClient::Begin<WaveformRequest>(opcode);
  }
  WaveformRequest& Rec() { return Record<WaveformRequest>(); }
  std::uint8_t* Area() { return reinterpret_cast<std::uint8_t*>(&Rec()) + kSampleAreaOffset; }

  std::uint32_t Named(std::uint32_t opcode, const char* name, std::int16_t type = 0) {
    Put(Begin(opcode).Name, name);
    Rec().Type = type;
    return Send(opcode);
  }
  std::uint32_t OnHandle(std::uint32_t opcode, std::int16_t handle) {
    Begin(opcode).Src = handle;
    Rec().Waveform = handle;
    return Send(opcode);
  }
  std::int16_t Open(const char* name) {
    return Named(kOpenWaveform, name) == vardOK ? Rec().Waveform : 0;
  }
  std::int16_t Lock(const char* name) { return Named(kLockWaveform, name) == vardOK ? Rec().Src : 0; }
  // Length of the waveform behind a Src as GetHorizontal reports it, -1 on failure.
  std::int32_t LengthOf(std::int16_t src) {
    return OnHandle(kGetHorizontal, src) == vardOK ? Rec().Length : -1;
  }
  std::uint32_t Range(std::uint32_t opcode, std::int16_t w, std::int32_t first, std::int32_t last) {
    auto& r = Begin(opcode);
    r.Waveform = w, r.FirstSample = first, r.LastSample = last;
    return Send(opcode);
  }
  std::uint32_t SetLength(std::int16_t w, std::int32_t n) {
    Begin(kSetWaveformLength).Waveform = w;
    Rec().Length = n;
    return Send(kSetWaveformLength);
  }
  template <class T>
  std::uint32_t Write(std::int16_t w, std::int32_t first, const std::vector<T>& v) {
    auto& r = Begin(kWriteWaveform);
    r.Waveform = w, r.FirstSample = first,
    r.LastSample = first + static_cast<std::int32_t>(v.size()) - 1;
    std::memcpy(Area(), v.data(), v.size() * sizeof(T));
    return Send(kWriteWaveform);
  }
  // GetWaveformData as float into an area filled with 0xAB; the record must
  // come back as sent, since the library keeps it from one chunk to the next.
  std::uint32_t Read(std::int16_t src, std::int16_t block, std::int32_t first, std::int32_t last,
                     std::uint16_t reduction = 1) {
    auto& r = Begin(kGetWaveformData);
    r.Src = src, r.Block = block, r.FirstSample = first, r.LastSample = last;
    r.Reduction = reduction, r.DataType = vardFloat;
    std::memset(Area(), 0xAB, kSampleAreaSize);
    const WaveformRequest sent = r;
    const std::uint32_t rc = Send(kGetWaveformData);
    EXPECT_EQ(std::memcmp(&Rec(), &sent, sizeof sent), 0) << "the reply touched the record";
    EXPECT_TRUE(rc == vardOK || Area()[0] == 0xAB) << "a refused read wrote samples";
    return rc;
  }
  std::vector<float> Floats(std::size_t n) {
    std::vector<float> out(n);
    std::memcpy(out.data(), Area(), n * sizeof(float));
    return out;
  }
};

std::vector<float> Ramp(int n, float from) {
  std::vector<float> v(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) v[static_cast<std::size_t>(i)] = from + static_cast<float>(i);
  return v;
}

class WaveformOpsTest : public ::testing::Test {
 protected:
  Pool pool;
  WaveClient writer{pool}, reader{pool};
};

TEST_F(WaveformOpsTest, OthersSeeAWritersWorkFromItsCloseOnAndLocksKeepTheirs) {
  ASSERT_EQ(writer.Named(kCreateWaveform, "Scope", vardFloat), vardOK);
  const std::int16_t w = writer.Open("scope");
  ASSERT_GT(w, 0);
  ASSERT_EQ(writer.SetLength(w, 100), vardOK);
  ASSERT_EQ(writer.Write(w, 0, Ramp(200, 0)), vardOK);  // two blocks

  const std::int16_t before = reader.Lock("Scope");
  EXPECT_EQ(reader.LengthOf(before), 0);
  ASSERT_EQ(writer.OnHandle(kCloseWaveform, w), vardOK);

  const std::int16_t src = reader.Lock("SCOPE");
  EXPECT_EQ(reader.LengthOf(src), 100);
  EXPECT_EQ(reader.Rec().Block, 2);  // the number of blocks
  EXPECT_EQ(reader.OnHandle(kGetVertical, src), vardOK);
  EXPECT_EQ(Got(reader.Rec().Name), "Scope");  // as created
  ASSERT_EQ(reader.Read(src, 1, 95, 99), vardOK);
  EXPECT_EQ(reader.Floats(5), Ramp(5, 195));
  ASSERT_EQ(reader.Read(src, 1, 0, 9, 4), vardOK);
  EXPECT_EQ(reader.Floats(6), (std::vector<float>{100, 103, 104, 107, 108, 109}));
  EXPECT_EQ(reader.LengthOf(before), 0);
}

TEST_F(WaveformOpsTest, HandlesBelongToTheirClientAndEnd) {
  ASSERT_EQ(writer.Named(kCreateWaveform, "W", vardInteger), vardOK);
  const std::int16_t w = writer.Open("W"), src = reader.Lock("W");
  ASSERT_GT(w, 0);
  ASSERT_GT(src, 0);
  // Each client's first handle is 1: here it names a resource of the other
  // kind, or nothing at all in the other client's session.
  EXPECT_EQ(reader.OnHandle(kWriteVertical, w), vardInvalidHandle);
  EXPECT_EQ(writer.OnHandle(kGetHorizontal, src), vardInvalidHandle);
  EXPECT_EQ(reader.OnHandle(kCloseWaveform, src), vardInvalidHandle);
  for (std::int16_t bad : {0, -1, -32768, 32767})
    EXPECT_EQ(writer.OnHandle(kGetWaveformDataType, bad), vardInvalidHandle) << bad;

  // One writer at a time, whoever asks; the open waveform cannot be deleted.
  EXPECT_EQ(reader.Named(kOpenWaveform, "W"), vardProcNotAllowed);
  EXPECT_EQ(writer.Named(kOpenWaveform, "w"), vardProcNotAllowed);
  EXPECT_EQ(reader.Variable(kDeleteVariable, "W"), vardProcNotAllowed);

  // A client that goes away drops its unpublished samples and its claim.
  ASSERT_EQ(writer.Write(w, 0, std::vector<std::int16_t>{1, 2, 3}), vardOK);
  writer.session().Release();
  EXPECT_EQ(writer.OnHandle(kWriteWaveform, w), vardInvalidHandle);
  const std::int16_t again = reader.Open("W");
  ASSERT_GT(again, 0);
  EXPECT_EQ(reader.OnHandle(kCloseWaveform, again), vardOK);
  EXPECT_EQ(reader.OnHandle(kCloseWaveform, again), vardInvalidHandle);
  const std::int16_t now = reader.Lock("W");
  EXPECT_EQ(reader.LengthOf(now), 0);

  EXPECT_EQ(reader.OnHandle(kUnlockWaveform, src), vardOK);
  EXPECT_EQ(reader.OnHandle(kUnlockWaveform, src), vardInvalidHandle);
  EXPECT_EQ(reader.OnHandle(kGetBlockInfo, src), vardInvalidHandle);
  EXPECT_EQ(reader.Variable(kDeleteVariable, "W"), vardOK);
  // A lock outlives the variable: it holds a snapshot, not a name.
  EXPECT_EQ(reader.OnHandle(kGetVertical, now), vardOK);
}

// A writer whose variable was replaced behind its back must not publish into
// the newcomer; its handle ends all the same.
TEST_F(WaveformOpsTest, CloseAfterTheVariableWasReplacedPublishesNothing) {
  ASSERT_EQ(writer.Named(kCreateWaveform, "R", vardFloat), vardOK);
  const std::int16_t w = writer.Open("R");
  ASSERT_EQ(writer.Write(w, 0, Ramp(10, 0)), vardOK);
  pool.Write().Erase("R");
  ASSERT_EQ(reader.Named(kCreateWaveform, "R", vardFloat), vardOK);
  const std::string before = pool.Dump();
  EXPECT_EQ(writer.OnHandle(kCloseWaveform, w), vardNoSuchObject);
  EXPECT_EQ(pool.Dump(), before);
  EXPECT_EQ(writer.OnHandle(kCloseWaveform, w), vardInvalidHandle);
}

TEST_F(WaveformOpsTest, RefusalsAnswerTheirCodeAndChangeNothing) {
  ASSERT_EQ(writer.CreateNumber("Num", 1), vardOK);
  ASSERT_EQ(writer.Named(kCreateWaveform, "F", vardFloat), vardOK);
  EXPECT_EQ(writer.Named(kCreateWaveform, "f", vardDigital), vardAlreadyExists);
  EXPECT_EQ(writer.Named(kCreateWaveform, "G", 3), vardInvalidType);
  EXPECT_EQ(writer.Named(kCreateWaveform, "", vardFloat), vardInvalidName);
  EXPECT_EQ(writer.Named(kLockWaveform, "Num"), vardInvalidType);
  EXPECT_EQ(writer.Named(kOpenWaveform, "Nope"), vardNoSuchObject);
  EXPECT_EQ(writer.Named(kGetWaveformValue, "F"), vardNoSuchData);  // no samples yet

  const std::int16_t w = writer.Open("F");
  ASSERT_EQ(writer.Write(w, 0, Ramp(10000, 0)), vardOK);
  ASSERT_EQ(writer.Write(w, 10000, Ramp(10000, 10000)), vardOK);
  ASSERT_EQ(writer.OnHandle(kCloseWaveform, w), vardOK);
  const std::string before = pool.Dump();
  const std::int16_t w2 = writer.Open("F"), src = reader.Lock("F");

  const struct {
    std::int16_t block;
    std::int32_t first, last;
    std::uint16_t reduction;
    std::uint32_t rc;
  } reads[] = {{1, 0, 0, 1, vardNoSuchData},
               {-1, 0, 0, 1, vardNoSuchData},
               {0, 5, 4, 1, vardInvalidParameter},
               {0, -1, 4, 1, vardInvalidParameter},
               {0, 0, 20000, 1, vardNoSuchData},
               // More than the sample area holds (16169 floats), reduced or not.
               {0, 0, 16168, 1, vardInvalidParameter},
               {0, 0, 16168, 0, vardInvalidParameter},
               {0, 0, 19999, 2, vardInvalidParameter}};
  for (const auto& r : reads)
    EXPECT_EQ(reader.Read(src, r.block, r.first, r.last, r.reduction), r.rc)
        << r.block << " " << r.last;

  EXPECT_EQ(writer.Range(kWriteWaveform, w2, 0, 16168),
            vardInvalidParameter);  // 16169 floats do not fit
  EXPECT_EQ(writer.Range(kWriteWaveform, w2, 0x7FFFFFFF - 10, 0x7FFFFFFF), vardOutOfMemory);
  EXPECT_EQ(writer.Range(kReadWaveform, w2, 19999, 20000), vardNoSuchData);
  EXPECT_EQ(writer.SetLength(w2, -1), vardInvalidParameter);
  ASSERT_EQ(writer.OnHandle(kCloseWaveform, w2), vardOK);  // nothing changed: same snapshot
  EXPECT_EQ(pool.Dump(), before);
}

}  // namespace
}  // namespace vard::server
