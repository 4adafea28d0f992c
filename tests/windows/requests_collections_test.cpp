// Collections against the fake server: each export's record, the handle
// stored whatever the reply, and the wide forms' limits.
#include "tests/windows/requests_fixture.h"

using namespace vard::test;
namespace proto = vard::proto;
using proto::CollectionRequest;

namespace {

using Collections = RequestTest;

const CollectionRequest& Record(const Received& r) { return r.As<CollectionRequest>(); }

TEST_F(Collections, CreateSendsACutCommentAndStoresTheHandleWhateverTheReply) {
  ScribbleAfterEachReply();
  short coll = -1;
  CloseCollection(3);  // leaves the block scribbled over
  CreateCollection("C:\\data\\run.vcl", std::string(5000, 'c').c_str(), &coll);
  const Received r = Last();
  EXPECT_EQ(r.code, proto::kCreateCollection);
  EXPECT_EQ(Record(r).RecordSize, 4452u);
  EXPECT_EQ(Text(Record(r).PathName), "C:\\data\\run.vcl");
  EXPECT_EQ(Text(Record(r).Comment), std::string(4095, 'c'));
  EXPECT_TRUE(AllZero(r, offsetof(CollectionRequest, Coll), sizeof(CollectionRequest)));

  server_.SetHandler([](std::uint32_t, std::uint8_t* block) -> LRESULT {
    reinterpret_cast<CollectionRequest*>(block)->Coll = 7;
    return vardCollFileCreate;
  });
  EXPECT_EQ(CreateCollection("p", "c", &coll), vardCollFileCreate);
  EXPECT_EQ(coll, 7);
  server_.SetHandler(nullptr);
  EXPECT_EQ(CreateCollection("p", nullptr, &coll), vardOK);
  EXPECT_EQ(coll, 0);  // nothing written back: the cleared field

  const auto sent = Sent().size();
  EXPECT_EQ(CreateCollection("p", "c", nullptr), vardCollInvalidParameter);
  EXPECT_EQ(Sent().size(), sent);  // tested before the request
  EXPECT_EQ(CreateCollection("p", "c", reinterpret_cast<short*>(8)), vardCollException);
}

TEST_F(Collections, AddCloseAndLoadFillOnlyTheirFields) {
  AddToCollection(-2, std::string(40, 'v').c_str(), "as", vardForceInteger | vardForceEvent);
  Received r = Last();
  EXPECT_EQ(r.code, proto::kAddToCollection);
  EXPECT_EQ(Record(r).Coll, -2);
  EXPECT_EQ(Text(Record(r).VarName), std::string(29, 'v'));
  EXPECT_EQ(Text(Record(r).Name), "as");
  EXPECT_EQ(Record(r).Options, 3);
  EXPECT_TRUE(AllZero(r, 4, offsetof(CollectionRequest, Coll)));

  CloseCollection(12);
  r = Last();
  EXPECT_EQ(r.code, proto::kCloseCollection);
  EXPECT_EQ(Record(r).Coll, 12);
  EXPECT_TRUE(AllZero(r, offsetof(CollectionRequest, VarName), sizeof(CollectionRequest)));

  LoadCollection("C:\\x.vcl", std::string(40, 'p').c_str());
  r = Last();
  EXPECT_EQ(r.code, proto::kLoadCollection);
  EXPECT_EQ(Text(Record(r).PathName), "C:\\x.vcl");
  EXPECT_EQ(Text(Record(r).Prefix), std::string(29, 'p'));
  LoadCollection("C:\\x.vcl", "");
  EXPECT_TRUE(AllZero(Last(), offsetof(CollectionRequest, Prefix), sizeof(CollectionRequest)));

  ExitDataManager();
  EXPECT_EQ(CloseCollection(1), vardNotInitialized);
  InitDataManager();
}

TEST_F(Collections, WideFormsConvertWithTheirOwnLimits) {
  short coll = -1;
  const std::wstring long_path = Wide("C:\\" + std::string(300, 'p'));
  CreateCollectionW(long_path.c_str(), Wide(std::string(5000, 'c')).c_str(), &coll);
  EXPECT_EQ(Text(Record(Last()).PathName).size(), 254u);
  EXPECT_EQ(Text(Record(Last()).Comment), std::string(4094, 'c'));
  EXPECT_EQ(coll, 0);
  AddToCollectionW(4, Wide(std::string(40, 'v')).c_str(), nullptr, vardForceEvent);
  EXPECT_EQ(Text(Record(Last()).VarName), std::string(28, 'v'));
  EXPECT_EQ(Text(Record(Last()).Name), "");
  EXPECT_EQ(Record(Last()).Options, vardForceEvent);
  LoadCollectionW(L"C:\\x.vcl", Wide(std::string(40, 'p')).c_str());
  EXPECT_EQ(Text(Record(Last()).Prefix), std::string(28, 'p'));
  EXPECT_EQ(LoadCollectionW(reinterpret_cast<LPCWSTR>(8), L""), vardCollException);
}

}  // namespace
