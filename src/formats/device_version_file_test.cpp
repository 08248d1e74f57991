#include "formats/device_version_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "formats/formats_test_support.h"
#include "platform/native_file_system.h"

namespace vantel3 {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

constexpr const char* kBt = "030108-002-251124-114355";

class DeviceRootTest : public ::testing::Test {
 protected:
  void Put(const std::string& name, const std::string& content) {
    WriteBytes(dir_.Path(name), content);
  }
  std::string Get(const std::string& name) { return ReadBytes(dir_.Path(name)); }
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.Path(""))) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  TempDir dir_;
  NativeFileSystem fs_;
  const std::string root_ = dir_.Root();
};

// --- DetectGeneration -------------------------------------------------------------------

struct GenerationCase {
  std::vector<std::string> files;
  int result;
  int model;
  int generation;
};

void PrintTo(const GenerationCase& c, std::ostream* os) {
  for (const std::string& name : c.files) *os << name << " ";
}

class DetectGenerationTest : public DeviceRootTest,
                             public ::testing::WithParamInterface<GenerationCase> {};

TEST_P(DetectGenerationTest, TakesTheFirstNameThatExists) {
  for (const std::string& name : GetParam().files) Put(name, "{}");
  uint8_t model = 9;
  uint8_t generation = 9;
  EXPECT_EQ(DetectGeneration(fs_, root_, model, generation), GetParam().result);
  EXPECT_EQ(model, GetParam().model);
  EXPECT_EQ(generation, GetParam().generation);
}

INSTANTIATE_TEST_SUITE_P(Cases, DetectGenerationTest,
                         ::testing::Values(GenerationCase{{}, 0, 0, 0},
                                           GenerationCase{{"vo3_ver2", "ru3r_ver2"}, 1, 1, 2},
                                           GenerationCase{{"ru3r_ver2", "vo3_ver"}, 1, 2, 2},
                                           GenerationCase{
                                               {"vo3_ver", "ru3r_ver", "vt_ver"}, 1, 1, 1},
                                           GenerationCase{{"ru3r_ver", "vt_ver"}, 1, 2, 1},
                                           GenerationCase{{"vt_ver"}, 1, 2, 1},
#ifdef _WIN32
                                           // Windows file names ignore case.
                                           GenerationCase{{"VO3_VER2", "vt_ver.txt"}, 1, 1, 2}
#else
                                           GenerationCase{{"VO3_VER2", "vt_ver.txt"}, 0, 0, 0}
#endif
                                           ));

TEST_F(DeviceRootTest, AFolderOfAVersionFileNameCountsForDetection) {
  std::filesystem::create_directory(dir_.Path("vo3_ver"));
  uint8_t model = 0;
  uint8_t generation = 0;
  EXPECT_EQ(DetectGeneration(fs_, root_, model, generation), 1);
  EXPECT_EQ(model, 1);
  EXPECT_EQ(generation, 1);
}

// --- Joining lines and extracting values ------------------------------------------------

TEST(JoinTextLinesTest, DropsLineEndsAsTextModeReadingDoes) {
  const struct {
    std::string bytes;
    std::string suffix;
    std::string joined;
  } cases[] = {
      {"", "", ""},
      {"", "\n", ""},
      {"\n", "\n", "\n"},
      {"a\r\nb\n", "", "ab"},
      {"a\nb", "\n", "a\nb\n"},
      {"a\r\nb\r\n", "\n", "a\nb\n"},
      {"a\r", "", "a"},        // a CR that ends the file is a line end
      {"a\rb\n", "", "a\rb"},  // a CR inside a line is text
      {"a\r\r\nb", "\n", "a\nb\n"},
      {"\n\n", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JoinTextLines(c.bytes, c.suffix), c.joined) << "bytes: " << c.bytes;
  }
}

