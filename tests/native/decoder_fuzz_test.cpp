// Randomized requests against the decoder: whatever another process leaves
// in the block, the server must answer a documented code, write nothing but
// the operation's reply fields, and leave the pool alone unless the request
// succeeded. Deterministic; VARD_FUZZ_SEED and VARD_FUZZ_ITERATIONS override
// the seed and the length of a run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "include/vard_protocol.h"
#include "server/core/dispatch.h"
#include "server/core/formula_table.h"
#include "server/core/pool.h"
#include "server/core/file_system.h"
#include "server/core/session.h"
#include "server/core/waveform.h"
#include "tests/native/memory_file_system.h"

namespace vard::server {
namespace {

using namespace vard::proto;
using WR = WaveformRequest;
using AR = AnalysisRequest;

struct Field {
  std::uint32_t offset, width;
};
#define FIELD(R, F) Field{static_cast<std::uint32_t>(offsetof(R, F)), sizeof(R::F)}
// Fields F through G of a record (of a WaveformRequest unless named).
#define SPAN_OF(R, F, G) Field{offsetof(R, F), offsetof(R, G) + sizeof(R::G) - offsetof(R, F)}
#define SPAN(F, G) SPAN_OF(WR, F, G)

// Text fields and integer fields (counts, indices, handles) of the layouts
// the families built so far decode; other layouts get random bytes only.
struct Layout {
  std::vector<Field> texts, ints;
};

Layout LayoutOf(std::uint32_t opcode) {
  switch (RequestLength(opcode)) {
    case sizeof(VariableRequest):
      return {{FIELD(VariableRequest, Name), FIELD(VariableRequest, NavigatorPathName)}, {}};
    case sizeof(ScalarRequest):
      if (opcode >= kDdeCommand) return {};
      return {{FIELD(ScalarRequest, Name), FIELD(ScalarRequest, String),
               FIELD(ScalarRequest, Units), FIELD(ScalarRequest, Path),
               FIELD(ScalarRequest, Description)},
              {FIELD(ScalarRequest, Value)}};
    case sizeof(WR):
      return {{FIELD(WR, Name), FIELD(WR, Path), FIELD(WR, XUnits), FIELD(WR, YUnits)},
              {FIELD(WR, Type), FIELD(WR, FirstSample), FIELD(WR, LastSample), FIELD(WR, Length),
               FIELD(WR, Waveform), FIELD(WR, DataType), FIELD(WR, Src), FIELD(WR, Block),
               FIELD(WR, Reduction)}};
    case sizeof(EnumerationRequest):
      return {{}, {FIELD(EnumerationRequest, Filter), FIELD(EnumerationRequest, FindHandle)}};
    case sizeof(PathListRequest):
      return {{FIELD(PathListRequest, PathPrefix)},
              {FIELD(PathListRequest, Filter), FIELD(PathListRequest, Capacity)}};
    case sizeof(FormulaRequest):
      return {{FIELD(FormulaRequest, Name), FIELD(FormulaRequest, Formula),
               FIELD(FormulaRequest, Units), FIELD(FormulaRequest, Description),
               FIELD(FormulaRequest, InputText)},
              {FIELD(FormulaRequest, Row), FIELD(FormulaRequest, OutputLimit)}};
    case sizeof(AR): case sizeof(StlRequest):  // the crest fields lie where these do
      return {{FIELD(AR, Name)},
              {FIELD(AR, Block), FIELD(AR, Direction), FIELD(AR, ExtremeType),
               FIELD(AR, CrossingType), FIELD(AR, NumberOfBins), FIELD(AR, XBegin), FIELD(AR, XEnd),
               FIELD(AR, Hysterese), FIELD(AR, Level), FIELD(AR, Position), FIELD(AR, Ytop),
               FIELD(AR, Ybottom)}};
    default:
      return {};
  }
}

// The bytes an operation may write on success.
std::vector<Field> ReplyAreas(std::uint32_t opcode) {
  switch (opcode) {
    case kGetType: return {FIELD(WR, Type)};
    case kGetDescription: return {FIELD(ScalarRequest, Description)};
    case kGetString: return {FIELD(ScalarRequest, String)};
    case kGetNumber: return {FIELD(ScalarRequest, Value)};
    case kGetUnits: return {FIELD(ScalarRequest, Units)};
    case kLockWaveform: return {FIELD(WR, Src)};
    case kGetHorizontal: return {FIELD(WR, XUnits), SPAN(Length, XStep), FIELD(WR, Block)};
    case kGetVertical: return {FIELD(WR, Name), FIELD(WR, YUnits), SPAN(YStep, Y0)};
    case kGetWaveformData: case kReadWaveform: return {{kSampleAreaOffset, kSampleAreaSize}};
    case kGetWaveformValue: return {FIELD(WR, Y0)};
    case kGetBlockInfo: return {SPAN(TriggerTime, Day)};
    case kOpenWaveform: return {FIELD(WR, Waveform)};
    case kGetWaveformDataType: return {FIELD(WR, DataType)};
    case kFindFirstVariable:
      return {FIELD(EnumerationRequest, FindHandle), FIELD(EnumerationRequest, VarName),
              FIELD(EnumerationRequest, Path)};
    case kFindNextVariable:
      return {FIELD(EnumerationRequest, VarName), FIELD(EnumerationRequest, Path)};
    case kGetVariablesInPath: return {{kPathListOffset, kPathListMaxCapacity}};
    case kExpandTextEx: return {FIELD(FormulaRequest, OutputText)};
    case kWaveformMinMax: return {SPAN_OF(AR, Min, MaxPos)};
    case kWaveformFastMinMax: return {SPAN_OF(AR, Min, Max)};
    case kWaveformFindLocalExtreme: return {SPAN_OF(AR, Level, Position)};
    case kWaveformFindLevelCrossing: return {FIELD(AR, CrossingType), FIELD(AR, Position)};
    case kWaveformStatistics: return {SPAN_OF(AR, Mean, EnergyUnderCurve)};
    case kWaveformHistogram: return {{sizeof(AR), (kMaxHistogramBins + 2) * 4}};
    case kWaveformPulseParameters: return {SPAN_OF(AR, RiseTime, Duration)};
    case kWaveformPeriod: return {FIELD(AR, Period)};
    case kWaveformLinFit: return {SPAN_OF(AR, Y0, Slope)};
    case kStlCrest: return {FIELD(AR, ExtremeType), SPAN_OF(AR, Min, MaxPos)};  // at 38, 60-92
    case kStlFindSignalLoop: return {FIELD(AR, ExtremeType), SPAN_OF(AR, MinPos, MaxPos)};
    case kStlCrestMethod: return {SPAN_OF(AR, Mean, RMS)};  // at 116-132
    case kCreateCollection: return {FIELD(CollectionRequest, Coll)};
    default: return {};  // every other operation of the families built so far writes nothing
  }
}

// The replies each operation may give (empty: any 16-bit code), and whether it only reads.
struct Expectation {
  std::set<std::uint32_t> replies;
  bool read_only;
};

Expectation Expected(std::uint32_t op) {
  if (op >= 0x10000 || RequestLength(op) == 0) return {{vardInvalidParameter}, true};
  if (!IsImplemented(op)) return {{vardProcNotAllowed}, true};
  const std::uint32_t O = vardOK, N = vardNoSuchObject, M = vardInvalidName, P = vardInvalidParameter,
                      T = vardInvalidType, A = vardAlreadyExists, D = vardProcNotAllowed, H = vardInvalidHandle,
                      S = vardNoSuchData, X = vardOutOfMemory, B = vardBufferToSmall;
  switch (op) {
    case kGetType: case kGetDescription: return {{O, N, M, P}, true};
    case kSetDescription: return {{O, N, M, P}, false};
    case kDeleteSubTree: case kDeleteVariable: return {{O, N, D, M, P}, false};
    case kIsDigitalWaveform: case kIsIntegerWaveform: return {{0, 1}, true};
    case kGetString: case kGetUnits: return {{O, N, T, M, P}, true};
    // A computed number answers why it cannot be computed.
    case kGetNumber: return {{O, N, T, M, P, vardNotFound, S, D}, true};
    case kSetNumber: return {{O, N, T, M, P, D}, false};
    case kSetString: case kSetUnits: return {{O, N, T, M, P}, false};
    case kCreateString: case kCreateNumber: return {{O, A, M, P}, false};
    // Reading and a writer's private changes leave the pool alone; only
    // creating, opening and publishing change it.
    case kLockWaveform: return {{O, N, T, M, X, P}, true};
    case kGetWaveformValue: return {{O, N, T, M, S, P}, true};
    case kGetHorizontal: case kGetVertical: case kUnlockWaveform: case kGetWaveformDataType:
      return {{O, H, P}, true};
    case kGetWaveformData: case kGetBlockInfo: case kReadWaveform: return {{O, S, H, P}, true};
    case kWriteHorizontal: case kWriteVertical: case kWriteWaveform: case kSetWaveformLength:
    case kWriteBlockInfo: return {{O, S, X, H, P}, true};
    case kCreateWaveform: return {{O, A, T, M, P}, false};
    case kOpenWaveform: return {{O, N, D, X, T, M, P}, false};
    case kCloseWaveform: return {{O, N, H, P}, false};
    case kFindFirstVariable: return {{O, S, X, P}, true};
    case kFindNextVariable: return {{O, S, H, P}, true};
    case kFindVariableClose: return {{O, H, P}, true};
    case kGetVariablesInPath: return {{O, M, B, P}, true};
    case kAddFormula: {  // a row number, or a reply code negated
      std::set<std::uint32_t> replies = {P};
      for (std::uint32_t row = 1; row <= kFormulaRows; ++row) replies.insert(row);
      for (std::uint32_t code : {M, A, P, X}) replies.insert(0x10000 - code);
      return {replies, false};
    }
    case kSetFormula: return {{O, H, M, A, P}, false};
    case kDeleteFormula: return {{O, H, S, P}, false};
    case kShowFormulaEditor: return {{0}, true};  // no editor in the native build
    case kExpandTextEx: return {{0, 1, 2}, true};
    // The measurements only read: their refusals are those of docs/analysis.md.
    case kWaveformMinMax: case kWaveformFastMinMax: case kWaveformFindLocalExtreme:
    case kWaveformFindLevelCrossing: case kWaveformStatistics: case kWaveformHistogram:
    case kWaveformPulseParameters: case kWaveformPeriod: case kWaveformLinFit:
    case kStlCrest: case kStlFindSignalLoop: case kStlCrestMethod:
      return {{O, N, T, M, P, S, X, vardSegmentToShort, vardNotFound}, true};
    // Writing a collection never changes the pool; loading one may replace
    // variables (2: one of them is open for writing).
    case kCreateCollection: return {{O, P, 301, 302, 303, 304}, true};
    case kAddToCollection: return {{O, P, 302, 304, 306, 307, 308}, true};
    case kCloseCollection: return {{O, P, 304, 307}, true};
    case kLoadCollection: return {{O, D, P, 300, 302, 305, 309, 310, 311, 312, 313}, false};
    default: return {{}, false};  // a family this test does not know in detail yet
  }
}

// Whether a reply reports success: a row number, an expansion, or vardOK.
bool Succeeded(std::uint32_t op, std::uint32_t reply) {
  if (op == kAddFormula) return reply >= 1 && reply <= kFormulaRows;
  if (op == kExpandTextEx) return reply == 1 || reply == 2;
  return reply == vardOK;
}

bool IsWaveformOp(std::uint32_t op) {
  return (op >= kLockWaveform && op <= kGetBlockInfo) ||
         (op >= kCreateWaveform && op <= kGetWaveformDataType);
}

const char* const kNames[] = {"Num", "nUM", "Str", "STR", "Wave", "wave", "Digi", "ints", "Open",
                              "Sub1", "Fresh", "Calc", "loop", "", "   ", "tab\tname",
                              "twenty-nine-characters-long!!", "thirty-characters-long-name!!!"};
const char* const kPaths[] = {"", "A", "a.B", "A.b.C", "A.bc", "Z", "A..B", ".A", "A.", "a. .b"};

// `blocks` blocks of `length` samples, a ramp, with block info.
std::shared_ptr<const WaveformData> Samples(std::int16_t type, std::int32_t length, int blocks) {
  std::shared_ptr<const WaveformData> empty;
  WaveformData::Create(type, &empty);
  WaveformWriter w(empty);
  w.SetLength(length);
  std::vector<std::int16_t> words(static_cast<std::size_t>(length) * blocks);
  for (std::size_t i = 0; i < words.size(); ++i) words[i] = static_cast<std::int16_t>(i * 37);
  const std::vector<float> floats(words.begin(), words.end());
  const void* src = type == vardFloat ? static_cast<const void*>(floats.data()) : words.data();
  w.Write(0, length * blocks - 1, src, words.size() * ElementSize(type));
  w.SetBlockInfo(BlockInfo{1.5, 2024, 6, 11});
  return w.Publish();
}

// A fresh pool; "Open" is held open for writing by a claim that never ends.
std::unique_ptr<Pool> Seeded(std::vector<std::shared_ptr<const WriteClaim>>& claims) {
  auto pool = std::make_unique<Pool>();
  auto w = pool->Write();
  auto add = [&](const char* name, Kind kind, const char* path,
                 std::shared_ptr<const WaveformData> samples = nullptr) {
    Variable v;
    // Whole strings assigned: GCC 12 warns falsely (-Wrestrict) on assigning literals.
    v.name = std::string(name), v.path = std::string(path), v.kind = kind, v.value = 1.5;
    v.description = std::string("seeded"), v.units = std::string("V");
    v.text = std::string("text"), v.waveform = std::move(samples);
    w.Insert(std::move(v));
  };
  add("Num", Kind::Number, "A");
  add("Str", Kind::String, "A.b");
  add("Wave", Kind::Waveform, "A.b.C", Samples(vardFloat, 300, 3));
  add("Digi", Kind::Waveform, "A.bc", Samples(vardDigital, 1000, 1));
  add("Ints", Kind::Waveform, "Z", Samples(vardInteger, 70000, 1));
  add("Open", Kind::Waveform, "A.b", Samples(vardFloat, 0, 1));
  add("Sub1", Kind::Number, "A.b.C");
  claims.push_back(std::make_shared<const WriteClaim>());
  w.Find("Open")->writer = claims.back();
  return pool;
}

// The same with two formulas: one over the seeded variables, one that
// refers to itself.
std::unique_ptr<Pool> SeededWithFormulas(std::vector<std::shared_ptr<const WriteClaim>>& claims) {
  auto pool = Seeded(claims);
  formula::AddFormula(*pool, formula::Definition{"Calc", "num * 2 + mean(wave)", "V", ""});
  formula::AddFormula(*pool, formula::Definition{"Loop", "Loop", "", ""});
  return pool;
}

std::uint64_t EnvOr(const char* name, std::uint64_t fallback) {
  const char* s = std::getenv(name);
  return s ? std::strtoull(s, nullptr, 0) : fallback;
}

TEST(DecoderFuzzTest, RandomRequestsOverAllCodes) {
  const std::uint64_t seed = EnvOr("VARD_FUZZ_SEED", 20240611);
  const std::uint64_t iterations = EnvOr("VARD_FUZZ_ITERATIONS", 40000);
  std::mt19937_64 rng(seed);
  auto below = [&](std::uint64_t n) { return static_cast<std::uint32_t>(rng() % n); };
  auto byte = [&] { return static_cast<std::uint8_t>(rng()); };

  // Collections the requests create go to memory, never to the disk.
  testing::MemoryFileSystem files;
  SetCollectionFileSystem(&files);
  std::vector<std::uint8_t> block(kBlockSize), before;
  for (auto& b : block) b = byte();
  auto* const rec = reinterpret_cast<WR*>(block.data());
  std::vector<std::shared_ptr<const WriteClaim>> claims;
  std::unique_ptr<Pool> pool = SeededWithFormulas(claims);
  Session session;
  // Handles this client holds, or once held (stale handles stay in now and then).
  std::vector<std::int16_t> srcs, writers;
  auto take_handles = [&] {  // the way a client gets them, so operations reach the store
    for (const char* name : {"Wave", "Digi", "Ints", "Open"}) {
      for (std::uint32_t op : {kLockWaveform, kOpenWaveform}) {
        std::memset(block.data(), 0, sizeof(WR));
        rec->RecordSize = sizeof(WR);
        std::strcpy(rec->Name, name);
        if (Dispatch(*pool, session, op, block.data()) != vardOK) continue;
        if (op == kLockWaveform) srcs.push_back(rec->Src);
        else writers.push_back(rec->Waveform);
      }
    }
  };
  take_handles();
  std::set<std::uint32_t> codes_seen, waveform_successes;
  std::uint64_t successes = 0;

  for (std::uint64_t it = 0; it < iterations; ++it) {
    if (it % 1000 == 999) {  // start over now and then so deletions cannot starve the run
      pool = SeededWithFormulas(claims);
      if (below(2)) {  // otherwise keep the old handles: writers outlive their variables
        session.Release();
        srcs.clear(), writers.clear();
      }
      take_handles();
    }
    if (srcs.size() < 3 || writers.empty()) take_handles();
    std::uint32_t opcode = below(10) == 0 ? static_cast<std::uint32_t>(rng()) : below(131);
    if (below(3) == 0) opcode = below(2) ? kLockWaveform + below(7) : kCreateWaveform + below(10);
    const std::uint32_t length = RequestLength(opcode);
    const Layout layout = LayoutOf(opcode);
    // The library clears only the record; the rest stays whatever it was.
    for (std::uint32_t i = 0, n = below(8) == 0 ? 1024 : 64; i < n; ++i)
      block[below(kBlockSize)] = byte();

    const std::uint32_t mode = below(4);
    std::uint32_t size = AnnouncedRecordSize(opcode);
    if (mode == 0 || length == 0) {  // a random record, sometimes with the right RecordSize
      for (std::uint32_t i = 0; i < std::max<std::uint32_t>(length, 1024); ++i) block[i] = byte();
      if (below(2)) std::memcpy(block.data(), &size, 4);
    } else {  // a well-formed request, then a few mutations
      std::memset(block.data(), 0, length);
      for (std::size_t f = 0; f < layout.texts.size(); ++f) {
        const char* text =
            f == 0 && opcode != kGetVariablesInPath ? kNames[below(std::size(kNames))]
                                                    : kPaths[below(std::size(kPaths))];
        std::strncpy(reinterpret_cast<char*>(&block[layout.texts[f].offset]), text,
                     layout.texts[f].width - 1);
      }
      for (const Field f : layout.ints)
        if (below(2)) for (std::uint32_t i = 0; i < f.width; ++i) block[f.offset + i] = byte();
      if (IsWaveformOp(opcode) && below(8) != 0) {
        // Plausible values: held handles, blocks and ranges near the seeded
        // lengths, the reductions and types a reader asks for, X on the axis.
        auto pick = [&](const std::vector<std::int16_t>& v) {
          return v.empty() || below(8) == 0 ? static_cast<std::int16_t>(below(6))
                                            : v[below(v.size())];
        };
        const std::int32_t spans[] = {1, 2, 10, 100, 300, 8084, 16168, 16169, 32337};
        const std::uint16_t reductions[] = {0, 1, 2, 3, 7, 1000, 65535};
        const std::int16_t types[] = {vardDigital, vardInteger, vardFloat, 0, 3, -1};
        rec->Src = pick(srcs), rec->Waveform = pick(writers);
        rec->Block = static_cast<std::int16_t>(below(4) == 0 ? below(5) - 1 : 0);
        rec->FirstSample =
            static_cast<std::int32_t>(below(4) == 0 ? below(80000) - 2 : below(1100));
        rec->LastSample = rec->FirstSample + spans[below(std::size(spans))] - 1 -
                          static_cast<std::int32_t>(below(3));
        rec->Reduction = reductions[below(std::size(reductions))];
        rec->DataType = rec->Type = types[below(std::size(types))];
        rec->Length = static_cast<std::int32_t>(below(2000)) - 1;
        rec->X0 = below(1200) * 0.75 - 1.0, rec->XStep = below(4) == 0 ? 0.0 : 0.5;
        rec->Y0 = 1.0, rec->YStep = below(2) ? 0.25 : -2.0;
      }
      for (std::uint32_t m = 0, n = mode == 1 ? 0 : below(4); m < n; ++m) {
        const std::uint32_t what = below(4);
        if (what == 0) {  // RecordSize off by a little or a lot
          size = below(2) ? size + below(9) - 4 : static_cast<std::uint32_t>(rng());
        } else if (what == 1 && !layout.texts.empty()) {  // a text filled to its width, no NUL
          const Field f = layout.texts[below(layout.texts.size())];
          const bool printable = below(2);
          for (std::uint32_t i = 0; i < f.width; ++i)
            block[f.offset + i] =
                static_cast<std::uint8_t>(printable ? 'a' + below(26) : 1 + below(255));
        } else if (what == 2 && !layout.ints.empty()) {  // an extreme integer
          const Field f = layout.ints[below(layout.ints.size())];
          std::memset(&block[f.offset], below(2) ? 0xFF : 0x80, f.width);
          if (below(2)) block[f.offset + f.width - 1] ^= 0x80;
        } else if (what == 3) {  // random bytes inside the record
          for (int i = 0; i < 4; ++i) block[4 + below(length - 4)] = byte();
        }
      }
      std::memcpy(block.data(), &size, 4);
    }

    std::uint32_t announced;
    std::memcpy(&announced, block.data(), 4);
    before = block;
    const std::string pool_before = pool->Dump();
    const std::uint32_t reply = Dispatch(*pool, session, opcode, block.data());
    const auto where = [&] {
      return ::testing::Message() << "iteration " << it << " seed " << seed << ": opcode " << opcode
                                  << " reply " << reply;
    };
    codes_seen.insert(reply);
    if (reply == vardOK && IsWaveformOp(opcode)) {
      waveform_successes.insert(opcode);
      if (opcode == kLockWaveform) srcs.push_back(rec->Src);
      if (opcode == kOpenWaveform) writers.push_back(rec->Waveform);
      const bool forget = below(4) != 0;  // else the ended handle stays as a stale one
      if (forget && opcode == kUnlockWaveform) std::erase(srcs, rec->Src);
      if (forget && opcode == kCloseWaveform) std::erase(writers, rec->Waveform);
    }

    const Expectation expected = Expected(opcode);
    ASSERT_TRUE(expected.replies.empty() ? reply < 0x10000 : expected.replies.count(reply) != 0)
        << where();
    if (announced != AnnouncedRecordSize(opcode) && IsImplemented(opcode)) {
      const bool truth =
          opcode == kIsDigitalWaveform || opcode == kIsIntegerWaveform || opcode == kExpandTextEx ||
          opcode == kShowFormulaEditor;
      ASSERT_EQ(reply, truth ? 0u : std::uint32_t{vardInvalidParameter}) << where() << " RecordSize " << announced;
    }
    // The default reply area of an implemented family this test does not know yet.
    auto areas = ReplyAreas(opcode);
    if (expected.replies.empty()) areas = {{4, 65522}};
    for (std::uint32_t i = 0, changed = block != before; changed && i < kBlockSize; ++i) {
      if (block[i] == before[i]) continue;
      bool allowed = false;
      for (const Field f : areas) allowed = allowed || (i >= f.offset && i < f.offset + f.width);
      // A path listing that does not fit is cut, written all the same.
      const bool written = Succeeded(opcode, reply) ||
                           (opcode == kGetVariablesInPath && reply == vardBufferToSmall);
      ASSERT_TRUE(allowed && written) << where() << " changed byte " << i;
    }
    // Only a success may change the pool; a subtree deletion that had to keep
    // an open waveform has removed the rest.
    if (expected.read_only ||
        !(Succeeded(opcode, reply) || (opcode == kDeleteSubTree && reply == vardProcNotAllowed))) {
      ASSERT_EQ(pool->Dump(), pool_before) << where();
    }
    successes += Succeeded(opcode, reply) && IsImplemented(opcode) ? 1 : 0;
  }
  // The run reached past the decoder into the operations, and every waveform
  // operation got past its checks at least once.
  EXPECT_GT(successes, iterations / 50);
  for (std::uint32_t code : {vardInvalidName, vardNoSuchObject, vardInvalidType, vardAlreadyExists,
                             vardInvalidHandle, vardNoSuchData})
    EXPECT_TRUE(codes_seen.count(code)) << code;
  for (std::uint32_t opcode = 0; opcode < 128; ++opcode)
    EXPECT_TRUE(!IsWaveformOp(opcode) || waveform_successes.count(opcode)) << opcode;
  SetCollectionFileSystem(nullptr);
}

}  // namespace
}  // namespace vard::server
