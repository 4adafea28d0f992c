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

  EXPECT_TRUE(PathInSubtree("a.b", "a.b"));
  EXPECT_TRUE(PathInSubtree("A.B.c", "a.b"));
  EXPECT_FALSE(PathInSubtree("a.bc", "a.b"));
  EXPECT_FALSE(PathInSubtree("a", "a.b"));
  EXPECT_EQ(HashFolded("Speed"), HashFolded("SPEED"));
  EXPECT_FALSE(EqualsFolded("\xC4", "\xE4"));  // only ASCII folds
}

class PoolOpsTest : public ::testing::Test {
 protected:
  Pool pool;
  PoolClient client{pool};

  // A waveform as the waveform family would leave it; `claim` keeps it open
  // for writing.
  void AddWaveform(const char* name, DataType type, const char* path = "",
                   std::shared_ptr<const WriteClaim> claim = nullptr) {
    Variable v;
    v.name = std::string(name);
    v.path = std::string(path);
    v.kind = Kind::Waveform;
    ASSERT_EQ(WaveformData::Create(static_cast<std::int16_t>(type), &v.waveform), kOK);
    v.writer = claim;
    ASSERT_NE(pool.Write().Insert(std::move(v)), nullptr);
  }
  std::int16_t TypeOf(const char* name) {
    std::int16_t type = 0;
    EXPECT_EQ(client.GetType(name, &type), kOK) << name;
    return type;
  }
};

TEST_F(PoolOpsTest, NumbersAndStringsRoundTrip) {
  ASSERT_EQ(client.CreateNumber("Speed", 12.5, "km/h", "Vehicle speed", "Test.Run1"), kOK);
  ASSERT_EQ(client.CreateString("Operator", "Ann"), kOK);
  EXPECT_EQ(client.Scalar(proto::kGetNumber, "Speed"), kOK);
  EXPECT_EQ(client.Value(), 12.5);
  EXPECT_EQ(client.Scalar(proto::kGetUnits, "Speed"), kOK);
  EXPECT_EQ(Got(client.Reply().Units), "km/h");
  EXPECT_EQ(client.Scalar(proto::kGetDescription, "Speed"), kOK);
  EXPECT_EQ(Got(client.Reply().Description), "Vehicle speed");
  EXPECT_EQ(client.Scalar(proto::kGetString, "Operator"), kOK);
  EXPECT_EQ(Got(client.Reply().String), "Ann");
  EXPECT_EQ(TypeOf("Speed"), static_cast<std::int16_t>(VarType::Numerical));
  EXPECT_EQ(TypeOf("Operator"), static_cast<std::int16_t>(VarType::String));

  EXPECT_EQ(client.Scalar(proto::kSetNumber, "Speed", "", NAN), kOK);
  EXPECT_EQ(client.Scalar(proto::kSetUnits, "Speed", "m/s"), kOK);
  EXPECT_EQ(client.Scalar(proto::kSetDescription, "Speed", "in SI units"), kOK);
  EXPECT_EQ(client.Scalar(proto::kSetString, "Operator", std::string(255, 'z')), kOK);
  EXPECT_EQ(client.Scalar(proto::kSetDescription, "Operator", "who ran it"), kOK);
  EXPECT_EQ(client.Scalar(proto::kGetNumber, "Speed"), kOK);
  EXPECT_TRUE(std::isnan(client.Value()));
  EXPECT_EQ(client.Scalar(proto::kGetUnits, "Speed"), kOK);
  EXPECT_EQ(Got(client.Reply().Units), "m/s");
  EXPECT_EQ(client.Scalar(proto::kGetDescription, "Speed"), kOK);
  EXPECT_EQ(Got(client.Reply().Description), "in SI units");
  EXPECT_EQ(client.Scalar(proto::kGetString, "Operator"), kOK);
  EXPECT_EQ(Got(client.Reply().String), std::string(255, 'z'));
  EXPECT_EQ(client.Scalar(proto::kGetDescription, "Operator"), kOK);
  EXPECT_EQ(Got(client.Reply().Description), "who ran it");
}