TEST(ExtractVersionValueTest, FollowsKeyColonQuoteQuote) {
  const struct {
    std::string text;
    int result;
    std::string value;
  } cases[] = {
      {R"({"bt":"vt-bt-0301"})", 1, "vt-bt-0301"},
      {R"({"bt" :  "  0301 " })", 1, "0301"},
      {R"({"bt":""})", 1, ""},
      {R"({"xbt":"no","bt":"yes"})", 1, "yes"},  // only the key with both its quotes counts
      {R"({"bt":"a","bt":"b"})", 1, "a"},        // the first occurrence
      {R"({"bt"="0301"})", 0, "kept"},           // no colon after the key
      {R"({"bt":0301})", 0, "kept"},             // no opening quote
      {R"({"bt":"0301})", 0, "kept"},            // no closing quote
      {R"({"BT":"0301"})", 0, "kept"},           // the key is case-sensitive
      {R"({bt:"0301"})", 0, "kept"},
      {R"({"bt", "df":"usb"})", 1, "usb"},  // the first colon after the key, wherever it is
  };
  for (const auto& c : cases) {
    std::string value = "kept";
    EXPECT_EQ(ExtractVersionValue(c.text, "\"bt\"", value), c.result) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
}

// --- The Bluetooth decision -------------------------------------------------------------

struct EvaluateCase {
  const char* name;
  std::string fileText;
  int32_t needed;
  int32_t overUsb;
};

void PrintTo(const EvaluateCase& c, std::ostream* os) {
  *os << c.name;
}

class ReadDeviceVersionFileTest : public DeviceRootTest,
                                  public ::testing::WithParamInterface<EvaluateCase> {};

TEST_P(ReadDeviceVersionFileTest, DecidesFromBtAndDf) {
  Put("vo3_ver2", GetParam().fileText);
  int32_t needed = 7;
  int32_t overUsb = 7;
  int32_t found = 7;
  ReadDeviceVersionFile(fs_, root_, kBt, needed, overUsb, found);
  EXPECT_EQ(found, 1);
  EXPECT_EQ(needed, GetParam().needed);
  EXPECT_EQ(overUsb, GetParam().overUsb);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadDeviceVersionFileTest,
    ::testing::Values(
        EvaluateCase{"TaggedEqualDfUsb",
                     "{\r\n\"bt\":\"vt-bt-030108-002-251124-114355\",\r\n\"df\":\"usb\"\r\n}\r\n",
                     0, 0},
        EvaluateCase{"TaggedEqualDfUart", R"({"bt":"vt-bt-030108-002-251124-114355","df":"uart"})",
                     0, 0},
        EvaluateCase{"EqualWithoutTag", R"({"bt":"030108-002-251124-114355"})", 0, 0},
        EvaluateCase{"TagInsideAndBlanksAroundValue",
                     R"({"bt":" x vt-bt- 030108-002-251124-114355 "})", 0, 0},
        EvaluateCase{"DiffersInCaseOnly", R"({"bt":"VT-BT-030108-002-251124-114355"})", 1, 1},
        EvaluateCase{"DiffersDfUartInCapitals", R"({"bt":"vt-bt-030000","df":" UART "})", 1, 0},
        EvaluateCase{"DiffersDfUsb", R"({"bt":"vt-bt-030000","df":"usb"})", 1, 1},
        EvaluateCase{"DiffersDfOther", R"({"bt":"vt-bt-030000","df":"uart2"})", 1, 1},
        EvaluateCase{"DiffersNoDf", R"({"bt":"vt-bt-030000"})", 1, 1},
        EvaluateCase{"EmptyBtDoesNotReadDf", R"({"bt":"","df":"uart"})", 1, 1},
        EvaluateCase{"BlankBtDoesNotReadDf", R"({"bt":"  ","df":"uart"})", 1, 1},
        EvaluateCase{"NoBt", R"({"df":"uart"})", 1, 1}, EvaluateCase{"EmptyFile", "", 1, 1},
        EvaluateCase{"OnlyLineEnds", "\r\n\r\n", 1, 1},
        EvaluateCase{"KeyAndValueOnDifferentLines",
                     "{\n\"bt\"\r\n:\n\"vt-bt-030108-002-251124-114355\"\n}\n", 0, 0},
        EvaluateCase{"ValueSplitAcrossLines", "{\"bt\":\"vt-bt-030108-002-\r\n251124-114355\"}", 0,
                     0},
        EvaluateCase{"TagOnlyComparesEmpty", R"({"bt":"vt-bt-","df":"uart"})", 1, 0}),
    [](const ::testing::TestParamInfo<EvaluateCase>& info) { return info.param.name; });

