// The pool's operations as a client sees them through Dispatch.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "server/core/names.h"
#include "server/core/waveform.h"
#include "tests/native/pool_client.h"

namespace vard::server {
namespace {

using namespace proto;
using testing::Got;
using testing::PoolClient;
using testing::Put;

TEST(NamesTest, NameAndPathRules) {
  using Texts = std::initializer_list<std::string>;
  for (const auto& ok : Texts{"x", " padded ", "\xE4\xF6\xFC", "dotted.name", std::string(29, 'n')})
    EXPECT_TRUE(IsValidName(ok)) << ok;
  for (const auto& bad : Texts{"", "   ", "tab\there", "del\x7F", std::string(30, 'n')})
    EXPECT_FALSE(IsValidName(bad)) << bad;
  for (const auto& ok : Texts{"", "a", "Bench 1.Run 2.Left", std::string(255, 'p')})
    EXPECT_TRUE(IsValidPath(ok)) << ok;
  for (const auto& bad : Texts{".", "a..b", ".a", "a.", "a. .b", "a.\x01", std::string(256, 'p')})
    EXPECT_FALSE(IsValidPath(bad)) << bad;
  EXPECT_FALSE(EqualsFolded("\xC4", "\xE4"));  // only ASCII folds
}

class PoolOpsTest : public ::testing::Test {
 protected:
  Pool pool;
  PoolClient client{pool};

