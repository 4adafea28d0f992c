// The pool's journal: what a replay rebuilds, what a crash at any byte
// leaves, how large compaction keeps it, and what a full disk does.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "server/core/collection_records.h"
#include "server/core/collection_reader.h"
#include "server/core/collection_writer.h"
#include "server/core/formula_table.h"
#include "server/core/journal.h"
#include "tests/native/memory_file_system.h"
#include "tests/native/pool_client.h"

namespace vard::server {
namespace {

using proto::WaveformRequest;
using testing::MemoryFileSystem;
using testing::PoolClient;
using testing::Put;

constexpr char kJournal[] = "/j/pool.journal";

struct StringFile final : OutputFile {
  std::string bytes;
  bool Write(const void* data, std::size_t size) override {
    bytes.append(static_cast<const char*>(data), size);
    return true;
  }
  bool Flush() override { return true; }
};

// Everything a client can see of the pool: the dump (without snapshot
// addresses and writers) and every variable's samples, axes and block info.
std::string Content(const Pool& pool) {
  std::string all = std::regex_replace(pool.Dump(), std::regex(" waveform=\\S+| writing=\\d"), "");
  std::map<std::string, std::string> records;
  const auto view = pool.Read();
  view.ForEach([&](const Variable& v) {
    StringFile f;
    collection::RecordOutput out(&f);
    out.PutVariable(v, 0);
    out.Drain();
    std::string key = v.name;
    for (char& c : key) c = FoldAscii(c);
    records[key] = f.bytes;
  });
  for (const auto& [name, bytes] : records) all += bytes;
  return all;
}

JournalOptions Options(std::uint64_t floor = 1u << 30) {
  JournalOptions o;
  o.folder = "/j";
  o.compaction_floor = floor;
  o.background = false;
  return o;
}

// A fresh pool rebuilt from `fs`'s journal.
std::string Replayed(MemoryFileSystem& fs, ReplayReport* report = nullptr) {
  Pool pool;
  std::string error;
  auto journal = Journal::Open(fs, pool, Options(), &error, report);
  EXPECT_TRUE(journal) << error;
  return Content(pool);
}

std::uint32_t WriteWave(PoolClient& c, std::string_view name, int samples, float base) {
  Put(c.Begin<WaveformRequest>(proto::kOpenWaveform).Name, name);
  if (const std::uint32_t rc = c.Send(proto::kOpenWaveform); rc != vardOK) return rc;
  const std::int16_t handle = c.Record<WaveformRequest>().Waveform;
  auto& h = c.Begin<WaveformRequest>(proto::kWriteHorizontal);
  h.Waveform = handle, h.X0 = base, h.XStep = 0.5;
  c.Send(proto::kWriteHorizontal);
  auto& w = c.Begin<WaveformRequest>(proto::kWriteWaveform);
  w.Waveform = handle, w.FirstSample = 0, w.LastSample = samples - 1;
  auto* area = reinterpret_cast<std::uint8_t*>(&w) + proto::kSampleAreaOffset;
  for (int i = 0; i < samples; ++i) {
    const float f = base + i;
    std::memcpy(area + 4 * i, &f, 4);
  }
  c.Send(proto::kWriteWaveform);
  c.Begin<WaveformRequest>(proto::kCloseWaveform).Waveform = handle;
  return c.Send(proto::kCloseWaveform);
}

// Every kind of published change, one request at a time; after each, the
// pool's content and the journal's length.
struct History {
  std::vector<std::string> contents;
  std::vector<std::uint64_t> sizes;
};

History RunEveryKindOfChange(MemoryFileSystem& fs, Pool& pool, Journal& journal) {
  History h;
  PoolClient c(pool);
  auto step = [&](std::uint32_t rc, std::uint32_t expected = vardOK) {
    EXPECT_EQ(rc, expected) << "step " << h.sizes.size();
    h.contents.push_back(Content(pool));
    h.sizes.push_back(journal.Bytes());
  };
  {  // a collection to load, written before the pool has anything in it
    Pool other;
    PoolClient o(other);
    o.CreateNumber("Loaded", 4.5, "A", "from a file");
    o.CreateString("Speed", "loaded text");
    std::unique_ptr<CollectionWriter> w;
    EXPECT_EQ(CollectionWriter::Create(fs, "/c.vcl", "", 0, &w), vardCollReturnOK);
    const auto view = other.Read();
    view.ForEach([&](const Variable& v) { w->Add(v, 0); });
    EXPECT_EQ(w->Commit(), vardCollReturnOK);
  }
  step(c.CreateNumber("Speed", 1.5, "km/h", "first", "Bench.Motor"));
  step(c.Scalar(proto::kSetNumber, "SPEED", "", -2.25));
  step(c.Scalar(proto::kSetUnits, "speed", "m/s"));
  step(c.Scalar(proto::kSetDescription, "Speed", "second"));
  step(c.CreateString("Note", "hello", "Bench"));
  step(c.Scalar(proto::kSetString, "note", std::string(255, 'x')));
  auto& cw = c.Begin<WaveformRequest>(proto::kCreateWaveform);
  Put(cw.Name, "Wave"), Put(cw.Path, "Bench.Motor"), cw.Type = vardFloat;
  step(c.Send(proto::kCreateWaveform));
  step(WriteWave(c, "wave", 3000, 3.0f));
  step(c.Scalar(proto::kSetDescription, "Wave", "described"));
  step(static_cast<std::uint32_t>(formula::AddFormula(pool, {"Twice", "2*Speed", "V", "calc"})), 1);
  step(static_cast<std::uint32_t>(formula::AddFormula(pool, {"Other", "Twice+1", "", ""})), 2);
  step(formula::SetFormula(pool, 1, {"Twice", "3*Speed", "V", "calc"}));  // in place
  step(formula::SetFormula(pool, 1, {"Thrice", "3*Speed", "", ""}));      // renamed
  step(c.Scalar(proto::kSetUnits, "Thrice", "mV"));
  step(formula::DeleteFormula(pool, 2));
  step(LoadCollection(fs, pool, "/c.vcl", ""));  // replaces Speed, adds Loaded
  step(LoadCollection(fs, pool, "/c.vcl", "Copy"));
  step(c.Variable(proto::kDeleteVariable, "Loaded"));
  step(c.Variable(proto::kDeleteSubTree, "", "Bench"));
  step(c.CreateNumber("Fresh", 7, "", "", "Again"));
  return h;
}

// A pool rebuilt from a journal file holding the first `cut` bytes of `bytes`.
std::string ReplayedPrefix(const std::string& bytes, std::size_t cut,
                           ReplayReport* report = nullptr) {
  MemoryFileSystem fs;
  const auto* b = reinterpret_cast<const std::byte*>(bytes.data());
  fs.files[kJournal].assign(b, b + cut);
  const std::string first = Replayed(fs, report);
  // The torn tail is gone: the rewritten journal replays the same.
  EXPECT_EQ(Replayed(fs), first) << cut;
  return first;
}

TEST(JournalTest, AReplayRebuildsEveryPublishedChangeAndACrashAtAnyByteLosesOnlyUnansweredOnes) {
  MemoryFileSystem fs;
  Pool pool;
  std::string error;
  auto journal = Journal::Open(fs, pool, Options(), &error);
  ASSERT_TRUE(journal) << error;
  const std::uint64_t empty = journal->Bytes();
  const History h = RunEveryKindOfChange(fs, pool, *journal);
  const auto& file = fs.files[kJournal];
  const std::string whole(reinterpret_cast<const char*>(file.data()), file.size());
  ASSERT_EQ(whole.size(), h.sizes.back());
  EXPECT_EQ(ReplayedPrefix(whole, whole.size()), h.contents.back());

  // Cut anywhere: what comes back is the state after the last request whose
  // records are all there.
  std::vector<std::uint64_t> cuts;
  for (std::uint64_t at = empty; at < whole.size(); at += 31) cuts.push_back(at);
  for (std::uint64_t end : h.sizes) cuts.insert(cuts.end(), {end - 1, end, end + 1});
  const std::string before_any = Content(Pool{});
  for (std::uint64_t cut : cuts) {
    if (cut < empty || cut > whole.size()) continue;
    const auto k = std::upper_bound(h.sizes.begin(), h.sizes.end(), cut) - h.sizes.begin();
    ReplayReport report;
    ASSERT_EQ(ReplayedPrefix(whole, cut, &report), k == 0 ? before_any : h.contents[k - 1])
        << cut;
    EXPECT_EQ(report.torn, cut != (k == 0 ? empty : h.sizes[k - 1])) << cut;
  }
  // A flipped byte inside a record ends the replay before that record's request.
  std::string flipped = whole;
  flipped[(h.sizes[6] + h.sizes[7]) / 2] ^= 0x40;
  ReplayReport report;
  EXPECT_EQ(ReplayedPrefix(flipped, flipped.size(), &report), h.contents[6]);
  EXPECT_TRUE(report.torn);
}

TEST(JournalTest, CompactionKeepsTheJournalWithinTwiceTheLiveData) {
  MemoryFileSystem fs;
  Pool pool;
  constexpr std::uint64_t kFloor = 8192;
  auto journal = Journal::Open(fs, pool, Options(kFloor), nullptr);
  ASSERT_TRUE(journal);
  PoolClient c(pool);
  for (int i = 0; i < 40; ++i) c.CreateNumber("n" + std::to_string(i), i);
  auto& cw = c.Begin<WaveformRequest>(proto::kCreateWaveform);
  Put(cw.Name, "Wave"), cw.Type = vardFloat;
  c.Send(proto::kCreateWaveform);
  for (int i = 0; i < 3000; ++i) {
    if (i % 500 == 0) ASSERT_EQ(WriteWave(c, "Wave", 2000 + i, float(i)), vardOK);
    ASSERT_EQ(c.Scalar(proto::kSetNumber, "n" + std::to_string(i % 40), "", i), vardOK);
    std::uint64_t live = 0;
    pool.Read().ForEach([&](const Variable& v) { live += collection::VariableRecordSize(v); });
    ASSERT_LE(journal->Bytes(), std::max(2 * live, kFloor)) << i;
  }
  EXPECT_GE(journal->Compactions(), 5u);
  EXPECT_EQ(Replayed(fs), Content(pool));
}

TEST(JournalTest, AChangeTheDiskCannotTakeIsAnsweredAsFailedAndWrittenLater) {
  MemoryFileSystem fs;
  Pool pool;
  auto journal = Journal::Open(fs, pool, Options(), nullptr);
  ASSERT_TRUE(journal);
  PoolClient c(pool);
  ASSERT_EQ(c.CreateNumber("Kept", 1), vardOK);
  fs.disk_space = 20;  // less than any record
  EXPECT_EQ(c.CreateNumber("Unsure", 2), vardInternalError);
  EXPECT_EQ(formula::AddFormula(pool, {"F", "1", "", ""}), 1);  // not through a request
  auto& r = c.Begin<proto::FormulaRequest>(proto::kAddFormula);
  Put(r.Name, "G"), Put(r.Formula, "2");
  EXPECT_EQ(c.Send(proto::kAddFormula), 0x10000u - vardInternalError);  // a row answers negated
  fs.disk_space = SIZE_MAX;
  EXPECT_EQ(c.Scalar(proto::kSetNumber, "Kept", "", 3), vardOK);  // rewrites all of it
  EXPECT_EQ(Replayed(fs), Content(pool));
  EXPECT_NE(Content(pool).find("\"Unsure\""), std::string::npos);
}

TEST(JournalTest, AFolderThatIsNotAJournalsOrCannotBeWrittenIsRefused) {
  struct Case {
    const char* what;
    std::vector<std::byte> file;
    bool fail_create;
  } const cases[] = {
      {"another file", {std::byte{'M'}, std::byte{'Z'}, std::byte{0}}, false},
      {"a future version", {}, false},
      {"a folder that cannot be written", {}, true},
  };
  for (const Case& k : cases) {
    MemoryFileSystem fs;
    if (!k.file.empty()) fs.files[kJournal] = k.file;
    if (std::string_view(k.what) == "a future version") {
      Pool pool;
      ASSERT_TRUE(Journal::Open(fs, pool, Options(), nullptr));
      fs.files[kJournal][8] = std::byte{2};
    }
    fs.fail_create = k.fail_create;
    Pool pool;
    std::string error;
    EXPECT_FALSE(Journal::Open(fs, pool, Options(), &error)) << k.what;
    EXPECT_FALSE(error.empty()) << k.what;
  }
}

}  // namespace
}  // namespace vard::server
