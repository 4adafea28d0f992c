// The waveform store (docs/waveforms.md): layout rules, conversions,
// reductions, and that snapshots never see a writer's changes before it
// publishes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "server/core/waveform.h"

namespace vard::server {
namespace {

using Snap = std::shared_ptr<const WaveformData>;
using F = std::vector<float>;
using S = std::vector<std::int16_t>;

Snap Make(std::int16_t type) {
  Snap s;
  EXPECT_EQ(WaveformData::Create(type, &s), vardOK);
  return s;
}

template <class T>
std::uint16_t Put(WaveformWriter& w, std::int32_t first, const std::vector<T>& v) {
  return w.Write(first, first + static_cast<std::int32_t>(v.size()) - 1, v.data(),
                 v.size() * sizeof(T));
}

// Reads as T (float for dataType 4, 16-bit otherwise); empty on failure.
template <class T>
std::vector<T> Get(const WaveformData& d, int block, std::int32_t first, std::int32_t last,
                   std::uint16_t r = 1,
                   std::int16_t type = sizeof(T) == 4 ? vardFloat : vardInteger) {
  std::vector<T> out(static_cast<std::size_t>(WaveformData::ReadElementCount(last - first + 1, r)));
  std::size_t got = 0;
  if (d.Read(block, first, last, r, type, out.data(), out.size() * sizeof(T), &got) != vardOK)
    return {};
  EXPECT_EQ(got, out.size() * sizeof(T));
  return out;
}

F Ramp(std::int32_t n, float from = 0) {
  F v(static_cast<std::size_t>(n));
  for (std::size_t i = 0; i < v.size(); ++i) v[i] = from + static_cast<float>(i);
  return v;
}

TEST(WaveformStore, RoundTripsEachTypeAcrossChunks) {
  const std::int32_t n = kChunkSamples + 100, a = kChunkSamples - 3, b = kChunkSamples + 5;
  const F f = Ramp(n, 0.5f);
  S s(f.size());
  for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<std::int16_t>(i * 7);
  for (std::int16_t type : {vardDigital, vardInteger, vardFloat}) {
    WaveformWriter w(Make(type));
    ASSERT_EQ(type == vardFloat ? Put(w, 0, f) : Put(w, 0, s), vardOK);
    Snap d = w.Publish();
    EXPECT_EQ(d->length(), n);
    if (type == vardFloat) {  // [a, b] straddles a chunk edge
      EXPECT_EQ(Get<float>(*d, 0, a, b), F(f.begin() + a, f.begin() + b + 1));
    } else {
      EXPECT_EQ(Get<std::int16_t>(*d, 0, a, b, 1, type), S(s.begin() + a, s.begin() + b + 1));
    }
    std::vector<char> back(static_cast<std::size_t>(n) * ElementSize(type));
    std::size_t got = 0;
    ASSERT_EQ(w.ReadBack(0, n - 1, back.data(), back.size(), &got), vardOK);
    EXPECT_EQ(std::memcmp(back.data(), type == vardFloat ? (const void*)f.data() : s.data(),
                          back.size()),
              0);
  }
  Snap bad;
  EXPECT_EQ(WaveformData::Create(3, &bad), vardInvalidType);
}

TEST(WaveformStore, GrowingBlockZeroThenFixedLengthAppendsBlocks) {
  WaveformWriter w(Make(vardFloat));
  ASSERT_EQ(Put(w, 5, Ramp(5, 1)), vardOK);  // a gap before the first write reads as zeros
  ASSERT_EQ(Put(w, 12, Ramp(1, 9)), vardOK);
  ASSERT_EQ(Put(w, 15, Ramp(1, 7)), vardOK);  // a gap inside room reserved for growth
  EXPECT_EQ(w.current().length(), 16);
  EXPECT_EQ(Get<float>(w.current(), 0, 0, 15), (F{0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 0, 0, 9, 0, 0, 7}));

  ASSERT_EQ(w.SetLength(4), vardOK);  // from now on a write past the end appends blocks
  ASSERT_EQ(w.SetBlockInfo({1.5, 2024, 1, 2}), vardOK);
  ASSERT_EQ(Put(w, 4, Ramp(6, 10)), vardOK);  // block 1 whole, block 2 half
  ASSERT_EQ(w.SetBlockInfo({7.25, 2025, 3, 4}), vardOK);
  Snap d = w.Publish();
  EXPECT_EQ(d->blocks(), 3);
  EXPECT_EQ(d->length(), 4);
  EXPECT_EQ(Get<float>(*d, 1, 0, 3), (F{10, 11, 12, 13}));
  EXPECT_EQ(Get<float>(*d, 2, 0, 3), (F{14, 15, 0, 0}));
  // Each info went to the block of the latest write; block 1 keeps the defaults.
  BlockInfo info[3];
  for (int i = 0; i < 3; ++i) ASSERT_EQ(d->Info(i, &info[i]), vardOK);
  EXPECT_EQ(info[0].triggerTime, 1.5);
  EXPECT_EQ(info[1].year, 0);
  EXPECT_EQ(info[2].triggerTime, 7.25);
  EXPECT_EQ(info[2].day, 4);
  EXPECT_EQ(d->Info(3, &info[0]), vardNoSuchData);

  // Growing past the chunk that held the old end clears the rest of that chunk.
  WaveformWriter g(Make(vardFloat));
  ASSERT_EQ(Put(g, 0, Ramp(3, 1)), vardOK);
  ASSERT_EQ(Put(g, kChunkSamples + 1, Ramp(1, 4)), vardOK);
  EXPECT_EQ(Get<float>(g.current(), 0, 0, 4), (F{1, 2, 3, 0, 0}));
  EXPECT_EQ(Get<float>(g.current(), 0, kChunkSamples - 1, kChunkSamples + 1), (F{0, 0, 4}));
}

TEST(WaveformStore, SetLengthExtendsWithZerosAndNeverRevivesCutSamples) {
  for (bool publishBetween : {false, true}) {
    WaveformWriter w(Make(vardInteger));
    ASSERT_EQ(Put(w, 0, S{1, 2, 3, 4, 5, 6}), vardOK);
    ASSERT_EQ(w.SetLength(3), vardOK);
    if (publishBetween) w.Publish();  // the chunk is shared now: extending must copy it
    ASSERT_EQ(w.SetLength(5), vardOK);
    EXPECT_EQ(Get<std::int16_t>(w.current(), 0, 0, 4), (S{1, 2, 3, 0, 0}));
    ASSERT_EQ(w.SetLength(kChunkSamples + 2), vardOK);
    EXPECT_EQ(Get<std::int16_t>(w.current(), 0, 0, 5), (S{1, 2, 3, 0, 0, 0}));
    EXPECT_EQ(Get<std::int16_t>(w.current(), 0, kChunkSamples, kChunkSamples + 1), (S{0, 0}));
  }
  WaveformWriter w(Make(vardFloat));
  EXPECT_EQ(w.SetLength(-1), vardInvalidParameter);
  // Emptying a one-block waveform lets writes grow it again.
  ASSERT_EQ(w.SetLength(0), vardOK);
  EXPECT_EQ(Put(w, 0, Ramp(3)), vardOK);
  EXPECT_EQ(w.current().blocks(), 1);
  EXPECT_EQ(w.current().length(), 3);
}

TEST(WaveformStore, ReductionGivesMinThenMaxPerGroup) {
  WaveformWriter w(Make(vardFloat));
  const float nan = std::numeric_limits<float>::quiet_NaN();
  ASSERT_EQ(Put(w, 0, F{3, 1, 2, -4, 9, nan, nan, 5, 7, 8}), vardOK);
  Snap d = w.Publish();
  // Groups {3,1,2} {-4,9,nan} {nan,5,7} and the short {8}: NaN is skipped
  // wherever it stands in a group.
  EXPECT_EQ(Get<float>(*d, 0, 0, 9, 3), (F{1, 3, -4, 9, 5, 7, 8, 8}));
  EXPECT_EQ(Get<float>(*d, 0, 2, 4, 60000), (F{-4, 9}));  // R > n: one group
  EXPECT_EQ(Get<float>(*d, 0, 0, 1, 0), Get<float>(*d, 0, 0, 1, 1));
  // A group of nothing but NaN reports NaN as its minimum and its maximum.
  const F all_nan = Get<float>(*d, 0, 5, 6, 2);
  EXPECT_TRUE(std::isnan(all_nan[0]) && std::isnan(all_nan[1]));

  // A negative YStep turns the largest sample into the smallest value.
  WaveformWriter i(Make(vardInteger));
  ASSERT_EQ(i.SetVertical(0, -2, "V"), vardOK);
  ASSERT_EQ(Put(i, 0, S{1, 5, -3}), vardOK);
  EXPECT_EQ(Get<float>(i.current(), 0, 0, 2, 3), (F{-10, 6}));
  EXPECT_EQ(Get<std::int16_t>(i.current(), 0, 0, 2, 3), (S{5, -3}));
}

TEST(WaveformStore, ConvertsThroughTheVerticalScaling) {
  WaveformWriter i(Make(vardInteger));
  ASSERT_EQ(i.SetVertical(1, 0.5, "mV"), vardOK);
  ASSERT_EQ(Put(i, 0, S{-2, 0, 3}), vardOK);
  EXPECT_EQ(Get<float>(i.current(), 0, 0, 2), (F{0, 1, 2.5f}));

  WaveformWriter dg(Make(vardDigital));
  ASSERT_EQ(Put(dg, 0, std::vector<std::uint16_t>{0xFFFF, 5}), vardOK);
  EXPECT_EQ(Get<float>(dg.current(), 0, 0, 1), (F{65535, 5}));

  WaveformWriter f(Make(vardFloat));
  ASSERT_EQ(f.SetVertical(10, 0.5, "V"), vardOK);
  ASSERT_EQ(Put(f, 0, F{10, 11.25f, 8.75f, 1e9f, -1e9f}), vardOK);
  EXPECT_EQ(Get<std::int16_t>(f.current(), 0, 0, 4),
            (S{0, 3, -3, 32767, -32768}));   // rounded, saturated
  ASSERT_EQ(f.SetVertical(10, 0, ""), vardOK);  // a zero step counts as 1
  EXPECT_EQ(Get<std::int16_t>(f.current(), 0, 1, 1), (S{1}));
}

TEST(WaveformStore, ValueAtInterpolatesOrStepsWithinTheAxis) {
  WaveformWriter f(Make(vardInteger));
  ASSERT_EQ(f.SetHorizontal(100, 10, "s"), vardOK);
  ASSERT_EQ(f.SetVertical(0, 2, "V"), vardOK);
  ASSERT_EQ(Put(f, 0, S{0, 10, 4}), vardOK);
  double y = 0;
  EXPECT_EQ(f.current().ValueAt(0, 105, &y), vardOK);
  EXPECT_DOUBLE_EQ(y, 10);
  EXPECT_EQ(f.current().ValueAt(0, 120, &y), vardOK);  // the last sample itself
  EXPECT_DOUBLE_EQ(y, 8);
  for (double off : {120.5, 99.9}) EXPECT_EQ(f.current().ValueAt(0, off, &y), vardNoSuchData) << off;
  EXPECT_EQ(f.current().ValueAt(1, 100, &y), vardNoSuchData);

  WaveformWriter d(Make(vardDigital));
  ASSERT_EQ(Put(d, 0, std::vector<std::uint16_t>{3, 9}), vardOK);
  EXPECT_EQ(d.current().ValueAt(0, 0.99, &y), vardOK);
  EXPECT_EQ(y, 3);
  // A caller's X0 + i·XStep may land a hair below sample i: still sample i.
  std::vector<std::uint16_t> states(2000);
  for (std::size_t i = 0; i < states.size(); ++i) states[i] = static_cast<std::uint16_t>(i);
  ASSERT_EQ(Put(d, 0, states), vardOK);
  ASSERT_EQ(d.SetHorizontal(-2.5, 0.001, "s"), vardOK);
  for (int i = 0; i < 2000; ++i) {
    ASSERT_EQ(d.current().ValueAt(0, -2.5 + i * 0.001, &y), vardOK);
    ASSERT_EQ(y, i) << "sample " << i;
  }
  ASSERT_EQ(d.SetHorizontal(5, 0, ""), vardOK);  // no step: only X0 exists
  EXPECT_EQ(d.current().ValueAt(0, 5, &y), vardOK);
  EXPECT_EQ(d.current().ValueAt(0, 5.5, &y), vardNoSuchData);
  EXPECT_EQ(WaveformWriter(Make(vardFloat)).current().ValueAt(0, 0, &y), vardNoSuchData);
}

TEST(WaveformStore, SnapshotsKeepWhatTheyLockedAndSharedChunksStayIntact) {
  WaveformWriter w(Make(vardFloat));
  ASSERT_EQ(Put(w, 0, Ramp(10)), vardOK);
  Snap v1 = w.Publish();
  ASSERT_EQ(Put(w, 2, Ramp(1, 100)), vardOK);
  ASSERT_EQ(w.SetHorizontal(1, 2, "ms"), vardOK);
  EXPECT_EQ(Get<float>(*v1, 0, 2, 2), (F{2}));  // unpublished: invisible
  Snap v2 = w.Publish();
  ASSERT_EQ(Put(w, 3, Ramp(1, 200)), vardOK);  // after publishing, v2's chunk is not reused
  EXPECT_EQ(Get<float>(*v1, 0, 2, 3), (F{2, 3}));
  EXPECT_EQ(Get<float>(*v2, 0, 2, 3), (F{100, 3}));
  EXPECT_EQ(v1->x().step, 1);
  EXPECT_EQ(v2->x().units, "ms");

  // Two writers from one snapshot each see only their own change.
  WaveformWriter a(v2), b(v2);
  ASSERT_EQ(Put(a, 0, Ramp(1, -1)), vardOK);
  ASSERT_EQ(Put(b, 1, Ramp(1, -2)), vardOK);
  EXPECT_EQ(Get<float>(a.current(), 0, 0, 1), (F{-1, 1}));
  EXPECT_EQ(Get<float>(b.current(), 0, 0, 1), (F{0, -2}));
  EXPECT_EQ(Get<float>(*v2, 0, 0, 1), (F{0, 1}));
}

TEST(WaveformStore, RefusedRequestsChangeNothing) {
  WaveformWriter w(Make(vardFloat));
  ASSERT_EQ(Put(w, 0, Ramp(4)), vardOK);
  Snap d = w.Publish();
  float out[8] = {};
  std::size_t got = 99;
  const struct {
    int block, first, last;
    std::size_t room;
    std::uint16_t rc;
  } reads[] = {{-1, 0, 0, 32, vardNoSuchData},       {1, 0, 0, 32, vardNoSuchData},
               {0, -1, 0, 32, vardInvalidParameter}, {0, 2, 1, 32, vardInvalidParameter},
               {0, 0, 4, 32, vardNoSuchData},        {0, 0, 3, 15, vardInvalidParameter}};
  for (const auto& r : reads)
    EXPECT_EQ(d->Read(r.block, r.first, r.last, 1, vardFloat, out, r.room, &got), r.rc)
        << r.first;
  EXPECT_EQ(got, 99u);
  EXPECT_EQ(out[0], 0.0f);
  EXPECT_EQ(w.ReadBack(0, 4, out, sizeof out, &got), vardNoSuchData);

  float one = 1;
  const std::int32_t max = std::numeric_limits<std::int32_t>::max();
  EXPECT_EQ(w.Write(-1, 0, &one, 4), vardInvalidParameter);
  EXPECT_EQ(w.Write(1, 0, &one, 4), vardInvalidParameter);
  EXPECT_EQ(w.Write(0, 1, &one, 4), vardInvalidParameter);  // source too short
  EXPECT_EQ(w.Write(max, max, &one, 4), vardOutOfMemory);   // length would pass 2^31 - 1
  ASSERT_EQ(w.SetLength(1 << 30), vardOK);
  EXPECT_EQ(w.Write(max, max, &one, 4), vardOutOfMemory);  // a second block would pass it too
  EXPECT_EQ(w.SetLength(1), vardOK);
  EXPECT_EQ(w.Write(kMaxBlocks, kMaxBlocks, &one, 4), vardOutOfMemory);  // block 32768
  EXPECT_EQ(w.current().blocks(), 1);
  ASSERT_EQ(w.Write(3, 3, &one, 4), vardOK);
  EXPECT_EQ(w.SetLength(max / 2), vardOutOfMemory);
  EXPECT_EQ(w.current().length(), 1);
  ASSERT_EQ(w.SetLength(0), vardOK);  // several blocks of nothing: no place for a sample
  EXPECT_EQ(w.Write(0, 0, &one, 4), vardInvalidParameter);
  EXPECT_EQ(Get<float>(*d, 0, 0, 3), Ramp(4));
}

// Storage only for what was written, up to the very last index of int32.
TEST(WaveformStore, LargeWaveformStoresOnlyWhatWasWritten) {
  WaveformWriter w(Make(vardFloat));
  ASSERT_EQ(w.SetLength(10'000'000), vardOK);
  EXPECT_EQ(w.current().storedBytes(), 0);
  ASSERT_EQ(Put(w, 5'000'000, Ramp(3, 1)), vardOK);
  EXPECT_EQ(w.current().storedBytes(), kChunkSamples * 4);
  Snap d = w.Publish();
  EXPECT_EQ(Get<float>(*d, 0, 4'999'999, 5'000'003), (F{0, 1, 2, 3, 0}));
  EXPECT_EQ(Get<float>(*d, 0, 0, 9'999'999, 65535).size(), 2u * 153);
  WaveformWriter g(Make(vardInteger));
  const std::int32_t top = std::numeric_limits<std::int32_t>::max() - 1;
  ASSERT_EQ(Put(g, top, S{42}), vardOK);
  EXPECT_EQ(Get<std::int16_t>(g.current(), 0, top - 1, top), (S{0, 42}));
}

}  // namespace
}  // namespace vard::server