  // A waveform as the waveform family would leave it; `claim` keeps it open for writing.
  void AddWaveform(const char* name, vardDataType type, const char* path = "",
                   std::shared_ptr<const WriteClaim> claim = nullptr) {
    Variable v;
    v.name = name, v.path = path, v.kind = Kind::Waveform, v.writer = claim;
    ASSERT_EQ(WaveformData::Create(static_cast<std::int16_t>(type), &v.waveform), vardOK);
    ASSERT_NE(pool.Write().Insert(std::move(v)), nullptr);
  }
  vardVarType TypeOf(const char* name) {
    std::int16_t type = 0;
    EXPECT_EQ(client.GetType(name, &type), vardOK) << name;
    return static_cast<vardVarType>(type);
  }
  std::string Text(std::uint32_t opcode, const char* name) {
    EXPECT_EQ(client.Scalar(opcode, name), vardOK) << opcode << " " << name;
    return client.ReplyText(opcode);
  }
};

TEST_F(PoolOpsTest, NumbersAndStringsRoundTrip) {
  ASSERT_EQ(client.CreateNumber("Speed", 12.5, "km/h", "Vehicle speed", "Test.Run1"), vardOK);
  ASSERT_EQ(client.CreateString("Operator", "Ann"), vardOK);
  EXPECT_EQ(TypeOf("Speed"), vardNumerical);
  EXPECT_EQ(TypeOf("Operator"), vardString);
  EXPECT_EQ(client.Scalar(kGetNumber, "Speed"), vardOK);
  EXPECT_EQ(client.Value(), 12.5);
  EXPECT_EQ(client.Scalar(kSetNumber, "Speed", "", NAN), vardOK);
  EXPECT_EQ(client.Scalar(kGetNumber, "Speed"), vardOK);
  EXPECT_TRUE(std::isnan(client.Value()));

  const struct {
    std::uint32_t get, set;
    const char* name;
    std::string created, changed;
  } texts[] = {{kGetUnits, kSetUnits, "Speed", "km/h", "m/s"},
               {kGetDescription, kSetDescription, "Speed", "Vehicle speed", "in SI units"},
               {kGetString, kSetString, "Operator", "Ann", std::string(255, 'z')},
               {kGetDescription, kSetDescription, "Operator", "", "who ran it"}};
  for (const auto& t : texts) {
    EXPECT_EQ(Text(t.get, t.name), t.created);
    EXPECT_EQ(client.Scalar(t.set, t.name, t.changed), vardOK);
    EXPECT_EQ(Text(t.get, t.name), t.changed);
  }
}

// A sender that leaves no NUL gets its value texts cut as the library would
// have cut them, and names and paths that long refused.
TEST_F(PoolOpsTest, UnterminatedFieldsAreBoundedByTheirWidth) {
  auto& r = client.Begin<ScalarRequest>(kCreateNumber);
  Put(r.Name, "Full");
  std::memset(r.Units, 'u', sizeof r.Units);
  std::memset(r.Description, 'd', sizeof r.Description);
  ASSERT_EQ(client.Send(kCreateNumber), vardOK);
  EXPECT_EQ(Text(kGetUnits, "Full"), std::string(9, 'u'));
  EXPECT_EQ(Text(kGetDescription, "Full"), std::string(143, 'd'));

  ASSERT_EQ(client.CreateNumber("n", 1, "", "", std::string(169, 'q')), vardOK);
  const std::string before = pool.Dump();
  std::memset(client.Begin<ScalarRequest>(kCreateNumber).Name, 'n', 30);
  EXPECT_EQ(client.Send(kCreateNumber), vardInvalidName);
  auto& p = client.Begin<ScalarRequest>(kCreateString);
  Put(p.Name, "Pathy");
  std::memset(p.Path, 'p', sizeof p.Path);
  EXPECT_EQ(client.Send(kCreateString), vardInvalidName);
  std::memset(client.Begin<WaveformRequest>(kGetType).Name, 'x', 500);
  EXPECT_EQ(client.Send(kGetType), vardInvalidName);
  std::memset(client.Begin<VariableRequest>(kDeleteSubTree).NavigatorPathName, 'q', 170);
  EXPECT_EQ(client.Send(kDeleteSubTree), vardInvalidName);
  EXPECT_EQ(pool.Dump(), before);
}

// Lookups ignore case; the pool keeps the spelling of the creation.
TEST_F(PoolOpsTest, NamesIgnoreCaseButKeepIt) {
  ASSERT_EQ(client.CreateNumber("MotorTemp", 80, "", "", "Bench.Motor"), vardOK);
  EXPECT_EQ(client.Scalar(kGetNumber, "motortemp"), vardOK);
  EXPECT_NE(pool.Dump().find("\"MotorTemp\" path=\"Bench.Motor\""), std::string::npos);
  EXPECT_EQ(client.Variable(kDeleteVariable, "MOTORtemp"), vardOK);
  EXPECT_EQ(pool.Read().Size(), 0u);
}

// Every failure answers its code, changes nothing in the pool and leaves the
// reply fields as the library cleared them.
TEST_F(PoolOpsTest, FailuresAnswerTheirCodeAndChangeNothing) {
  ASSERT_EQ(client.CreateNumber("Num", 3, "V", "volts"), vardOK);
  ASSERT_EQ(client.CreateString("Str", "text"), vardOK);
  const std::string before = pool.Dump();
  auto check = [&](std::uint32_t op, const char* name, std::uint32_t want) {
    EXPECT_EQ(client.Scalar(op, name, "zz", 7.0), want) << op << " '" << name << "'";
    EXPECT_EQ(client.Value(), 7.0);
    EXPECT_EQ(client.ReplyText(op), "");
  };
  const char* const invalid[] = {"", "  ", "a\nb"};
  for (std::uint32_t op : {kGetNumber, kSetNumber, kGetUnits, kSetUnits, kGetString, kSetString,
                           kGetDescription, kSetDescription}) {
    check(op, "Nope", vardNoSuchObject);
    check(op, invalid[op % 3], vardInvalidName);
  }
  for (std::uint32_t op : {kGetNumber, kSetNumber, kGetUnits, kSetUnits})
    check(op, "Str", vardInvalidType);
  for (std::uint32_t op : {kGetString, kSetString}) check(op, "Num", vardInvalidType);
  EXPECT_EQ(client.CreateNumber("num", 1), vardAlreadyExists);
  EXPECT_EQ(client.CreateString("NUM", "x"), vardAlreadyExists);
  EXPECT_EQ(client.CreateNumber("", 1), vardInvalidName);
  EXPECT_EQ(client.CreateNumber("Fresh", 1, "", "", "a..b"), vardInvalidName);
  EXPECT_EQ(client.CreateString("Fresh", "x", ".lead"), vardInvalidName);
  std::int16_t type = 99;
  EXPECT_EQ(client.GetType("Nope", &type), vardNoSuchObject);
  EXPECT_EQ(type, 0);
  EXPECT_EQ(client.Variable(kDeleteVariable, "Nope"), vardNoSuchObject);
  EXPECT_EQ(client.Variable(kDeleteVariable, ""), vardInvalidName);
  EXPECT_EQ(client.Variable(kDeleteSubTree, "", ""), vardInvalidName);
  EXPECT_EQ(client.Variable(kDeleteSubTree, "", "a..b"), vardInvalidName);
  EXPECT_EQ(client.Variable(kDeleteSubTree, "", "Elsewhere"), vardNoSuchObject);

  // A RecordSize that does not fit the code: nothing is done. GetType must announce 4.
  for (std::uint32_t size : {0u, 4u, 707u, 709u, 0xFFFFFFFFu}) {
    auto& r = client.Begin<ScalarRequest>(kSetNumber);
    Put(r.Name, "Num");
    r.RecordSize = size;
    EXPECT_EQ(client.Send(kSetNumber), vardInvalidParameter) << size;
  }
  auto& t = client.Begin<WaveformRequest>(kGetType);
  Put(t.Name, "Num");
  t.RecordSize = sizeof(WaveformRequest);
  EXPECT_EQ(client.Send(kGetType), vardInvalidParameter);
  EXPECT_EQ(pool.Dump(), before);
}

TEST_F(PoolOpsTest, WaveformKindsAndTests) {
  AddWaveform("Analog", vardFloat);
  AddWaveform("Counts", vardInteger);
  AddWaveform("Events", vardDigital);
  ASSERT_EQ(client.CreateNumber("Num", 1), vardOK);
  EXPECT_EQ(TypeOf("analog"), vardWaveform);
  EXPECT_EQ(TypeOf("Counts"), vardWaveform);
  EXPECT_EQ(TypeOf("Events"), vardDigitalWaveform);
  const struct {
    const char* name;
    std::uint32_t digital, integer;
  } cases[] = {{"EVENTS", 1, 0}, {"counts", 0, 1}, {"Analog", 0, 0},
               {"Num", 0, 0},    {"Nope", 0, 0},   {"", 0, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(client.Variable(kIsDigitalWaveform, c.name), c.digital) << c.name;
    EXPECT_EQ(client.Variable(kIsIntegerWaveform, c.name), c.integer) << c.name;
  }
  // A malformed request answers "no", not a code that would read as "yes".
  auto& r = client.Begin<VariableRequest>(kIsDigitalWaveform);
  Put(r.Name, "Events");
  r.RecordSize = 203;
  EXPECT_EQ(client.Send(kIsDigitalWaveform), 0u);

  EXPECT_EQ(client.Scalar(kSetDescription, "Analog", "scope"), vardOK);
  EXPECT_EQ(Text(kGetDescription, "Analog"), "scope");
  EXPECT_EQ(client.Scalar(kGetNumber, "Analog"), vardInvalidType);
  EXPECT_EQ(client.Scalar(kSetString, "Analog", "x"), vardInvalidType);
}

// Whole levels only, without case; an open waveform stays, the rest goes.
TEST_F(PoolOpsTest, DeleteSubTreeRemovesWholeLevels) {
  ASSERT_EQ(client.CreateNumber("n1", 1, "", "", "Bench.Motor"), vardOK);
  ASSERT_EQ(client.CreateNumber("n2", 2, "", "", "bench.motor.Left"), vardOK);
  ASSERT_EQ(client.CreateString("s1", "x", "Bench.MotorCurrent"), vardOK);
  ASSERT_EQ(client.CreateString("s2", "x", "Bench"), vardOK);
  ASSERT_EQ(client.CreateString("s3", "x"), vardOK);
  auto claim = std::make_shared<const WriteClaim>();
  AddWaveform("w1", vardFloat, "Bench.Motor.Right", claim);
  AddWaveform("w2", vardFloat, "Bench.Motor.Right");

  EXPECT_EQ(client.Variable(kDeleteSubTree, "", "Bench.Motor.Left.Front"), vardNoSuchObject);
  EXPECT_EQ(client.Variable(kDeleteSubTree, "", "Bench.Motor"), vardProcNotAllowed);
  {
    const auto view = pool.Read();
    for (const char* gone : {"n1", "n2", "w2"}) EXPECT_EQ(view.Find(gone), nullptr) << gone;
    for (const char* kept : {"w1", "s1", "s2", "s3"}) EXPECT_NE(view.Find(kept), nullptr) << kept;
  }
  claim.reset();  // the writer went away
  EXPECT_EQ(client.Variable(kDeleteSubTree, "", "bench"), vardOK);
  EXPECT_EQ(pool.Read().Size(), 1u);
}

TEST(DispatchTest, CodesOutsideTheFamiliesBuiltSoFar) {
  Pool pool;
  PoolClient client(pool);
  for (std::uint32_t code :
       {0u, 1u, 2u, 3u, 4u, 9u, 30u, 94u, 97u, 112u, 128u, 0x10005u, 0xFFFFFFFFu})
    EXPECT_EQ(client.Send(code), vardInvalidParameter) << code;
  // Registered codes of families still to come are refused, never "done".
  for (std::uint32_t code = 0; code < 256; ++code) {
    if (RequestLength(code) != 0 && !IsImplemented(code)) {
      client.Begin<WaveformRequest>(code);  // any well-formed record will do
      EXPECT_EQ(client.Send(code), vardProcNotAllowed) << code;
    }
  }
}

}  // namespace
}  // namespace vard::server
