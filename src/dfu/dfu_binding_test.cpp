#include "dfu/dfu_binding.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "platform/native_library_loader.h"

namespace vantel3 {
namespace {

using ::testing::_;
using ::testing::InSequence;
using ::testing::Return;
using ::testing::StrEq;

std::array<bool, 6> Resolved(const DfuApi& api) {
  return {api.hidDfuConnect != nullptr,     api.hidDfuDisconnect != nullptr,
          api.hidDfuUpgrade != nullptr,     api.hidDfuGetProgress != nullptr,
          api.hidDfuResetDevice != nullptr, api.hidDfuGetResult != nullptr};
}

TEST(DfuBindingTest, CompleteLibraryBindsAllSixAndItsEntryPointsCanBeCalled) {
  NativeLibraryLoader loader;
  DfuApi api;
  ASSERT_EQ(BindDfuLibrary(loader, VANTEL3_TEST_DFU_COMPLETE, api), 1);
  EXPECT_NE(api.module, nullptr);
  EXPECT_EQ(Resolved(api), (std::array<bool, 6>{true, true, true, true, true, true}));

  uint32_t device = 0;
  EXPECT_EQ(api.hidDfuConnect(kDfuVendorId, kDfuProductId, kDfuUsage, kDfuUsagePage, &device), 0);
  EXPECT_EQ(device, 0x5EA1u);
  EXPECT_NE(api.hidDfuConnect(0x1234, kDfuProductId, kDfuUsage, kDfuUsagePage, &device), 0);
  EXPECT_EQ(api.hidDfuGetProgress() & 0xFF, 100);
}

TEST(DfuBindingTest, IncompleteOrUnloadableLibrariesDoNotBind) {
  struct Case {
    const char* path;
    bool loads;
    std::array<bool, 6> resolved;
  };
  const Case cases[] = {
      {VANTEL3_TEST_DFU_WITHOUT_RESULT, true, {true, true, true, true, true, false}},
      {VANTEL3_TEST_DFU_NOT_A_LIBRARY, false, {}},
      {VANTEL3_BINARY_DIR "/no_such_library.so", false, {}},
  };
  NativeLibraryLoader loader;
  for (const Case& c : cases) {
    DfuApi api;
    EXPECT_EQ(BindDfuLibrary(loader, c.path, api), 0) << c.path;
    EXPECT_EQ(api.module != nullptr, c.loads) << c.path;
    EXPECT_EQ(Resolved(api), c.resolved) << c.path;
  }
}

class MockLibraryLoader : public LibraryLoader {
 public:
  MOCK_METHOD(void*, Open, (const std::filesystem::path& path, std::string& error), (override));
  MOCK_METHOD(void*, Symbol, (void* module, const char* name), (override));
};

int fakeModule;
int fakeExports[6];

TEST(DfuBindingTest, LooksUpAllSixInOrderEvenWhenTheFirstIsMissing) {
  ::testing::StrictMock<MockLibraryLoader> loader;
  {
    InSequence order;
    EXPECT_CALL(loader, Open(std::filesystem::path("./data/libhiddfu.so"), _))
        .WillOnce(Return(&fakeModule));
    EXPECT_CALL(loader, Symbol(&fakeModule, StrEq("hidDfuConnect"))).WillOnce(Return(nullptr));
    EXPECT_CALL(loader, Symbol(&fakeModule, StrEq("hidDfuDisconnect")))
        .WillOnce(Return(&fakeExports[1]));
    EXPECT_CALL(loader, Symbol(&fakeModule, StrEq("hidDfuUpgrade")))
        .WillOnce(Return(&fakeExports[2]));
    EXPECT_CALL(loader, Symbol(&fakeModule, StrEq("hidDfuGetProgress")))
        .WillOnce(Return(&fakeExports[3]));
    EXPECT_CALL(loader, Symbol(&fakeModule, StrEq("hidDfuResetDevice")))
        .WillOnce(Return(&fakeExports[4]));
    EXPECT_CALL(loader, Symbol(&fakeModule, StrEq("hidDfuGetResult")))
        .WillOnce(Return(&fakeExports[5]));
  }
  DfuApi api;
  EXPECT_EQ(BindDfuLibrary(loader, "./data/libhiddfu.so", api), 0);
  EXPECT_EQ(api.module, &fakeModule);
  EXPECT_EQ(Resolved(api), (std::array<bool, 6>{false, true, true, true, true, true}));
}

TEST(DfuBindingTest, ALibraryThatDoesNotLoadIsNotSearchedAndLeavesNoStaleEntryPoints) {
  ::testing::StrictMock<MockLibraryLoader> loader;
  EXPECT_CALL(loader, Open(_, _)).WillOnce(Return(nullptr));  // no Symbol call allowed
  DfuApi api;
  api.module = &fakeModule;  // left over from an earlier binding
  api.hidDfuGetResult = reinterpret_cast<HidDfuGetResultFn>(&fakeExports[5]);
  EXPECT_EQ(BindDfuLibrary(loader, "./data/libhiddfu.so", api), 0);
  EXPECT_EQ(api.module, nullptr);
  EXPECT_EQ(Resolved(api), (std::array<bool, 6>{}));
}

}  // namespace
}  // namespace vantel3
