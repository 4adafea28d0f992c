// Variable queries and deletion against the fake server.
#include <sstream>

#include "tests/windows/requests_fixture.h"

using namespace vard::test;
namespace proto = vard::proto;
using proto::ScalarRequest;
using proto::VariableRequest;
using proto::WaveformRequest;

namespace {

using Variables = RequestTest;

TEST_F(Variables, GetTypeAnnouncesFourBytesAndCopiesTheTypeOnlyOnSuccess) {
  ScribbleAfterEachReply();
  const std::string name(100, 'n');
  short type = 0;
  GetType("first", &type);
  EXPECT_EQ(GetType(name.c_str(), &type), vardOK);
  const Received r = Last();
  EXPECT_EQ(r.code, proto::kGetType);
  EXPECT_EQ(r.As<WaveformRequest>().RecordSize, 4u);
  EXPECT_EQ(Text(r.As<WaveformRequest>().Name), name);
  EXPECT_TRUE(AllZero(r, 4 + 100, sizeof(WaveformRequest)));
  EXPECT_EQ(r.block[sizeof(WaveformRequest)], 0xAA);
  EXPECT_EQ(type, static_cast<short>(0xAAAA));  // the reply's Type field

  server_.SetHandler([](std::uint32_t, std::uint8_t*) -> LRESULT { return vardNoSuchObject; });
  EXPECT_EQ(GetTypeW(Wide(std::string(40, 'w')).c_str(), &type), vardNoSuchObject);
  EXPECT_EQ(type, vardUnknown);
  EXPECT_EQ(Text(Last().As<WaveformRequest>().Name), std::string(28, 'w'));
}

TEST_F(Variables, GetDescriptionCopyLimits) {
  const std::string text(143, 'd');
  LRESULT reply = vardOK;
  server_.SetHandler([&](std::uint32_t, std::uint8_t* block) {
    std::memcpy(block + offsetof(ScalarRequest, Description), text.c_str(), text.size() + 1);
    return reply;
  });
  char buffer[600];
  std::memset(buffer, '#', sizeof buffer);
  GetDescription("v", buffer, 10);
  EXPECT_EQ(std::string(buffer), std::string(9, 'd'));
  EXPECT_EQ(buffer[10], '#');
  for (short size : {500, -1}) {  // -1: a large unsigned size
    buffer[0] = '#';
    GetDescription("v", buffer, size);
    EXPECT_EQ(std::string(buffer), text) << size;
  }
  buffer[0] = '#';
  GetDescription("v", buffer, 0);
  EXPECT_EQ(buffer[0], '#');

  reply = vardNoSuchObject;
  EXPECT_EQ(GetDescription("v", buffer, 0), vardNoSuchObject);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(Last().As<ScalarRequest>().RecordSize, 708u);
}

TEST_F(Variables, DeletionRequestsCutTheirTexts) {
  ScribbleAfterEachReply();
  DeleteVariable(std::string(40, 'v').c_str());
  EXPECT_EQ(Text(Last().As<VariableRequest>().Name), std::string(29, 'v'));
  DeleteSubTree(std::string(200, 'p').c_str());
  const Received r = Last();
  EXPECT_EQ(r.As<VariableRequest>().RecordSize, 204u);
  EXPECT_EQ(r.As<VariableRequest>().Name[0], '\0');
  EXPECT_EQ(Text(r.As<VariableRequest>().NavigatorPathName), std::string(169, 'p'));
  EXPECT_EQ(r.block[sizeof(VariableRequest)], 0xAA);
  EXPECT_EQ(SentCodes(), (std::vector<std::uint32_t>{8, 7}));
}

TEST_F(Variables, WaveformTestsAnswerTheLowSixteenBits) {
  server_.SetHandler([](std::uint32_t code, std::uint8_t*) -> LRESULT {
    return code == proto::kIsDigitalWaveform ? 0x00020001 : 0x00030000;
  });
  EXPECT_EQ(vardIsDigitalWaveform("d"), 1);
  EXPECT_EQ(vardIsIntegerWaveformW(L"iw"), 0);
  EXPECT_EQ(SentCodes(), (std::vector<std::uint32_t>{95, 96}));
  EXPECT_EQ(Text(Last().As<VariableRequest>().Name), "iw");
  // A name pointer that faults is a "no", not a crash, and sends nothing.
  const auto* bad = reinterpret_cast<LPCWSTR>(std::uintptr_t{16});
  EXPECT_EQ(vardIsDigitalWaveformW(bad), 0);
  EXPECT_EQ(vardIsIntegerWaveformW(bad), 0);
  EXPECT_EQ(SentCodes().size(), 2u);
}

// For the four families: the A name is the same function, the W form another.
TEST(RequestExports, AliasesAndWideForms) {
  HMODULE dll = GetModuleHandleA("VARD32.dll");
  auto find = [dll](const std::string& n) { return (void*)GetProcAddress(dll, n.c_str()); };
  std::istringstream names(
      "GetType GetDescription DeleteVariable DeleteSubTree vardIsDigitalWaveform "
      "vardIsIntegerWaveform GetString CreateString SetString GetNumber GetUnits CreateNumber "
      "SetNumber SetDescription SetUnits LockWaveform GetHorizontal GetVertical GetWaveformValue "
      "CreateWaveform OpenWaveform WriteHorizontal WriteVertical");
  for (std::string name; names >> name;) {
    ASSERT_NE(find(name), nullptr) << name;
    EXPECT_EQ(find(name + "A"), find(name)) << name;
    EXPECT_NE(find(name + "W"), nullptr) << name;
  }
}

}  // namespace