// A sender that leaves no NUL gets its value texts cut as the library would
// have cut them, and names and paths that long refused.
TEST_F(PoolOpsTest, UnterminatedFieldsAreBoundedByTheirWidth) {
  auto& r = client.Begin<proto::ScalarRequest>(proto::kCreateNumber);
  Put(r.Name, "Full");
  std::memset(r.Units, 'u', sizeof r.Units);
  std::memset(r.Description, 'd', sizeof r.Description);
  ASSERT_EQ(client.Send(proto::kCreateNumber), kOK);
  EXPECT_EQ(client.Scalar(proto::kGetUnits, "Full"), kOK);
  EXPECT_EQ(Got(client.Reply().Units), std::string(9, 'u'));
  EXPECT_EQ(client.Scalar(proto::kGetDescription, "Full"), kOK);
  EXPECT_EQ(Got(client.Reply().Description), std::string(143, 'd'));

  ASSERT_EQ(client.CreateNumber("n", 1, "", "", std::string(169, 'q')), kOK);
  const std::string before = pool.Dump();
  std::memset(client.Begin<proto::ScalarRequest>(proto::kCreateNumber).Name, 'n', 30);
  EXPECT_EQ(client.Send(proto::kCreateNumber), kInvalidName);
  auto& p = client.Begin<proto::ScalarRequest>(proto::kCreateString);
  Put(p.Name, "Pathy");
  std::memset(p.Path, 'p', sizeof p.Path);
  EXPECT_EQ(client.Send(proto::kCreateString), kInvalidName);
  std::memset(client.Begin<proto::WaveformRequest>(proto::kGetType).Name, 'x', 500);
  EXPECT_EQ(client.Send(proto::kGetType), kInvalidName);
  std::memset(client.Begin<proto::VariableRequest>(proto::kDeleteSubTree).NavigatorPathName, 'q',
              170);
  EXPECT_EQ(client.Send(proto::kDeleteSubTree), kInvalidName);
  EXPECT_EQ(pool.Dump(), before);
}

TEST_F(PoolOpsTest, NamesIgnoreCaseButKeepIt) {
  ASSERT_EQ(client.CreateNumber("MotorTemp", 80, "", "", "Bench.Motor"), kOK);
  EXPECT_EQ(client.CreateString("MOTORTEMP", "clash"), kAlreadyExists);
  EXPECT_EQ(client.Scalar(proto::kGetNumber, "motortemp"), kOK);
  EXPECT_NE(pool.Dump().find("\"MotorTemp\" path=\"Bench.Motor\""), std::string::npos);
  EXPECT_EQ(client.Variable(proto::kDeleteSubTree, "", "BENCH.motor"), kOK);
  ASSERT_EQ(client.CreateNumber("MotorTemp", 1), kOK);
  EXPECT_EQ(client.Variable(proto::kDeleteVariable, "MOTORtemp"), kOK);
  EXPECT_EQ(pool.Read().Size(), 0u);
}

