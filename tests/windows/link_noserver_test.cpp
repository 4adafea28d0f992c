// A process whose search path holds no server program: registration still
// counts, data calls answer vardNotInitialized, and only a release lets the
// next call look for the server again.
#include <gtest/gtest.h>
#include <windows.h>

#include "tests/harness/fake_server.h"
#include "tests/windows/peer.h"
#include "vard32.h"

TEST(NoServer, DataCallsAnswerNotInitializedUntilReleased) {
  const std::string here = vard::test::OwnFolder(), server = here + "vardthk.dll";
  DeleteFileA(server.c_str());
  InitDataManager();
  EXPECT_EQ(DeleteVariable("x"), vardNotInitialized);
  EXPECT_EQ(vardIsIntegerWaveform("x"), 0);

  // A server program that appears now is not looked for while this
  // connection lives...
  ASSERT_TRUE(CopyFileA((here + "..\\harness\\vardthk.dll").c_str(), server.c_str(), FALSE));
  vard::test::FakeServer fake;
  fake.WaitForWindow();
  EXPECT_EQ(DeleteVariable("x"), vardNotInitialized);
  EXPECT_TRUE(fake.Codes().empty());

  // ...but after the matching exit, the next call searches again and finds it.
  ExitDataManager();
  InitDataManager();
  EXPECT_EQ(DeleteVariable("x"), vardOK);
  EXPECT_EQ(fake.Codes(), (std::vector<std::uint32_t>{1, 3, 8}));
  ExitDataManager();
  DeleteFileA(server.c_str());
}
