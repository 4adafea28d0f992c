// Collections in the server core: every kind of variable saved and loaded
// back exactly, the forced conversions, replacement all or nothing, failures
// of the disk at any point, and a loader that refuses every damaged file
// without touching the pool.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <chrono>
#include <filesystem>
#include <map>
#include <random>

#include "server/core/collection_reader.h"
#include "server/core/collection_writer.h"
#include "server/core/waveform.h"
#include "tests/native/memory_file_system.h"
#include "tests/native/pool_client.h"

namespace vard::server {
namespace {

using testing::MemoryFileSystem;
using Bytes = MemoryFileSystem::Bytes;

// A waveform of `blocks` × `length` samples of value f(i), with axes and block info.
template <class F>
std::shared_ptr<const WaveformData> Wave(std::int16_t type, std::int32_t length, int blocks,
                                         bool fixed, F f) {
  std::shared_ptr<const WaveformData> empty;
  WaveformData::Create(type, &empty);
  WaveformWriter w(empty);
  if (fixed) w.SetLength(length), w.SetBlockCount(blocks);
  std::vector<std::byte> raw(std::size_t(length) * blocks * ElementSize(type));
  for (std::size_t i = 0; i < std::size_t(length) * blocks; ++i) {
    const float v = f(i);
    const auto s = static_cast<std::int16_t>(v);
    std::memcpy(&raw[i * ElementSize(type)], type == vardFloat ? (const void*)&v : &s, ElementSize(type));
  }
  if (!raw.empty()) w.Write(0, length * blocks - 1, raw.data(), raw.size());
  for (int b = 0; b < blocks; ++b) w.SetBlockInfo(b, BlockInfo{b + 0.5, 2024, 6, std::int16_t(b + 1)});
  w.SetHorizontal(-1.0, 0.001, "s");
  w.SetVertical(0.5, type == vardInteger ? -0.25 : 1.0, "mV");
  return w.Publish();
}

Variable Var(std::string name, Kind kind, std::string path = "a.b") {
  Variable v;
  v.name = std::move(name), v.kind = kind, v.path = std::move(path);
  v.description = "about " + v.name;
  return v;
}

void Seed(Pool& pool) {
  auto w = pool.Write();
  Variable n = Var("Num", Kind::Number, "");
  n.value = std::nan("7"), n.units = "kg";
  w.Insert(std::move(n));
  Variable s = Var("Str", Kind::String);
  s.text = std::string("two\nlines\x01\xFF");
  w.Insert(std::move(s));
  const std::pair<const char*, std::shared_ptr<const WaveformData>> waves[] = {
      {"Float", Wave(vardFloat, 70001, 3, true, [](auto i) { return i * 0.5f - 7; })},
      {"Int", Wave(vardInteger, 1000, 1, false, [](auto i) { return float(i % 701) - 350; })},
      {"Digi", Wave(vardDigital, 10, 1, true, [](auto i) { return float(i & 1); })},
      {"Blank", Wave(vardFloat, 0, 3, true, [](auto) { return 0.f; })},
      {"New", Wave(vardInteger, 0, 1, false, [](auto) { return 0.f; })}};
  for (const auto& [name, data] : waves) {
    Variable v = Var(name, Kind::Waveform, "a.waves");
    v.waveform = data;
    w.Insert(std::move(v));
  }
}

// Every field and every raw sample of every variable, sorted by name.
std::string Describe(const Pool& pool) {
  std::map<std::string, std::string> lines;
  pool.Read().ForEach([&](const Variable& v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v.value, 8);
    std::string& s = lines[v.name];
    s = v.name + "|" + v.path + "|" + v.description + "|" + std::to_string(int(v.kind)) + "|" +
        std::to_string(bits) + "|" + v.units + "|" + v.text;
    if (v.kind != Kind::Waveform) return;
    const WaveformData& d = *v.waveform;
    s += "|" + std::to_string(d.type()) + " " + std::to_string(d.length()) + "x" +
         std::to_string(d.blocks()) + (d.lengthFixed() ? " fixed " : " growing ");
    for (const Axis& a : {d.x(), d.y()})
      s += std::to_string(a.origin) + "/" + std::to_string(a.step) + a.units + " ";
    for (int b = 0; b < d.blocks(); ++b) {
      BlockInfo i;
      d.Info(b, &i);
      s += std::to_string(i.triggerTime) + "@" + std::to_string(i.day) + ":";
      d.VisitBlock(b, [&](const std::byte* p, std::int32_t n) {
        s.append(reinterpret_cast<const char*>(p), std::size_t(n) * ElementSize(d.type()));
      });
    }
  });
  std::string out;
  for (const auto& [name, line] : lines) out += line + "\n";
  return out;
}

// Saves the named variables of `pool` (all of them when none are named).
std::uint16_t Save(FileSystem& fs, const Pool& pool, const std::string& target,
                   std::uint16_t options = 0, std::vector<std::string> names = {}) {
  std::unique_ptr<CollectionWriter> w;
  if (auto rc = CollectionWriter::Create(fs, target, "a comment", 1718000000, &w)) return rc;
  if (names.empty()) pool.Read().ForEach([&](const Variable& v) { names.push_back(v.name); });
  for (const auto& name : names) {
    Variable copy = *pool.Read().Find(name);
    if (auto rc = w->Add(copy, options)) return rc;
  }
  return w->Commit();
}

class CollectionTest : public ::testing::Test {
 protected:
  void SetUp() override { Seed(pool_); }
  MemoryFileSystem fs_;
  Pool pool_;
};

TEST_F(CollectionTest, EveryKindComesBackFieldByFieldAndSampleBySample) {
  ASSERT_EQ(Save(fs_, pool_, "/c/all.vcl"), vardCollReturnOK);
  EXPECT_TRUE(fs_.Temporaries().empty());
  Pool loaded;
  ASSERT_EQ(LoadCollection(fs_, loaded, "/c/all.vcl", ""), vardCollReturnOK);
  EXPECT_TRUE(Describe(loaded) == Describe(pool_));

  // Under a prefix only the paths change: the prefix is their first level(s).
  Pool prefixed;
  ASSERT_EQ(LoadCollection(fs_, prefixed, "/c/all.vcl", "Run.7"), vardCollReturnOK);
  EXPECT_EQ(prefixed.Read().Find("Str")->path, "Run.7.a.b");
  EXPECT_EQ(prefixed.Read().Find("Num")->path, "Run.7");
  EXPECT_EQ(LoadCollection(fs_, prefixed, "/c/all.vcl", std::string(29, 'p')), vardCollReturnOK);
  EXPECT_EQ(LoadCollection(fs_, prefixed, "/c/all.vcl", std::string(30, 'p')), vardCollPrefixToLong);
  EXPECT_EQ(LoadCollection(fs_, prefixed, "/c/all.vcl", "a..b"), vardCollNoPrefix);
  EXPECT_EQ(LoadCollection(fs_, prefixed, "/c/all.vcl", "   "), vardCollNoPrefix);
}

TEST_F(CollectionTest, LoadingReplacesAllOrNothing) {
  {
    auto w = pool_.Write();
    Variable v = *w.Find("Str");
    v.name = "Longpath", v.path = std::string(240, 'p');
    w.Insert(std::move(v));
  }
  ASSERT_EQ(Save(fs_, pool_, "/c/all.vcl"), vardCollReturnOK);
  Pool target;
  {
    auto w = target.Write();
    w.Insert(Var("num", Kind::String));  // another kind, another spelling
    Variable open = Var("FLOAT", Kind::Waveform);
    open.waveform = Wave(vardDigital, 1, 1, true, [](auto) { return 0.f; });
    w.Insert(std::move(open));
  }
  auto claim = std::make_shared<const WriteClaim>();
  target.Write().Find("Float")->writer = claim;
  const std::string before = target.Dump();
  EXPECT_EQ(LoadCollection(fs_, target, "/c/all.vcl", ""), vardProcNotAllowed);
  EXPECT_EQ(LoadCollection(fs_, target, "/c/all.vcl", "Prefix.Too.Long"), vardCollPrefixToLong);
  EXPECT_EQ(target.Dump(), before);
  claim.reset();
  ASSERT_EQ(LoadCollection(fs_, target, "/c/all.vcl", ""), vardCollReturnOK);
  EXPECT_TRUE(Describe(target) == Describe(pool_));

  // A name saved twice: the later record wins.
  std::unique_ptr<CollectionWriter> w;
  ASSERT_EQ(CollectionWriter::Create(fs_, "/c/twice.vcl", "", 0, &w), vardCollReturnOK);
  Variable n = Var("Twice", Kind::Number);
  for (double value : {1.0, 2.0}) n.value = value, w->Add(n, 0);
  ASSERT_EQ(w->Commit(), vardCollReturnOK);
  ASSERT_EQ(LoadCollection(fs_, target, "/c/twice.vcl", ""), vardCollReturnOK);
  EXPECT_EQ(target.Read().Find("Twice")->value, 2.0);
}

TEST_F(CollectionTest, ForcedConversionsKeepTheRangeOrTheCrossings) {
  const float values[] = {-2, 0, 1e-3f, 3, NAN, INFINITY, 2.999f, 0.5f};
  {
    auto w = pool_.Write();
    w.Find("Float")->waveform = Wave(vardFloat, 8, 1, true, [&](auto i) { return values[i]; });
  }
  ASSERT_EQ(Save(fs_, pool_, "/c/int.vcl", vardForceInteger), vardCollReturnOK);
  ASSERT_EQ(Save(fs_, pool_, "/c/event.vcl", vardForceEvent | vardForceInteger), vardCollReturnOK);
  Pool as_int, as_event;
  ASSERT_EQ(LoadCollection(fs_, as_int, "/c/int.vcl", ""), vardCollReturnOK);
  ASSERT_EQ(LoadCollection(fs_, as_event, "/c/event.vcl", ""), vardCollReturnOK);

  const WaveformData& i = *as_int.Read().Find("Float")->waveform;
  ASSERT_EQ(i.type(), vardInteger);
  const double step = 5.0 / 65534;
  EXPECT_DOUBLE_EQ(i.y().step, step);
  EXPECT_DOUBLE_EQ(i.y().origin, 0.5);
  float back[8];
  std::size_t n;
  ASSERT_EQ(i.Read(0, 0, 7, 1, vardFloat, back, sizeof back, &n), vardOK);
  for (int k : {0, 1, 2, 3, 6, 7}) EXPECT_NEAR(back[k], values[k], step / 2 + 1e-6) << k;
  EXPECT_EQ(back[4], 0.5f);                     // NaN: the middle
  EXPECT_NEAR(back[5], 3.0, step / 2 + 1e-6);  // infinity: the top

  const WaveformData& e = *as_event.Read().Find("Float")->waveform;
  std::uint16_t bits[8];
  ASSERT_EQ(e.type(), vardDigital);
  ASSERT_EQ(e.Read(0, 0, 7, 1, vardDigital, bits, sizeof bits, &n), vardOK);
  EXPECT_EQ(std::vector<std::uint16_t>(bits, bits + 8), (std::vector<std::uint16_t>{0, 0, 0, 1, 0, 1, 1, 0}));
  // Integer waveforms are cut at their physical middle; digital ones stay as they are.
  EXPECT_EQ(as_event.Read().Find("Int")->waveform->type(), vardDigital);
  EXPECT_EQ(as_int.Read().Find("Blank")->waveform->type(), vardInteger);  // a float without samples
  for (Pool* p : {&pool_, &as_int}) {
    auto w = p->Write();
    w.Erase("Float"), w.Erase("Blank");
  }
  EXPECT_TRUE(Describe(as_int) == Describe(pool_));
}

// The disk fails at some point of a save: the target stays as it was and,
// once the collection is given up, no temporary file is left.
TEST_F(CollectionTest, AFailingDiskLeavesTheOldTargetAndNoTemporary) {
  ASSERT_EQ(Save(fs_, pool_, "/c/old.vcl", 0, {"Num"}), vardCollReturnOK);
  const Bytes old = fs_.files["/c/old.vcl"];
  std::size_t whole = 0;
  {
    MemoryFileSystem probe;
    Save(probe, pool_, "/c/x.vcl");
    whole = probe.files["/c/x.vcl"].size();
  }
  struct Case {
    std::size_t space;
    bool flush, replace;
    std::uint16_t rc;
  };
  for (const Case c : {Case{10, false, false, vardCollFileWrite}, {200, false, false, vardCollFileWrite},
                       {whole / 2, false, false, vardCollFileWrite}, {whole - 5, false, false, vardCollFileWrite},
                       {SIZE_MAX, true, false, vardCollFileWrite}, {SIZE_MAX, false, true, vardCollFileWrite}}) {
    SCOPED_TRACE(c.space);
    fs_.disk_space = c.space, fs_.fail_flush = c.flush, fs_.fail_replace = c.replace;
    EXPECT_EQ(Save(fs_, pool_, "/c/old.vcl"), c.rc);
    EXPECT_EQ(fs_.files["/c/old.vcl"], old);
    EXPECT_TRUE(fs_.Temporaries().empty());
  }
  fs_.disk_space = SIZE_MAX, fs_.fail_replace = false, fs_.fail_create = true;
  EXPECT_EQ(Save(fs_, pool_, "/c/old.vcl"), vardCollFileCreate);
  fs_.fail_create = false;
  EXPECT_EQ(Save(fs_, pool_, "relative.vcl"), vardCollFileCreate);
  EXPECT_EQ(LoadCollection(fs_, pool_, "relative.vcl", ""), vardCollOpenFile);
  EXPECT_EQ(LoadCollection(fs_, pool_, "/c/missing.vcl", ""), vardCollOpenFile);
  fs_.fail_read = true;
  EXPECT_EQ(LoadCollection(fs_, pool_, "/c/old.vcl", ""), vardCollFileRead);
}

// A file with one record of the given type and payload, every CRC right.
Bytes HandMade(std::uint16_t type, const collection::Encoder& payload) {
  using collection::Encoder;
  collection::CrcTracker crc;
  Bytes file;
  auto put = [&](const Bytes& b) { crc.Add(b.data(), b.size()), file.insert(file.end(), b.begin(), b.end()); };
  auto seal = [&] { put(Encoder().Value(crc.EndSegment()).bytes), crc.EndSegment(); };
  Bytes magic(8);
  std::memcpy(magic.data(), collection::kMagic, 8);
  put(magic);
  put(Encoder().Value(std::uint16_t{1}).Value(std::uint16_t{0}).Value(std::uint32_t{12}).Value(std::int64_t{0}).Text("").Text("").bytes);
  seal();
  put(Encoder().Value(type).Value(std::uint16_t{0}).Value(std::uint64_t(payload.bytes.size())).bytes);
  put(payload.bytes);
  seal();
  put(Encoder().Value(std::uint16_t{0xFFFF}).Value(std::uint16_t{0}).Value(std::uint32_t{1}).Value(std::uint64_t(file.size())).bytes);
  crc.EndSegment();
  put(Encoder().Value(crc.Crc()).bytes);
  return file;
}

// Whatever the file holds, a failed load answers a documented code and
// leaves the pool exactly as it was.
TEST_F(CollectionTest, DamagedFilesAreRefusedAndThePoolStaysAsItWas) {
  Pool small;
  {
    auto w = small.Write();
    w.Insert(Var("Num", Kind::Number));
    Variable v = Var("Wave", Kind::Waveform), d = Var("Digi", Kind::Waveform);
    v.waveform = Wave(vardFloat, 5, 2, true, [](auto i) { return float(i); });
    d.waveform = Wave(vardDigital, 3, 1, false, [](auto i) { return float(i); });
    w.Insert(std::move(v)), w.Insert(std::move(d));
  }
  ASSERT_EQ(Save(fs_, small, "/c/small.vcl"), vardCollReturnOK);
  const Bytes good = fs_.files["/c/small.vcl"];
  const std::string before = pool_.Dump();
  auto load = [&](Bytes bytes) {
    fs_.files["/c/f.vcl"] = std::move(bytes);
    return LoadCollection(fs_, pool_, "/c/f.vcl", "");
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
  EXPECT_EQ(pool_.Dump(), before);

  // Sound files: a record type this server does not know, an invalid name,
  // and (proving the hand-made file right) a number that loads.
  using collection::Encoder;
  EXPECT_EQ(load(HandMade(collection::kFormulaRecord, Encoder().Text("F").Text("").Text("").Text("Num*2"))),
            vardCollUnknownItem);
  EXPECT_EQ(load(HandMade(collection::kNumberRecord, Encoder().Text(" ").Text("").Text("").Value(1.0).Text(""))),
            vardCollCorruptedArchive);
  EXPECT_EQ(pool_.Dump(), before);
  EXPECT_EQ(load(HandMade(collection::kNumberRecord, Encoder().Text("Hand").Text("").Text("").Value(1.0).Text(""))),
            vardCollReturnOK);
  EXPECT_EQ(pool_.Read().Find("Hand")->value, 1.0);
}

// The four requests through Dispatch, the way the library sends them.
TEST_F(CollectionTest, RequestsKeepTheirCollectionsInTheClientsSession) {
  using namespace proto;
  SetCollectionFileSystem(&fs_);
  testing::PoolClient a(pool_), b(pool_);
  auto send = [](testing::PoolClient& c, std::uint32_t op, std::int16_t coll, const char* first,
                 const char* second = "", std::uint16_t options = 0) {
    auto& r = c.Begin<CollectionRequest>(op);
    r.Coll = coll, r.Options = options;
    if (op == kAddToCollection) {
      testing::Put(r.VarName, first), testing::Put(r.Name, second);
    } else {
      testing::Put(r.PathName, first), testing::Put(r.Prefix, second), testing::Put(r.Comment, second);
    }
    const std::uint32_t rc = c.Send(op);
    return op == kCreateCollection && rc == vardOK ? std::uint32_t(c.Record<CollectionRequest>().Coll) : rc;
  };
  const auto coll = static_cast<std::int16_t>(send(a, kCreateCollection, 0, "/c/r.vcl", "c"));
  ASSERT_GT(coll, 0);
  EXPECT_EQ(send(a, kAddToCollection, coll, "Str", "Renamed"), vardOK);
  EXPECT_EQ(send(b, kAddToCollection, coll, "Str"), vardCollIllegalHandle);  // not b's
  EXPECT_EQ(send(a, kAddToCollection, 0, "Str"), vardCollIllegalHandle);
  EXPECT_EQ(send(a, kAddToCollection, coll, ""), vardCollNoVariableName);
  EXPECT_EQ(send(a, kAddToCollection, coll, "Str", "   "), vardCollNoVariableName);
  EXPECT_EQ(send(a, kAddToCollection, coll, "Missing"), vardCollUnknownObject);
  EXPECT_EQ(send(a, kAddToCollection, coll, "Str", "", 4), vardCollInvalidParameter);
  EXPECT_EQ(send(a, kCloseCollection, coll, ""), vardOK);
  EXPECT_EQ(send(a, kCloseCollection, coll, ""), vardCollIllegalHandle);
  EXPECT_EQ(send(b, kLoadCollection, 0, "/c/r.vcl", "p"), vardOK);
  EXPECT_EQ(pool_.Read().Find("Renamed")->path, "p.a.b");
  std::memset(b.Begin<CollectionRequest>(kLoadCollection).Prefix, 'p', 30);
  EXPECT_EQ(b.Send(kLoadCollection), vardCollPrefixToLong);

  // A client that goes away discards its open collection and its temporary file.
  ASSERT_GT(send(b, kCreateCollection, 0, "/c/gone.vcl"), 0u);
  EXPECT_EQ(fs_.Temporaries().size(), 1u);
  b.session().Release();
  EXPECT_TRUE(fs_.Temporaries().empty());
  EXPECT_EQ(fs_.files.count("/c/gone.vcl"), 0u);
  while (b.session().Add(ResourceKind::FindCursor, std::make_shared<SessionResource>()) != 0) {
  }
  EXPECT_EQ(send(b, kCreateCollection, 0, "/c/full.vcl"), vardCollOutOfHandles);
  EXPECT_TRUE(fs_.Temporaries().empty());
  SetCollectionFileSystem(nullptr);
}

// On a real disk: the target changes only at the commit, in one step.
TEST_F(CollectionTest, OnDiskTheTargetIsReplacedOnlyAtTheCommit) {
  namespace stdfs = std::filesystem;
  const stdfs::path dir = stdfs::temp_directory_path() /
      ("vard_collection_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  ASSERT_TRUE(stdfs::create_directory(dir));
  const std::string target = (dir / "c.vcl").string();
  FileSystem& disk = HostFileSystem();
  ASSERT_EQ(Save(disk, pool_, target, 0, {"Num"}), vardCollReturnOK);
  std::unique_ptr<CollectionWriter> w;
  ASSERT_EQ(CollectionWriter::Create(disk, target, "", 0, &w), vardCollReturnOK);
  Variable copy = *pool_.Read().Find("Float");
  ASSERT_EQ(w->Add(copy, 0), vardCollReturnOK);
  Pool seen;
  ASSERT_EQ(LoadCollection(disk, seen, target, ""), vardCollReturnOK);
  EXPECT_EQ(seen.Read().Size(), 1u);  // still the old file
  ASSERT_EQ(w->Commit(), vardCollReturnOK);
  ASSERT_EQ(LoadCollection(disk, seen, target, ""), vardCollReturnOK);
  EXPECT_EQ(seen.Read().Size(), 2u);
  ASSERT_EQ(CollectionWriter::Create(disk, target, "", 0, &w), vardCollReturnOK);
  w.reset();  // given up: its temporary file goes
  stdfs::remove(target);
  EXPECT_TRUE(stdfs::is_empty(dir)) << "something was left in " << dir;
  stdfs::remove_all(dir);
}

TEST(Crc32Test, MatchesTheCheckValueAndTheBitwiseDefinitionAndCombines) {
  const char text[] = "123456789";
  EXPECT_EQ(Crc32Update(0, text, 9), 0xCBF43926u);
  // Long inputs take the folding path where the processor has one.
  std::vector<std::uint8_t> bytes(1200);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = std::uint8_t(i * 131 + (i >> 3));
  for (std::size_t from : {0, 1, 7}) {
    for (std::size_t n : {63, 64, 65, 127, 128, 200, 1000}) {
      std::uint32_t c = ~0u;
      for (std::size_t i = from; i < from + n; ++i) {
        c ^= bytes[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
      }
      EXPECT_EQ(Crc32Update(0, bytes.data() + from, n), ~c) << from << "+" << n;
    }
  }
  for (std::size_t cut = 0; cut <= 9; ++cut)
    EXPECT_EQ(Crc32Combine(Crc32Update(0, text, cut), Crc32Update(0, text + cut, 9 - cut), 9 - cut),
              0xCBF43926u);
}

}  // namespace
}  // namespace vard::server
