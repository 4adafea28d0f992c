// Collections against the fake server: each export's record, the handle
// stored whatever the reply, and the wide forms' limits.
#include "tests/windows/requests_fixture.h"

using namespace vard::test;
using vard::proto::CollectionRequest;

namespace {

using Collections = RequestTest;

const CollectionRequest& Record(const Received& r) { return r.As<CollectionRequest>(); }

TEST_F(Collections, CreateStoresTheHandleWhateverTheReplyAndNeedsSomewhereToStoreIt) {
  ScribbleAfterEachReply();
  short coll = -1;
  CloseCollection(3);  // leaves the block scribbled over
  CreateCollection("C:\\run.vcl", std::string(5000, 'c').c_str(), &coll);
  EXPECT_EQ(Last().code, 80u);
  EXPECT_EQ(Record(Last()).RecordSize, 4452u);
  EXPECT_EQ(Text(Record(Last()).PathName), "C:\\run.vcl");
  EXPECT_EQ(Text(Record(Last()).Comment), std::string(4095, 'c'));
  EXPECT_TRUE(AllZero(Last(), offsetof(CollectionRequest, Coll), sizeof(CollectionRequest)));
  server_.SetHandler([](std::uint32_t, std::uint8_t* block) -> LRESULT {
    reinterpret_cast<CollectionRequest*>(block)->Coll = 7;
    return vardCollFileCreate;
  });
  EXPECT_EQ(CreateCollection("p", "c", &coll), vardCollFileCreate);
  EXPECT_EQ(coll, 7);
  server_.SetHandler(nullptr);
  CreateCollectionW(L"p", Wide(std::string(5000, 'c')).c_str(), &coll);
  EXPECT_EQ(coll, 0);  // nothing written back: the cleared field
  EXPECT_EQ(Text(Record(Last()).Comment), std::string(4094, 'c'));
  const auto count = Sent().size();
  EXPECT_EQ(CreateCollection("p", "c", nullptr), vardCollInvalidParameter);
  EXPECT_EQ(Sent().size(), count);  // refused before the request
  EXPECT_EQ(CreateCollection("p", "c", reinterpret_cast<short*>(8)), vardCollException);
}

TEST_F(Collections, AddCloseAndLoadFillTheirOwnFields) {
  AddToCollection(-2, std::string(40, 'v').c_str(), "as", vardForceInteger | vardForceEvent);
  const CollectionRequest add = Record(Last());
  EXPECT_EQ(Text(add.VarName), std::string(29, 'v'));
  EXPECT_EQ(Text(add.Name) + " " + std::to_string(add.Coll) + " " + std::to_string(add.Options),
            "as -2 3");
  CloseCollection(12);
  EXPECT_EQ(Record(Last()).Coll, 12);
  LoadCollectionW(L"C:\\x.vcl", Wide(std::string(40, 'p')).c_str());
  EXPECT_EQ(Text(Record(Last()).PathName) + " " + Text(Record(Last()).Prefix),
            "C:\\x.vcl " + std::string(28, 'p'));
  EXPECT_EQ(SentCodes(), (std::vector<std::uint32_t>{81, 82, 83}));
  ExitDataManager();
  EXPECT_EQ(CloseCollection(1), vardNotInitialized);
  InitDataManager();
}

}  // namespace