// Every failure answers its code, changes nothing in the pool and leaves the
// reply fields as the library cleared them.
TEST_F(PoolOpsTest, FailuresAnswerTheirCodeAndChangeNothing) {
  ASSERT_EQ(client.CreateNumber("Num", 3, "V", "volts"), kOK);
  ASSERT_EQ(client.CreateString("Str", "text"), kOK);
  const std::string before = pool.Dump();

  using namespace proto;
  const struct {
    std::uint32_t opcode;
    const char* name;
    std::uint32_t expected;
  } cases[] = {
      {kGetNumber, "Nope", kNoSuchObject}, {kGetNumber, "Str", kInvalidType},
      {kGetUnits, "Str", kInvalidType},    {kSetNumber, "Str", kInvalidType},
      {kSetUnits, "Str", kInvalidType},    {kGetString, "Num", kInvalidType},
      {kSetString, "Num", kInvalidType},   {kGetString, "Nope", kNoSuchObject},
      {kSetString, "Nope", kNoSuchObject}, {kSetNumber, "Nope", kNoSuchObject},
      {kSetUnits, "Nope", kNoSuchObject},  {kGetUnits, "Nope", kNoSuchObject},
      {kSetDescription, "Nope", kNoSuchObject}, {kGetDescription, "Nope", kNoSuchObject},
      {kGetNumber, "", kInvalidName},      {kSetNumber, "  ", kInvalidName},
      {kSetDescription, "a\nb", kInvalidName}, {kGetString, "", kInvalidName},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(client.Scalar(c.opcode, c.name, "zz", 7.0), c.expected)
        << "opcode " << c.opcode << " name '" << c.name << "'";
    const double sent = client.Value();
    EXPECT_EQ(sent, 7.0);
    const std::string_view written = c.opcode == kGetString  ? client.Reply().String
                                     : c.opcode == kGetUnits ? client.Reply().Units
                                     : c.opcode == kGetDescription ? client.Reply().Description
                                                                   : "";
    EXPECT_EQ(written, "");
  }

  EXPECT_EQ(client.CreateNumber("num", 1), kAlreadyExists);
  EXPECT_EQ(client.CreateString("NUM", "x"), kAlreadyExists);
  EXPECT_EQ(client.CreateNumber("", 1), kInvalidName);
  EXPECT_EQ(client.CreateNumber("Fresh", 1, "", "", "a..b"), kInvalidName);
  EXPECT_EQ(client.CreateString("Fresh", "x", ".lead"), kInvalidName);
  std::int16_t type = 99;
  EXPECT_EQ(client.GetType("Nope", &type), kNoSuchObject);
  EXPECT_EQ(type, 0);
  EXPECT_EQ(client.Variable(kDeleteVariable, "Nope"), kNoSuchObject);
  EXPECT_EQ(client.Variable(kDeleteVariable, ""), kInvalidName);
  EXPECT_EQ(client.Variable(kDeleteSubTree, "", ""), kInvalidName);
  EXPECT_EQ(client.Variable(kDeleteSubTree, "", "a..b"), kInvalidName);
  EXPECT_EQ(client.Variable(kDeleteSubTree, "", "Elsewhere"), kNoSuchObject);

  // A RecordSize that does not fit the code: nothing is done.
  for (std::uint32_t size : {0u, 4u, 707u, 709u, 0xFFFFFFFFu}) {
    auto& r = client.Begin<ScalarRequest>(kSetNumber);
    Put(r.Name, "Num");
    r.RecordSize = size;
    EXPECT_EQ(client.Send(kSetNumber), kInvalidParameter) << size;
  }
  // GetType must announce 4, not its full length.
  auto& t = client.Begin<WaveformRequest>(kGetType);
  Put(t.Name, "Num");
  t.RecordSize = sizeof(WaveformRequest);
  EXPECT_EQ(client.Send(kGetType), kInvalidParameter);
  EXPECT_EQ(pool.Dump(), before);
}