TEST_F(DeviceRootTest, ReadsRu3rVer2FirstWhenBothExist) {
  Put("ru3r_ver2", R"({"bt":"vt-bt-030108-002-251124-114355"})");
  Put("vo3_ver2", R"({"bt":"vt-bt-000000","df":"uart"})");
  int32_t needed = 7;
  int32_t overUsb = 7;
  int32_t found = 7;
  ReadDeviceVersionFile(fs_, root_, kBt, needed, overUsb, found);
  EXPECT_EQ(found, 1);
  EXPECT_EQ(needed, 0);
  EXPECT_EQ(overUsb, 0);

  std::string path;
  ASSERT_EQ(ChooseDeviceVersionFile(fs_, root_, path), 1);
  EXPECT_EQ(path, root_ + "ru3r_ver2");
}

TEST_F(DeviceRootTest, WithoutASecondGenerationFileNothingIsRead) {
  Put("vt_ver", R"({"bt":"vt-bt-030108-002-251124-114355"})");
  int32_t needed = 0;
  int32_t overUsb = 0;
  int32_t found = 7;
  ReadDeviceVersionFile(fs_, root_, kBt, needed, overUsb, found);
  EXPECT_EQ(found, 0);
  EXPECT_EQ(needed, 1);
  EXPECT_EQ(overUsb, 1);
  std::string path = "kept";
  EXPECT_EQ(ChooseDeviceVersionFile(fs_, root_, path), 0);
  EXPECT_EQ(path, "kept");
}

TEST_F(DeviceRootTest, UnreadableOrOversizedFileStopsWithFileFound) {
  // A folder in place of the file cannot be read.
  std::filesystem::create_directory(dir_.Path("ru3r_ver2"));
  int32_t needed = 0;
  int32_t overUsb = 0;
  int32_t found = 0;
  ReadDeviceVersionFile(fs_, root_, kBt, needed, overUsb, found);
  EXPECT_EQ(found, 1);
  EXPECT_EQ(needed, 1);
  EXPECT_EQ(overUsb, 1);

  // A matching version at the start of a file larger than the limit is not believed.
  std::filesystem::remove(dir_.Path("ru3r_ver2"));
  std::string big = R"({"bt":"vt-bt-030108-002-251124-114355"})";
  big.resize(kMaxDeviceVersionFileBytes + 1, ' ');
  Put("ru3r_ver2", big);
  ReadDeviceVersionFile(fs_, root_, kBt, needed, overUsb, found);
  EXPECT_EQ(found, 1);
  EXPECT_EQ(needed, 1);
  EXPECT_EQ(overUsb, 1);

  big.resize(kMaxDeviceVersionFileBytes);  // at the limit it is read
  Put("ru3r_ver2", big);
  ReadDeviceVersionFile(fs_, root_, kBt, needed, overUsb, found);
  EXPECT_EQ(needed, 0);
}

// --- Rewriting "df" ---------------------------------------------------------------------

TEST(RewriteDfTextTest, ReplacesBetweenTheQuotesAndWritesCrLf) {
  const struct {
    std::string text;
    int result;
    std::string out;
  } cases[] = {
      {"{\n\"bt\":\"x\",\n\"df\":\"usb\"\n}\n", 1,
       "{\r\n\"bt\":\"x\",\r\n\"df\":\"uart\"\r\n}\r\n"},
      {"{\"df\" : \" USB \"}\n", 1, "{\"df\" : \"uart\"}\r\n"},
      {"{\"df\":\"\"}\n", 1, "{\"df\":\"uart\"}\r\n"},
      {"{\"df\":\"uart\"}\n", 1, "{\"df\":\"uart\"}\r\n"},
      {"{\"df\":\"u\nsb\"}\n", 1, "{\"df\":\"uart\"}\r\n"},  // value across a line end
      {"{\"bt\":\"x\"}\n", 0, "kept"},
      {"{\"df\":usb}\n", 0, "kept"},
      {"", 0, "kept"},
  };
  for (const auto& c : cases) {
    std::string out = "kept";
    EXPECT_EQ(RewriteDfText(c.text, out), c.result) << c.text;
    EXPECT_EQ(out, c.out) << c.text;
  }
}

