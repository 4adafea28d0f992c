// Collections in the server core: exact round trips, the forced conversions,
// replacement all or nothing, a disk failing at any point, and a loader that
// refuses every damaged file without touching the pool.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <random>

#include "server/core/collection_reader.h"
#include "server/core/collection_writer.h"
#include "server/core/formula_table.h"
#include "server/core/waveform.h"
#include "tests/native/memory_file_system.h"
#include "tests/native/pool_client.h"

namespace vard::server {
namespace {

using testing::MemoryFileSystem;
using Bytes = MemoryFileSystem::Bytes;

// `blocks` × `length` samples f(i), with axes and block info.
template <class F>
std::shared_ptr<const WaveformData> Wave(std::int16_t type, std::int32_t length, int blocks,
                                         bool fixed, F f) {
  std::shared_ptr<const WaveformData> empty;
  WaveformData::Create(type, &empty);
  WaveformWriter w(empty);
  if (fixed) w.SetLength(length), w.SetBlockCount(blocks);
  const std::size_t e = ElementSize(type), n = std::size_t(length) * blocks;
  std::vector<std::byte> raw(n * e);
  for (std::size_t i = 0; i < n; ++i) {
    const float v = f(i);
    const auto s = static_cast<std::int16_t>(v);
    std::memcpy(&raw[i * e], e == 4 ? static_cast<const void*>(&v) : &s, e);
  }
  if (n > 0) w.Write(0, static_cast<std::int32_t>(n) - 1, raw.data(), raw.size());
  for (int b = 0; b < blocks; ++b) w.SetBlockInfo(b, BlockInfo{b + 0.5, 2024, 6, std::int16_t(b)});
  w.SetHorizontal(-1.0, 0.001, "s");
  w.SetVertical(0.5, type == vardInteger ? -0.25 : 1.0, "mV");
  return w.Publish();
}

void Add(Pool& pool, const std::string& name, Kind kind,
         std::shared_ptr<const WaveformData> data = nullptr, const char* path = "a.b") {
  Variable v;
  v.name = name, v.kind = kind, v.path = path, v.waveform = std::move(data);
  v.description = "about " + name;
  if (kind == Kind::Number) v.value = std::nan("7"), v.units = "kg";
  if (kind == Kind::String) v.text = "two\nlines\x01\xFF";
  pool.Write().Insert(std::move(v));
}

void Seed(Pool& pool) {
  Add(pool, "Num", Kind::Number, nullptr, "");
  Add(pool, "Str", Kind::String);
  Add(pool, "Float", Kind::Waveform,
      Wave(vardFloat, 70001, 3, true, [](auto i) { return i * 0.5f; }));
  Add(pool, "Int", Kind::Waveform,
      Wave(vardInteger, 999, 1, false, [](auto i) { return float(i % 701); }));
  Add(pool, "Digi", Kind::Waveform, Wave(vardDigital, 10, 1, true, [](auto i) { return i & 1; }));
  Add(pool, "Blank", Kind::Waveform, Wave(vardFloat, 0, 3, true, [](auto) { return 0; }));
  formula::AddFormula(pool, {"Twice", "2 * Missing + 1", "V", "refers to nothing yet"});
}

// Saves the named variables (all when none are named).
std::uint16_t Save(FileSystem& fs, const Pool& pool, const std::string& target,
                   std::uint16_t options = 0, std::vector<std::string> names = {}) {
  std::unique_ptr<CollectionWriter> w;
  if (auto rc = CollectionWriter::Create(fs, target, "a comment", 1718000000, &w)) return rc;
  if (names.empty()) pool.Read().ForEach([&](const Variable& v) { names.push_back(v.name); });
  for (const auto& name : names)
    if (auto rc = w->Add(Variable(*pool.Read().Find(name)), options)) return rc;
  return w->Commit();
}

// The collection file of every variable, in the order of their names: equal
// for two pools when every field and sample the format keeps is equal.
Bytes Saved(const Pool& pool) {
  std::vector<std::string> names;
  pool.Read().ForEach([&](const Variable& v) { names.push_back(v.name); });
  std::sort(names.begin(), names.end());
  MemoryFileSystem fs;
  EXPECT_EQ(Save(fs, pool, "/all.vcl", 0, names), vardCollReturnOK);
  return fs.files["/all.vcl"];
}

class CollectionTest : public ::testing::Test {
 protected:
  void SetUp() override { Seed(pool_); }
  std::uint16_t Load(Pool& pool, const char* prefix = "", const char* path = "/c/all.vcl") {
    return LoadCollection(fs_, pool, path, prefix);
  }
  MemoryFileSystem fs_;
  Pool pool_;
};

// Through the host's own file system, into a folder that holds nothing else
// afterwards; then the same bytes from memory under prefixes.
TEST_F(CollectionTest, EveryKindComesBackFieldByFieldAndSampleBySample) {
  namespace stdfs = std::filesystem;
  const auto dir = stdfs::temp_directory_path() / "vard_collection_test";
  stdfs::remove_all(dir);
  ASSERT_TRUE(stdfs::create_directory(dir));
  const std::string target = (dir / "all.vcl").string();
  ASSERT_EQ(Save(HostFileSystem(), pool_, target), vardCollReturnOK);
  Pool loaded, prefixed;
  ASSERT_EQ(LoadCollection(HostFileSystem(), loaded, target, ""), vardCollReturnOK);
  EXPECT_TRUE(Saved(loaded) == Saved(pool_));
  EXPECT_EQ(std::distance(stdfs::directory_iterator(dir), stdfs::directory_iterator()), 1);
  stdfs::remove_all(dir);
  ASSERT_EQ(Save(fs_, pool_, "/c/all.vcl"), vardCollReturnOK);
  // The prefix becomes the first level(s) of every path.
  ASSERT_EQ(Load(prefixed, "Run.7"), vardCollReturnOK);
  EXPECT_EQ(prefixed.Read().Find("Str")->path, "Run.7.a.b");
  EXPECT_EQ(prefixed.Read().Find("Num")->path, "Run.7");
  EXPECT_EQ(prefixed.Read().Find("Twice")->path, "Run.7.Formulas");
  EXPECT_EQ(formula::RowVariable(prefixed.Read(), 1), prefixed.Read().Find("Twice"));
  EXPECT_EQ(Load(prefixed, std::string(29, 'p').c_str()), vardCollReturnOK);
  EXPECT_EQ(Load(prefixed, std::string(30, 'p').c_str()), vardCollPrefixToLong);
  EXPECT_EQ(Load(prefixed, "a..b"), vardCollNoPrefix);
  EXPECT_EQ(Load(prefixed, "   "), vardCollNoPrefix);
}

TEST_F(CollectionTest, LoadingReplacesAllOrNothingAndTheLaterRecordWins) {
  ASSERT_EQ(Save(fs_, pool_, "/c/all.vcl"), vardCollReturnOK);
  Pool target;
  Add(target, "num", Kind::String);  // another kind, another spelling
  Add(target, "FLOAT", Kind::Waveform, Wave(vardDigital, 1, 1, true, [](auto) { return 0; }));
  auto claim = std::make_shared<const WriteClaim>();
  target.Write().Find("Float")->writer = claim;
  const std::string before = target.Dump();
  EXPECT_EQ(Load(target), vardProcNotAllowed);
  EXPECT_EQ(target.Dump(), before);
  claim.reset();
  ASSERT_EQ(Load(target), vardCollReturnOK);
  EXPECT_TRUE(Saved(target) == Saved(pool_));

  std::unique_ptr<CollectionWriter> w;
  Variable n = *pool_.Read().Find("Num");
  CollectionWriter::Create(fs_, "/c/twice.vcl", "", 0, &w);
  for (double value : {1.0, 2.0}) n.value = value, w->Add(n, 0);
  ASSERT_EQ(w->Commit() + Load(target, "", "/c/twice.vcl"), vardCollReturnOK);
  EXPECT_EQ(target.Read().Find("Num")->value, 2.0);
}

TEST_F(CollectionTest, ForcedConversionsKeepTheRangeOrTheCrossings) {
  const float values[] = {-2, 0, 1e-3f, 3, NAN, INFINITY, 2.999f, 0.5f};
  pool_.Write().Find("Float")->waveform =
      Wave(vardFloat, 8, 1, true, [&](auto i) { return values[i]; });
  ASSERT_EQ(Save(fs_, pool_, "/c/int.vcl", vardForceInteger), vardCollReturnOK);
  ASSERT_EQ(Save(fs_, pool_, "/c/all.vcl", vardForceEvent | vardForceInteger), vardCollReturnOK);
  Pool as_int, as_event;
  ASSERT_EQ(Load(as_int, "", "/c/int.vcl"), vardCollReturnOK);
  ASSERT_EQ(Load(as_event), vardCollReturnOK);

  const WaveformData& i = *as_int.Read().Find("Float")->waveform;
  const double step = 5.0 / 65534;  // the range -2 .. 3 onto -32767 .. 32767
  EXPECT_EQ(i.type(), vardInteger);
  EXPECT_DOUBLE_EQ(i.y().step, step);
  float back[8];
  std::size_t n;
  ASSERT_EQ(i.Read(0, 0, 7, 1, vardFloat, back, sizeof back, &n), vardOK);
  for (int k : {0, 1, 2, 3, 6, 7}) EXPECT_NEAR(back[k], values[k], step / 2 + 1e-6) << k;
  EXPECT_EQ(back[4], 0.5f);                    // NaN: the middle
  EXPECT_NEAR(back[5], 3.0, step / 2 + 1e-6);  // infinity: the top

  std::uint16_t bits[8];
  const WaveformData& e = *as_event.Read().Find("Float")->waveform;
  ASSERT_EQ(e.Read(0, 0, 7, 1, vardDigital, bits, sizeof bits, &n), vardOK);
  EXPECT_EQ(std::vector<std::uint16_t>(bits, bits + 8),
            (std::vector<std::uint16_t>{0, 0, 0, 1, 0, 1, 1, 0}));
  EXPECT_EQ(as_event.Read().Find("Int")->waveform->type(), vardDigital);
  EXPECT_EQ(as_int.Read().Find("Blank")->waveform->type(), vardInteger);  // a float without samples
  EXPECT_EQ(as_int.Read().Find("Int")->waveform->type(), vardInteger);
  EXPECT_EQ(as_event.Read().Find("Digi")->waveform->type(), vardDigital);
  EXPECT_EQ(as_int.Read().Find("Twice")->formula->source, "2 * Missing + 1");
}

// A loaded formula keeps its name's row or takes a free one; none left, none loaded.
TEST_F(CollectionTest, FormulasTakeRowsAllOrNothing) {
  ASSERT_EQ(Save(fs_, pool_, "/c/all.vcl"), vardCollReturnOK);
  Pool full;
  for (int row = 1; row <= kFormulaRows; ++row)
    ASSERT_EQ(formula::AddFormula(full, {"f" + std::to_string(row), "1", "", ""}), row);
  const std::string before = full.Dump();
  EXPECT_EQ(Load(full), vardCollOutOfHandles);
  EXPECT_EQ(full.Dump(), before);
  ASSERT_EQ(formula::SetFormula(full, 3, {"Num", "2", "", ""}), vardOK);  // the file's Num frees it
  for (int again = 0; again < 2; ++again) {
    ASSERT_EQ(Load(full), vardCollReturnOK);
    EXPECT_EQ(formula::RowVariable(full.Read(), 3), full.Read().Find("Twice"));
    EXPECT_FALSE(full.Read().Find("Num")->formula);
  }
}

// The disk fails at some point of a save: the target stays as it was and no
// temporary file is left once the collection is given up.
TEST_F(CollectionTest, AFailingDiskLeavesTheOldTargetAndNoTemporary) {
  ASSERT_EQ(Save(fs_, pool_, "/c/all.vcl", 0, {"Num"}), vardCollReturnOK);
  const Bytes old = fs_.files["/c/all.vcl"];
  MemoryFileSystem probe;
  Save(probe, pool_, "/c/x.vcl");
  const std::size_t whole = probe.files["/c/x.vcl"].size();
  for (const auto& [space, flush, replace] : {std::tuple{std::size_t{10}, false, false},
                                              {200, false, false},
                                              {whole / 2, false, false},
                                              {whole - 5, false, false},
                                              {SIZE_MAX, true, false},
                                              {SIZE_MAX, false, true}}) {
    fs_.disk_space = space, fs_.fail_flush = flush, fs_.fail_replace = replace;
    EXPECT_EQ(Save(fs_, pool_, "/c/all.vcl"), vardCollFileWrite) << space << flush;
    EXPECT_EQ(fs_.files["/c/all.vcl"], old);
    EXPECT_EQ(fs_.files.size(), 1u);  // no temporary file left
  }
  fs_.fail_replace = false, fs_.fail_create = true;
  EXPECT_EQ(Save(fs_, pool_, "/c/all.vcl"), vardCollFileCreate);
  EXPECT_EQ(Save(fs_, pool_, "relative.vcl"), vardCollFileCreate);
  EXPECT_EQ(Load(pool_, "", "relative.vcl"), vardCollOpenFile);
  EXPECT_EQ(Load(pool_, "", "/c/missing.vcl"), vardCollOpenFile);
  fs_.fail_read = true;
  EXPECT_EQ(Load(pool_), vardCollFileRead);
}

// A one-record file with byte `at` of its record changed and every CRC made
// right again: a sound file with unusual content.
Bytes Patched(Bytes file, std::size_t at, std::uint8_t value) {
  std::uint32_t header_length, crc;
  std::uint64_t payload;
  std::memcpy(&header_length, &file[12], 4);
  const std::size_t record = 16 + header_length + 4;
  file[record + at] = std::byte(value);
  std::memcpy(&payload, &file[record + 4], 8);
  crc = Crc32Update(0, &file[record], 12 + payload);
  std::memcpy(&file[record + 12 + payload], &crc, 4);
  crc = Crc32Update(0, file.data(), file.size() - 4);
  std::memcpy(&file[file.size() - 4], &crc, 4);
  return file;
}

// Whatever a file holds, a failed load answers a documented code and leaves
// the pool exactly as it was.
TEST_F(CollectionTest, DamagedFilesAreRefusedAndThePoolStaysAsItWas) {
  Pool small;
  Add(small, "Wave", Kind::Waveform, Wave(vardFloat, 5, 2, true, [](auto i) { return i; }));
  Add(small, "Digi", Kind::Waveform, Wave(vardDigital, 3, 1, false, [](auto i) { return i; }));
  formula::AddFormula(small, {"F", "mean(Wave) * 2", "V", ""});
  ASSERT_EQ(Save(fs_, small, "/c/small.vcl"), vardCollReturnOK);
  ASSERT_EQ(Save(fs_, pool_, "/c/one.vcl", 0, {"Num"}), vardCollReturnOK);
  const Bytes good = fs_.files["/c/small.vcl"], one = fs_.files["/c/one.vcl"];
  const std::string before = pool_.Dump();
  auto load = [&](Bytes bytes) {
    fs_.files["/c/f.vcl"] = std::move(bytes);
    return Load(pool_, "", "/c/f.vcl");
  };
  auto refused = [](std::uint16_t rc) {
    return rc == vardCollCorruptedArchive || rc == vardCollNotVardCollFile;
  };
  for (std::size_t n = 0; n < good.size(); ++n)
    ASSERT_TRUE(refused(load(Bytes(good.begin(), good.begin() + n)))) << "cut at " << n;
  for (std::size_t i = 0; i < good.size(); ++i)
    for (int bit = 0; bit < 8; ++bit) {
      Bytes b = good;
      b[i] ^= std::byte(1 << bit);
      ASSERT_TRUE(refused(load(b))) << "byte " << i << " bit " << bit;
    }
  std::mt19937 rng(12);
  for (int k = 0; k < 400; ++k) {  // random files, half of them with the magic
    Bytes b(rng() % 3000);
    for (auto& x : b) x = std::byte(rng());
    if (k % 2) std::memcpy(b.data(), collection::kMagic, std::min<std::size_t>(8, b.size()));
    ASSERT_TRUE(refused(load(b))) << k;
  }
  Bytes longer = good;
  longer.push_back(std::byte{0});
  EXPECT_EQ(load(longer), vardCollCorruptedArchive);
  EXPECT_EQ(load(Patched(one, 0, 5)), vardCollUnknownItem);  // a newer writer's record
  EXPECT_EQ(load(Patched(one, 14, 0x01)),
            vardCollCorruptedArchive);  // a control character in the name
  EXPECT_EQ(pool_.Dump(), before);
}

// The four requests through Dispatch, the way the library sends them.
TEST_F(CollectionTest, RequestsKeepTheirCollectionsInTheClientsSession) {
  using namespace proto;
  SetCollectionFileSystem(&fs_);
  testing::PoolClient a(pool_), b(pool_);
  // Create answers minus the handle on success.
  auto send = [](testing::PoolClient& c, std::uint32_t op, std::int16_t coll, const char* text,
                 const char* name = "", std::uint16_t options = 0) -> std::int32_t {
    auto& r = c.Begin<CollectionRequest>(op);
    r.Coll = coll, r.Options = options;
    testing::Put(r.VarName, text), testing::Put(r.PathName, text);
    testing::Put(r.Name, name), testing::Put(r.Prefix, name);
    const std::int32_t rc = c.Send(op);
    return op == kCreateCollection && rc == vardOK ? -c.Record<CollectionRequest>().Coll : rc;
  };
  const auto coll = static_cast<std::int16_t>(-send(a, kCreateCollection, 0, "/c/r.vcl"));
  ASSERT_GT(coll, 0);
  EXPECT_EQ(send(a, kAddToCollection, coll, "Str", "Renamed"), vardOK);
  EXPECT_EQ(send(b, kAddToCollection, coll, "Str"), vardCollIllegalHandle);  // a's, not b's
  EXPECT_EQ(send(a, kAddToCollection, 0, "Str"), vardCollIllegalHandle);
  EXPECT_EQ(send(a, kAddToCollection, coll, ""), vardCollNoVariableName);
  EXPECT_EQ(send(a, kAddToCollection, coll, "Str", "   "), vardCollNoVariableName);
  EXPECT_EQ(send(a, kAddToCollection, coll, "Missing"), vardCollUnknownObject);
  EXPECT_EQ(send(a, kAddToCollection, coll, "Str", "", 4), vardCollInvalidParameter);
  EXPECT_EQ(send(a, kCloseCollection, coll, ""), vardOK);
  EXPECT_EQ(send(a, kCloseCollection, coll, ""), vardCollIllegalHandle);
  EXPECT_EQ(send(b, kLoadCollection, 0, "/c/r.vcl", "p"), vardOK);
  EXPECT_EQ(pool_.Read().Find("Renamed")->path, "p.a.b");

  // A client that goes away discards its open collection and its temporary file.
  ASSERT_LT(send(b, kCreateCollection, 0, "/c/gone.vcl"), 0);
  b.session().Release();
  while (b.session().Add(ResourceKind::FindCursor, std::make_shared<SessionResource>()) != 0) {
  }
  EXPECT_EQ(send(b, kCreateCollection, 0, "/c/full.vcl"), vardCollOutOfHandles);
  EXPECT_EQ(fs_.files.size(), 1u);  // r.vcl, and no temporary file
  SetCollectionFileSystem(nullptr);
}

TEST(Crc32Test, MatchesTheBitwiseDefinitionOnEveryPathAndCombines) {
  std::vector<std::uint8_t> bytes(1100);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = std::uint8_t(i * 131 + (i >> 3));
  for (std::size_t from : {0, 1, 7})
    for (std::size_t n : {9, 63, 64, 65, 128, 200, 1000}) {
      std::uint32_t c = ~0u;
      for (std::size_t i = from; i < from + n; ++i) {
        c ^= bytes[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
      }
      EXPECT_EQ(Crc32Update(0, &bytes[from], n), ~c) << from << "+" << n;
      const std::uint32_t head = Crc32Update(0, &bytes[from], 5);
      EXPECT_EQ(Crc32Combine(head, Crc32Update(0, &bytes[from + 5], n - 5), n - 5), ~c);
    }
  EXPECT_EQ(Crc32Update(0, "123456789", 9), 0xCBF43926u);
}

}  // namespace
}  // namespace vard::server