TEST_F(PoolOpsTest, WaveformKindsAndTests) {
  AddWaveform("Analog", DataType::Float);
  AddWaveform("Counts", DataType::Integer);
  AddWaveform("Events", DataType::Digital);
  ASSERT_EQ(client.CreateNumber("Num", 1), kOK);
  EXPECT_EQ(TypeOf("analog"), static_cast<std::int16_t>(VarType::Waveform));
  EXPECT_EQ(TypeOf("Counts"), static_cast<std::int16_t>(VarType::Waveform));
  EXPECT_EQ(TypeOf("Events"), static_cast<std::int16_t>(VarType::DigitalWaveform));

  const struct {
    const char* name;
    std::uint32_t digital, integer;
  } cases[] = {{"EVENTS", 1, 0}, {"counts", 0, 1}, {"Analog", 0, 0},
               {"Num", 0, 0},    {"Nope", 0, 0},   {"", 0, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(client.Variable(proto::kIsDigitalWaveform, c.name), c.digital) << c.name;
    EXPECT_EQ(client.Variable(proto::kIsIntegerWaveform, c.name), c.integer) << c.name;
  }
  // A malformed request answers "no", not a code that would read as "yes".
  auto& r = client.Begin<proto::VariableRequest>(proto::kIsDigitalWaveform);
  Put(r.Name, "Events");
  r.RecordSize = 203;
  EXPECT_EQ(client.Send(proto::kIsDigitalWaveform), 0u);

  EXPECT_EQ(client.Scalar(proto::kSetDescription, "Analog", "scope"), kOK);
  EXPECT_EQ(client.Scalar(proto::kGetDescription, "Analog"), kOK);
  EXPECT_EQ(Got(client.Reply().Description), "scope");
  EXPECT_EQ(client.Scalar(proto::kGetNumber, "Analog"), kInvalidType);
  EXPECT_EQ(client.Scalar(proto::kSetString, "Analog", "x"), kInvalidType);
}

TEST_F(PoolOpsTest, DeleteVariableRefusesAWaveformOpenForWriting) {
  auto claim = std::make_shared<const WriteClaim>(WriteClaim{client.session().Id()});
  AddWaveform("Recording", DataType::Float, "", claim);
  EXPECT_EQ(client.Variable(proto::kDeleteVariable, "Recording"), kProcNotAllowed);
  claim.reset();  // the writer went away
  EXPECT_EQ(client.Variable(proto::kDeleteVariable, "Recording"), kOK);
  EXPECT_EQ(client.Variable(proto::kDeleteVariable, "Recording"), kNoSuchObject);
}

TEST_F(PoolOpsTest, DeleteSubTreeRemovesWholeLevels) {
  ASSERT_EQ(client.CreateNumber("n1", 1, "", "", "Bench.Motor"), kOK);
  ASSERT_EQ(client.CreateNumber("n2", 2, "", "", "bench.motor.Left"), kOK);
  ASSERT_EQ(client.CreateString("s1", "x", "Bench.MotorCurrent"), kOK);
  ASSERT_EQ(client.CreateString("s2", "x", "Bench"), kOK);
  ASSERT_EQ(client.CreateString("s3", "x"), kOK);
  auto claim = std::make_shared<const WriteClaim>();
  AddWaveform("w1", DataType::Float, "Bench.Motor.Right", claim);
  AddWaveform("w2", DataType::Float, "Bench.Motor.Right");

  EXPECT_EQ(client.Variable(proto::kDeleteSubTree, "", "Bench.Motor.Left.Front"), kNoSuchObject);
  // The open waveform stays, the rest of the subtree goes.
  EXPECT_EQ(client.Variable(proto::kDeleteSubTree, "", "Bench.Motor"), kProcNotAllowed);
  {
    const auto view = pool.Read();
    for (const char* gone : {"n1", "n2", "w2"}) EXPECT_EQ(view.Find(gone), nullptr) << gone;
    for (const char* kept : {"w1", "s1", "s2", "s3"}) EXPECT_NE(view.Find(kept), nullptr) << kept;
  }
  claim.reset();
  EXPECT_EQ(client.Variable(proto::kDeleteSubTree, "", "bench"), kOK);
  EXPECT_EQ(pool.Read().Size(), 1u);
}

TEST(DispatchTest, CodesOutsideTheFamiliesBuiltSoFar) {
  Pool pool;
  PoolClient client(pool);
  for (std::uint32_t code : {0u, 1u, 2u, 3u, 4u, 9u, 30u, 94u, 97u, 112u, 128u, 0x10005u,
                             0xFFFFFFFFu}) {
    EXPECT_EQ(client.Send(code), kInvalidParameter) << code;
  }
  for (std::uint32_t code : {5, 6, 7, 8, 40, 41, 42, 43, 44, 45, 46, 47, 48, 95, 96})
    EXPECT_TRUE(IsImplemented(code)) << code;
  // Registered codes of families still to come are refused, never "done".
  for (std::uint32_t code = 0; code < 256; ++code) {
    if (proto::RequestLength(code) != 0 && !IsImplemented(code)) {
      client.Begin<proto::WaveformRequest>(code);  // any well-formed record will do
      EXPECT_EQ(client.Send(code), kProcNotAllowed) << code;
    }
  }
}

}  // namespace
}  // namespace vard::server
