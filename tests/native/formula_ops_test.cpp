// The formula family through Dispatch: the rows, the computed variables as
// other operations see them, and text expansion.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "server/core/formula_shell.h"
#include "server/core/formula_table.h"
#include "tests/native/pool_client.h"

namespace vard::server {
namespace {

using namespace vard::proto;
using testing::Got;
using testing::PoolClient;
using testing::Put;

class FormulaOps : public ::testing::Test {
 protected:
  void SetUp() override {
    client_.CreateNumber("u", 12, "V");
    client_.CreateNumber("i", 0.5, "A");
    client_.CreateString("who", "bench 3");
  }
  // AddFormula (row 0) or SetFormula: the reply as the library reads it.
  short Define(std::int16_t row, std::string_view name, std::string_view text,
               std::string_view units = "", std::string_view description = "") {
    const std::uint32_t code = row == 0 ? kAddFormula : kSetFormula;
    auto& r = client_.Begin<FormulaRequest>(code);
    r.Row = row;
    Put(r.Name, name), Put(r.Formula, text), Put(r.Units, units), Put(r.Description, description);
    return static_cast<short>(client_.Send(code));
  }
  std::uint32_t Delete(std::int16_t row) {
    client_.Begin<FormulaRequest>(kDeleteFormula).Row = row;
    return client_.Send(kDeleteFormula);
  }
  // The reply and the text ExpandTextEx leaves in the block.
  std::pair<std::uint32_t, std::string> Expand(std::string_view input, std::uint16_t limit = 24575) {
    auto& r = client_.Begin<FormulaRequest>(kExpandTextEx);
    Put(r.InputText, input);
    r.OutputLimit = limit;
    std::memset(r.OutputText, '#', sizeof r.OutputText);
    const std::uint32_t reply = client_.Send(kExpandTextEx);
    return {reply, Got(client_.Record<FormulaRequest>().OutputText)};
  }
  double Number(std::string_view name, std::uint32_t expected = vardOK) {
    EXPECT_EQ(client_.Scalar(kGetNumber, name), expected) << name;
    return client_.Value();
  }

