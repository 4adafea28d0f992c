// The waveform operations as clients see them through Dispatch: handles,
// publication at close, the fields a chunked transfer relies on, and the
// codes of refused requests.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "server/core/waveform.h"
#include "tests/native/pool_client.h"

namespace vard::server {
namespace {

using proto::WaveformRequest;
using testing::Got;
using testing::PoolClient;
using testing::Put;

// A client that speaks the waveform family the way the library does.
class WaveClient : public PoolClient {
 public:
  using PoolClient::PoolClient;

  WaveformRequest& Begin(std::uint32_t opcode) {
    return PoolClient::Begin<WaveformRequest>(opcode);
  }
  WaveformRequest& Rec() { return Record<WaveformRequest>(); }
  std::uint8_t* Area() {
    return reinterpret_cast<std::uint8_t*>(&Rec()) + proto::kSampleAreaOffset;
  }

  std::uint32_t Named(std::uint32_t opcode, const char* name, std::int16_t type = 0) {
    auto& r = Begin(opcode);
    Put(r.Name, name);
    r.Type = type;
    return Send(opcode);
  }
  std::uint32_t OnHandle(std::uint32_t opcode, std::int16_t handle) {
    auto& r = Begin(opcode);
    r.Src = r.Waveform = handle;
    return Send(opcode);
  }
  std::int16_t Open(const char* name) {
    return Named(proto::kOpenWaveform, name) == kOK ? Rec().Waveform : 0;
  }
  std::int16_t Lock(const char* name) {
    return Named(proto::kLockWaveform, name) == kOK ? Rec().Src : 0;
  }
  template <class T>
  std::uint32_t Write(std::int16_t w, std::int32_t first, const std::vector<T>& v) {
    auto& r = Begin(proto::kWriteWaveform);
    r.Waveform = w;
    r.FirstSample = first;
    r.LastSample = first + static_cast<std::int32_t>(v.size()) - 1;
    std::memcpy(Area(), v.data(), v.size() * sizeof(T));
    return Send(proto::kWriteWaveform);
  }
  // GetWaveformData as float, empty on failure.
  std::vector<float> Read(std::int16_t src, std::int16_t block, std::int32_t first,
                          std::int32_t last, std::uint16_t reduction = 1) {
    auto& r = Begin(proto::kGetWaveformData);
    r.Src = src;
    r.Block = block;
    r.FirstSample = first;
    r.LastSample = last;
    r.Reduction = reduction;
    r.DataType = kSampleFloat;
    const WaveformRequest sent = r;
    if (Send(proto::kGetWaveformData) != kOK) return {};
    // The library keeps these in the record from one chunk to the next.
    EXPECT_EQ(std::memcmp(&Rec(), &sent, sizeof sent), 0) << "the reply touched the record";
    std::vector<float> out(
        static_cast<std::size_t>(WaveformData::ReadElementCount(last - first + 1, reduction)));
    std::memcpy(out.data(), Area(), out.size() * sizeof(float));
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

// The full round trip of every operation is the end-to-end test's, and the
// decoder fuzz test's under the sanitizers; here, what another client sees when.
TEST_F(WaveformOpsTest, OthersSeeAWritersWorkFromItsCloseOnAndLocksKeepTheirs) {
  ASSERT_EQ(writer.Named(proto::kCreateWaveform, "Scope", kSampleFloat), kOK);
  const std::int16_t w = writer.Open("scope");
  ASSERT_GT(w, 0);
  auto& len = writer.Begin(proto::kSetWaveformLength);
  len.Waveform = w, len.Length = 100;
  ASSERT_EQ(writer.Send(proto::kSetWaveformLength), kOK);
  ASSERT_EQ(writer.Write(w, 0, Ramp(200, 0)), kOK);  // two blocks

  const std::int16_t before = reader.Lock("Scope");
  EXPECT_EQ(reader.OnHandle(proto::kGetHorizontal, before), kOK);
  EXPECT_EQ(reader.Rec().Length, 0);
  ASSERT_EQ(writer.OnHandle(proto::kCloseWaveform, w), kOK);

  const std::int16_t src = reader.Lock("SCOPE");
  EXPECT_EQ(reader.OnHandle(proto::kGetHorizontal, src), kOK);
  EXPECT_EQ(reader.Rec().Length, 100);
  EXPECT_EQ(reader.Rec().Block, 2);  // the number of blocks
  EXPECT_EQ(reader.OnHandle(proto::kGetVertical, src), kOK);
  EXPECT_EQ(Got(reader.Rec().Name), "Scope");  // as created
  EXPECT_EQ(reader.Read(src, 1, 95, 99), Ramp(5, 195));
  EXPECT_EQ(reader.Read(src, 1, 0, 9, 4), (std::vector<float>{100, 103, 104, 107, 108, 109}));
  EXPECT_EQ(reader.OnHandle(proto::kGetHorizontal, before), kOK);
  EXPECT_EQ(reader.Rec().Length, 0);
}

TEST_F(WaveformOpsTest, HandlesBelongToTheirClientAndEnd) {
  ASSERT_EQ(writer.Named(proto::kCreateWaveform, "W", kSampleInteger), kOK);
  const std::int16_t w = writer.Open("W");
  const std::int16_t src = reader.Lock("W");
  ASSERT_GT(w, 0);
  ASSERT_GT(src, 0);
  // Each client's first handle is 1: here it names a resource of the other
  // kind, or nothing at all in the other client's session.
  EXPECT_EQ(reader.OnHandle(proto::kWriteVertical, w), kInvalidHandle);
  EXPECT_EQ(writer.OnHandle(proto::kGetHorizontal, src), kInvalidHandle);
  EXPECT_EQ(reader.OnHandle(proto::kCloseWaveform, src), kInvalidHandle);
  for (std::int16_t bad : {0, -1, -32768, 32767})
    EXPECT_EQ(writer.OnHandle(proto::kGetWaveformDataType, bad), kInvalidHandle) << bad;

  // One writer at a time, whoever asks; the open waveform cannot be deleted.
  EXPECT_EQ(reader.Open("W"), 0);
  EXPECT_EQ(reader.Named(proto::kOpenWaveform, "W"), kProcNotAllowed);
  EXPECT_EQ(writer.Named(proto::kOpenWaveform, "w"), kProcNotAllowed);
  EXPECT_EQ(reader.Variable(proto::kDeleteVariable, "W"), kProcNotAllowed);

  // A client that goes away drops its unpublished samples and its claim.
  ASSERT_EQ(writer.Write(w, 0, std::vector<std::int16_t>{1, 2, 3}), kOK);
  writer.session().Release();
  EXPECT_EQ(writer.OnHandle(proto::kWriteWaveform, w), kInvalidHandle);
  const std::int16_t again = reader.Open("W");
  ASSERT_GT(again, 0);
  EXPECT_EQ(reader.OnHandle(proto::kCloseWaveform, again), kOK);
  EXPECT_EQ(reader.OnHandle(proto::kCloseWaveform, again), kInvalidHandle);
  const std::int16_t now = reader.Lock("W");
  EXPECT_EQ(reader.OnHandle(proto::kGetHorizontal, now), kOK);
  EXPECT_EQ(reader.Rec().Length, 0);

  EXPECT_EQ(reader.OnHandle(proto::kUnlockWaveform, src), kOK);
  EXPECT_EQ(reader.OnHandle(proto::kUnlockWaveform, src), kInvalidHandle);
  EXPECT_EQ(reader.OnHandle(proto::kGetBlockInfo, src), kInvalidHandle);
  EXPECT_EQ(reader.Variable(proto::kDeleteVariable, "W"), kOK);
  // A lock outlives the variable: it holds a snapshot, not a name.
  EXPECT_EQ(reader.OnHandle(proto::kGetVertical, now), kOK);
}

// A writer whose variable was replaced behind its back must not publish into
// the newcomer.
TEST_F(WaveformOpsTest, CloseAfterTheVariableWasReplacedPublishesNothing) {
  ASSERT_EQ(writer.Named(proto::kCreateWaveform, "R", kSampleFloat), kOK);
  const std::int16_t w = writer.Open("R");
  ASSERT_EQ(writer.Write(w, 0, Ramp(10, 0)), kOK);
  pool.Write().Erase("R");
  ASSERT_EQ(reader.Named(proto::kCreateWaveform, "R", kSampleFloat), kOK);
  const std::string before = pool.Dump();
  EXPECT_EQ(writer.OnHandle(proto::kCloseWaveform, w), kNoSuchObject);
  EXPECT_EQ(pool.Dump(), before);
  EXPECT_EQ(writer.OnHandle(proto::kCloseWaveform, w), kInvalidHandle);
}

TEST_F(WaveformOpsTest, RefusalsAnswerTheirCodeAndChangeNothing) {
  ASSERT_EQ(writer.CreateNumber("Num", 1), kOK);
  ASSERT_EQ(writer.Named(proto::kCreateWaveform, "F", kSampleFloat), kOK);
  EXPECT_EQ(writer.Named(proto::kCreateWaveform, "f", kSampleDigital), kAlreadyExists);
  EXPECT_EQ(writer.Named(proto::kCreateWaveform, "G", 3), kInvalidType);
  EXPECT_EQ(writer.Named(proto::kCreateWaveform, "", kSampleFloat), kInvalidName);
  EXPECT_EQ(writer.Named(proto::kLockWaveform, "Num"), kInvalidType);
  EXPECT_EQ(writer.Named(proto::kOpenWaveform, "Nope"), kNoSuchObject);
  EXPECT_EQ(writer.Named(proto::kGetWaveformValue, "F"), kNoSuchData);  // no samples yet

  const std::int16_t w = writer.Open("F");
  ASSERT_EQ(writer.Write(w, 0, Ramp(10000, 0)), kOK);
  ASSERT_EQ(writer.Write(w, 10000, Ramp(10000, 10000)), kOK);
  ASSERT_EQ(writer.OnHandle(proto::kCloseWaveform, w), kOK);
  const std::string before = pool.Dump();
  const std::int16_t w2 = writer.Open("F");
  const std::int16_t src = reader.Lock("F");

  auto read = [&](std::int16_t block, std::int32_t first, std::int32_t last,
                  std::uint16_t reduction) {
    auto& r = reader.Begin(proto::kGetWaveformData);
    r.Src = src, r.Block = block, r.FirstSample = first, r.LastSample = last;
    r.Reduction = reduction, r.DataType = kSampleFloat;
    std::memset(reader.Area(), 0xAB, proto::kSampleAreaSize);
    const std::uint32_t rc = reader.Send(proto::kGetWaveformData);
    EXPECT_EQ(reader.Area()[0], 0xAB) << "a refused read wrote samples";
    return rc;
  };
  EXPECT_EQ(read(1, 0, 0, 1), kNoSuchData);
  EXPECT_EQ(read(-1, 0, 0, 1), kNoSuchData);
  EXPECT_EQ(read(0, 5, 4, 1), kInvalidParameter);
  EXPECT_EQ(read(0, -1, 4, 1), kInvalidParameter);
  EXPECT_EQ(read(0, 0, 20000, 1), kNoSuchData);
  // More than the sample area holds (16169 floats), reduced or not.
  EXPECT_EQ(read(0, 0, 16168, 1), kInvalidParameter);
  EXPECT_EQ(read(0, 0, 16168, 0), kInvalidParameter);
  EXPECT_EQ(read(0, 0, 19999, 2), kInvalidParameter);

  auto& wr = writer.Begin(proto::kWriteWaveform);
  wr.Waveform = w2, wr.FirstSample = 0, wr.LastSample = 16168;  // 16169 floats do not fit
  EXPECT_EQ(writer.Send(proto::kWriteWaveform), kInvalidParameter);
  wr.FirstSample = 0x7FFFFFFF - 10, wr.LastSample = 0x7FFFFFFF;
  EXPECT_EQ(writer.Send(proto::kWriteWaveform), kOutOfMemory);
  auto& rb = writer.Begin(proto::kReadWaveform);
  rb.Waveform = w2, rb.FirstSample = 19999, rb.LastSample = 20000;
  EXPECT_EQ(writer.Send(proto::kReadWaveform), kNoSuchData);
  auto& len = writer.Begin(proto::kSetWaveformLength);
  len.Waveform = w2, len.Length = -1;
  EXPECT_EQ(writer.Send(proto::kSetWaveformLength), kInvalidParameter);
  ASSERT_EQ(writer.OnHandle(proto::kCloseWaveform, w2), kOK);  // nothing changed: same snapshot
  EXPECT_EQ(pool.Dump(), before);
}

}  // namespace
}  // namespace vard::server