TEST_F(DeviceRootTest, RewriteReplacesTheFileWithCrLfLinesAndAFinalLineEnd) {
  Put("vo3_ver2", "{\n\"bt\":\"vt-bt-1\",\n\"df\":\"usb\"\n}");
  EXPECT_EQ(RewriteDeviceVersionDf(fs_, root_), 1);
  EXPECT_EQ(Get("vo3_ver2"), "{\r\n\"bt\":\"vt-bt-1\",\r\n\"df\":\"uart\"\r\n}\r\n");
  EXPECT_EQ(Names(), std::vector<std::string>{"vo3_ver2"});  // no temporary file left

  // Already "uart" with CR LF: rewritten to the same bytes.
  const std::string before = Get("vo3_ver2");
  EXPECT_EQ(RewriteDeviceVersionDf(fs_, root_), 1);
  EXPECT_EQ(Get("vo3_ver2"), before);
}

TEST_F(DeviceRootTest, RewriteTouchesOnlyRu3rVer2WhenBothExist) {
  Put("ru3r_ver2", "{\"df\":\"usb\"}\n");
  Put("vo3_ver2", "{\"df\":\"usb\"}\n");
  EXPECT_EQ(RewriteDeviceVersionDf(fs_, root_), 1);
  EXPECT_EQ(Get("ru3r_ver2"), "{\"df\":\"uart\"}\r\n");
  EXPECT_EQ(Get("vo3_ver2"), "{\"df\":\"usb\"}\n");
}

TEST_F(DeviceRootTest, RewriteWithoutDfOrFileWritesNothing) {
  EXPECT_EQ(RewriteDeviceVersionDf(fs_, root_), 0);  // no version file at all
  Put("vo3_ver2", "{\"bt\":\"vt-bt-1\"}\n");
  EXPECT_EQ(RewriteDeviceVersionDf(fs_, root_), 0);
  EXPECT_EQ(Get("vo3_ver2"), "{\"bt\":\"vt-bt-1\"}\n");
  EXPECT_EQ(Names(), std::vector<std::string>{"vo3_ver2"});
}

TEST_F(DeviceRootTest, FailedWriteFlushOrRenameKeepsTheOriginalAndRemovesTheTemporary) {
  const std::string original = "{\n\"df\":\"usb\"\n}\n";
  for (const std::string failing : {"WriteFile", "FlushFile", "Rename"}) {
    Put("ru3r_ver2", original);
    testing::ScriptedFileSystem fs(fs_, [&](const std::string& op, const std::string& path) {
      return op == failing && path == root_ + "ru3r_ver2.tmp";
    });
    EXPECT_EQ(RewriteDeviceVersionDf(fs, root_), 0) << failing;
    EXPECT_EQ(Get("ru3r_ver2"), original) << failing;
    EXPECT_EQ(Names(), std::vector<std::string>{"ru3r_ver2"}) << failing;
  }
}

TEST_F(DeviceRootTest, RewriteFlushesTheNewFileBeforeTheRenameAndTheRootAfter) {
  Put("ru3r_ver2", "{\"df\":\"usb\"}");
  testing::ScriptedFileSystem fs(fs_);
  EXPECT_EQ(RewriteDeviceVersionDf(fs, root_), 1);
  const std::string temp = root_ + "ru3r_ver2.tmp";
  EXPECT_EQ(fs.log, (std::vector<std::string>{"ReadFile " + root_ + "ru3r_ver2",
                                              "WriteFile " + temp, "FlushFile " + temp,
                                              "Rename " + temp, "FlushFile " + root_}));
}

}  // namespace
}  // namespace vantel3