  Pool pool_;
  PoolClient client_{pool_};
};

TEST_F(FormulaOps, RowsAreFilledInOrderAndRulesChangeNothingOnFailure) {
  EXPECT_EQ(Define(0, "power", "u * i", "W", "electrical power"), 1);
  EXPECT_EQ(Define(0, "double_u", "2 * u"), 2);
  EXPECT_EQ(Delete(1), vardOK);
  EXPECT_EQ(Define(0, "ohms", "u / i", "Ohm"), 1);  // the first empty row again
  const std::string before = pool_.Dump();
  const struct {
    short reply;
    std::int16_t row;
    const char* name;
    const char* text;
  } failures[] = {
      {-vardInvalidName, 0, "", "1"},            {-vardInvalidName, 0, "  ", "1"},
      {-vardAlreadyExists, 0, "U", "1"},         {-vardAlreadyExists, 0, "OHMS", "1"},
      {-vardInvalidParameter, 0, "new", "1 +"},  {-vardInvalidParameter, 0, "new", ""},
      {vardInvalidHandle, -1, "new", "1"},        {vardInvalidHandle, 513, "new", "1"},
      {vardAlreadyExists, 2, "ohms", "1"},        {vardAlreadyExists, 3, "who", "1"},
      {vardInvalidParameter, 1, "ohms", "u /"},   {vardInvalidName, 1, "bad\tname", "1"},
  };
  for (const auto& f : failures) EXPECT_EQ(Define(f.row, f.name, f.text), f.reply) << f.name;
  EXPECT_EQ(Delete(0), vardInvalidHandle);
  EXPECT_EQ(Delete(513), vardInvalidHandle);
  EXPECT_EQ(Delete(3), vardNoSuchData);
  EXPECT_EQ(pool_.Dump(), before);

  // SetFormula overwrites a row (renaming its variable) or fills an empty one.
  EXPECT_EQ(Define(2, "Triple_U", "3 * u", "V"), vardOK);
  EXPECT_EQ(Number("double_u", vardNoSuchObject), 0.0);
  EXPECT_EQ(Number("triple_u"), 36);
  EXPECT_EQ(Define(2, "TRIPLE_U", "4 * u"), vardOK);  // same name, new spelling
  EXPECT_EQ(Number("triple_u"), 48);
  EXPECT_EQ(Define(512, "last", "1"), vardOK);
  EXPECT_EQ(formula::Rows(pool_).back().row, 512);
}

TEST_F(FormulaOps, TheTableHoldsFiveHundredTwelveRows) {
  char name[8];
  for (int row = 1; row <= kFormulaRows; ++row)
    ASSERT_EQ(Define(0, (std::snprintf(name, sizeof name, "f%d", row), name), "1"), row);
  EXPECT_EQ(Define(0, "one_too_many", "1"), -vardOutOfMemory);
}

TEST_F(FormulaOps, AComputedVariableReadsLikeANumber) {
  ASSERT_EQ(Define(0, "power", "u * i", std::string(15, 'W'), "electrical power"), 1);
  EXPECT_EQ(Number("POWER"), 6);
  client_.Scalar(kSetNumber, "u", "", 24);  // another client changes an input
  EXPECT_EQ(Number("power"), 12);
  std::int16_t type = 0;
  EXPECT_EQ(client_.GetType("power", &type), vardOK);
  EXPECT_EQ(type, vardNumerical);
  EXPECT_EQ(client_.Scalar(kGetUnits, "power"), vardOK);
  EXPECT_EQ(client_.ReplyText(kGetUnits), std::string(9, 'W'));
  EXPECT_EQ(client_.Scalar(kSetUnits, "power", "kW"), vardOK);  // the row shows it
  EXPECT_EQ(formula::Rows(pool_)[0].units, "kW");
  EXPECT_EQ(client_.Scalar(kSetNumber, "power", "", 1), vardProcNotAllowed);

  // Errors on read answer their codes and leave Value as the library cleared it.
  for (auto [text, code] : {std::pair{"nobody", vardNotFound}, {"who * 2", vardInvalidType},
                            {"1 / (u - u)", vardNoSuchData}, {"broken + 1", vardProcNotAllowed}}) {
    ASSERT_EQ(Define(2, "broken", text), vardOK);
    EXPECT_EQ(Number("broken", code), 0.0) << text;
  }
  // Deleting the variable, by any operation, empties its row.
  EXPECT_EQ(client_.Variable(kDeleteSubTree, "", "formulas"), vardOK);
  EXPECT_TRUE(formula::Rows(pool_).empty());
  EXPECT_EQ(Define(0, "again", "1"), 1);
}

TEST_F(FormulaOps, ExpansionOfEachKindOfReferenceWithinItsLimit) {
  // (formulas_e2e_test expands one reference of each kind through the library)
  const struct {
    const char* input;
    const char* output;
  } cases[] = {
      {"{u:UNITS} {u:%08.1f} {u * i / 2:%+.1e}", "V 000012.0 +3.0e+00"},
      {"{who} / {who:description}", "bench 3 / "},
      {"{{u}} }} } {", "{u} } } <?syntax>"},
      {"{nobody} {who * 2} {1/0} {u:%s} {u:%n} {u:%.3f%%} {u + :%g} {u*i:units}",
       "<?unknown> <?type> <?domain> <?format> <?format> <?format> <?syntax> <?format>"},
      {"{u:%61f}|{u:%.41f}|{u:% -#5.0f}", "<?format>|<?format>| 12. "},
      {"{'a}b:c' }", "<?unknown>"},
  };
  for (const auto& c : cases) EXPECT_EQ(Expand(c.input), std::make_pair(1u, std::string(c.output))) << c.input;

  // The limit counts the NUL; the reply says whether the text was cut.
  EXPECT_EQ(Expand("{u} {u:units}", 5), std::make_pair(1u, std::string("12 V")));
  EXPECT_EQ(Expand("{u} {u:units}", 1), std::make_pair(2u, std::string()));
  EXPECT_EQ(Expand("{u}", 0).second.substr(0, 4), "####");  // no room: nothing written
  std::string many;  // 1300 references to a 200-byte string: far beyond the field
  for (int k = 0; k < 1300; ++k) many += "{long}";
  client_.CreateString("long", std::string(200, 'l'));
  EXPECT_EQ(Expand(many, 60000), std::make_pair(2u, std::string(24574, 'l')));  // capped at 24575

  // In a double-byte code page a character is never split.
  InstallFormulaShell(FormulaShell{nullptr, [](unsigned char c) { return c >= 0x81 && c <= 0x9F; }});
  EXPECT_EQ(Expand("ab\x82{\x82}", 4).second, "ab");
  EXPECT_EQ(Expand("a\x82{b", 5).second, "a\x82{b");  // '{' is the second byte here
  InstallFormulaShell(FormulaShell{});
  EXPECT_EQ(Expand("ab\x82{\x82}", 4).second, "ab\x82");
}

}  // namespace
}  // namespace vard::server
