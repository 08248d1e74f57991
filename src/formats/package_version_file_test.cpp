#include "formats/package_version_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "formats/formats_test_support.h"
#include "platform/native_file_system.h"

namespace vantel3 {
namespace {

using testing::TempDir;

std::string Scramble(std::string_view plain) {
  std::string out;
  for (char c : plain)
    out.push_back(static_cast<char>(static_cast<uint8_t>(c) ^ kPackageVersionMask));
  return out;
}

// A file with the given plain payload; the length field, magic and format can be forced.
std::string MakeFile(std::string_view payload, int64_t lengthField = -1,
                     std::string_view magic = "VTL", char format = 1) {
  const auto length =
      static_cast<uint32_t>(lengthField < 0 ? static_cast<int64_t>(payload.size()) : lengthField);
  std::string file(magic);
  file.push_back(format);
  for (int i = 0; i < 4; ++i) file.push_back(static_cast<char>((length >> (8 * i)) & 0xFF));
  return file + Scramble(payload);
}

std::string PaddedPayload(std::string_view text, std::size_t size) {
  std::string payload(text);
  payload.resize(size, ' ');
  return payload;
}

struct ParseCase {
  const char* name;
  std::string file;
  std::string target;
  std::string bt;
  int decoded;
};

constexpr int kUsable = kPackageVersionFileUsable;
constexpr int kBoth = kPackageVersionFileUsable | kPackageVersionHasTarget | kPackageVersionHasBt;
constexpr int kTargetOnly = kPackageVersionFileUsable | kPackageVersionHasTarget;
constexpr int kBtOnly = kPackageVersionFileUsable | kPackageVersionHasBt;
const std::string kDefTarget = kDefaultTargetVersion;
const std::string kDefBt = kDefaultBtVersion;

void PrintTo(const ParseCase& c, std::ostream* os) {
  *os << c.name;
}

class ParsePackageVersionFileTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParsePackageVersionFileTest, GivesTheFileValuesOrTheDefaults) {
  const ParseCase& c = GetParam();
  std::string target = "stale";
  std::string bt = "stale";
  ParsePackageVersionFile(c.file, target, bt);
  EXPECT_EQ(target, c.target);
  EXPECT_EQ(bt, c.bt);

  target = bt = "stale";
  EXPECT_EQ(DecodePackageVersionFile(c.file, target, bt), c.decoded);
  EXPECT_EQ(target, c.target);
  EXPECT_EQ(bt, c.bt);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParsePackageVersionFileTest,
    ::testing::Values(
        ParseCase{"BothLines", MakeFile("TARGET_VERSION:3.6.0\nBT_VERSION:040000-001\n"), "3.6.0",
                  "040000-001", kBoth},
        ParseCase{"EmptyInput", "", kDefTarget, kDefBt, 0},
        ParseCase{"ShortHeader", MakeFile("").substr(0, 7), kDefTarget, kDefBt, 0},
        ParseCase{"WrongMagic", MakeFile("TARGET_VERSION:3.6.0\n", -1, "VTM"), kDefTarget, kDefBt,
                  0},
        ParseCase{"LowerCaseMagic", MakeFile("TARGET_VERSION:3.6.0\n", -1, "vtl"), kDefTarget,
                  kDefBt, 0},
        ParseCase{"FormatTwo", MakeFile("TARGET_VERSION:3.6.0\n", -1, "VTL", 2), kDefTarget, kDefBt,
                  0},
        ParseCase{"LengthZero", MakeFile("", 0), kDefTarget, kDefBt, 0},
        ParseCase{"Length1025EvenWithPayloadPresent",
                  MakeFile(PaddedPayload("TARGET_VERSION:3.6.0\n", 1025)), kDefTarget, kDefBt, 0},
        ParseCase{"LengthFieldAllOnes", MakeFile("TARGET_VERSION:3.6.0\n", 0xFFFFFFFF), kDefTarget,
                  kDefBt, 0},
        ParseCase{"Length1024ExactlyPresent",
                  MakeFile(PaddedPayload("TARGET_VERSION:3.6.0\n", 1024)), "3.6.0", kDefBt,
                  kTargetOnly},
        ParseCase{"PayloadShorterThanLength", MakeFile("TARGET_VERSION:3.6.0\n", 40), kDefTarget,
                  kDefBt, 0},
        ParseCase{"TrailingBytesIgnored",
                  MakeFile("TARGET_VERSION:3.6.0\n") + std::string(20, '\x5A'), "3.6.0", kDefBt,
                  kTargetOnly},
        ParseCase{"KeyCaseAndBlanksAroundColon", MakeFile("target_version : 3.6.0\n"), "3.6.0",
                  kDefBt, kTargetOnly},
        ParseCase{"EmptyValueSetsEmpty", MakeFile("BT_VERSION:"), kDefTarget, "", kBtOnly},
        ParseCase{"LastOccurrenceWins", MakeFile("TARGET_VERSION:3.6.0\nTARGET_VERSION:3.7.1\n"),
                  "3.7.1", kDefBt, kTargetOnly},
        ParseCase{"CrLfAndNoFinalLineEnd", MakeFile("TARGET_VERSION:3.6.0\r\nBT_VERSION:b1"),
                  "3.6.0", "b1", kBoth},
        ParseCase{"CrInsideAValueIsDropped", MakeFile("TARGET_VERSION:3.\r6.0\n"), "3.6.0", kDefBt,
                  kTargetOnly},
        ParseCase{"ZeroByteEndsText",
                  MakeFile(std::string("TARGET_VERSION:3.6.0\n\0BT_VERSION:b1\n", 35)), "3.6.0",
                  kDefBt, kTargetOnly},
        ParseCase{"ZeroByteFirstLeavesNothing",
                  MakeFile(std::string("\0TARGET_VERSION:3.6.0\n", 22)), kDefTarget, kDefBt,
                  kUsable},
        ParseCase{"OtherKeysAndLinesWithoutColonIgnored",
                  MakeFile("VERSION:9.9.9\nno colon here\n\n   \nBT_VERSION:b1\n"), kDefTarget,
                  "b1", kBtOnly},
        ParseCase{"ValueKeepsItsColons", MakeFile("BT_VERSION: a:b:c \n"), kDefTarget, "a:b:c",
                  kBtOnly},
        ParseCase{"AllTrimmedWhiteSpace", MakeFile("\t\v\fTARGET_VERSION\t:\f3.6.0\v \n"), "3.6.0",
                  kDefBt, kTargetOnly},
        ParseCase{"InvalidUtf8BytesKept", MakeFile("TARGET_VERSION:\xff\xfe\x80\n"), "\xff\xfe\x80",
                  kDefBt, kTargetOnly},
        ParseCase{"KeyWithNonAsciiIsNotFolded", MakeFile("TARGET_VERSİON:3.6.0\n"), kDefTarget,
                  kDefBt, kUsable}),
    [](const ::testing::TestParamInfo<ParseCase>& info) { return info.param.name; });

TEST(ReadPackageVersionFileTest, MissingFileOrFolderGivesDefaults) {
  TempDir dir;
  NativeFileSystem fs;
  std::string target = "stale";
  std::string bt = "stale";
  ReadPackageVersionFile(fs, dir.Path(kPackageVersionFileName), target, bt);
  EXPECT_EQ(target, kDefaultTargetVersion);
  EXPECT_EQ(bt, kDefaultBtVersion);

  ReadPackageVersionFile(fs, dir.Path(""), target, bt);  // a folder, not a file
  EXPECT_EQ(target, kDefaultTargetVersion);
  EXPECT_EQ(bt, kDefaultBtVersion);
}

TEST(ReadPackageVersionFileTest, ReadsOnlyHeaderAndLargestPayloadOfALargeFile) {
  TempDir dir;
  NativeFileSystem posix;
  testing::ScriptedFileSystem fs(posix);
  testing::WriteBytes(dir.Path(kPackageVersionFileName),
                      MakeFile(PaddedPayload("BT_VERSION:b9\nTARGET_VERSION:4.0.0\n", 1024)) +
                          std::string(100000, 'x'));
  std::string target;
  std::string bt;
  ReadPackageVersionFile(fs, dir.Path(kPackageVersionFileName), target, bt);
  EXPECT_EQ(target, "4.0.0");
  EXPECT_EQ(bt, "b9");
  EXPECT_EQ(fs.lastReadMaxBytes, kPackageVersionHeaderSize + kMaxPackageVersionPayload);
}

TEST(EncodePackageVersionFileTest, WritesHeaderAndScrambledPayloadThatReadsBack) {
  std::string bytes;
  ASSERT_EQ(EncodePackageVersionFile("3.6.0", "030108-002", bytes), 1);
  const std::string payload = "TARGET_VERSION:3.6.0\nBT_VERSION:030108-002\n";
  EXPECT_EQ(bytes, MakeFile(payload));
  EXPECT_EQ(bytes.substr(0, 8), std::string("VTL\x01\x2b\x00\x00\x00", 8));

  std::string target;
  std::string bt;
  EXPECT_EQ(DecodePackageVersionFile(bytes, target, bt), kBoth);
  EXPECT_EQ(target, "3.6.0");
  EXPECT_EQ(bt, "030108-002");

  ASSERT_EQ(EncodePackageVersionFile("", "", bytes), 1);  // empty values survive too
  EXPECT_EQ(DecodePackageVersionFile(bytes, target, bt), kBoth);
  EXPECT_EQ(target, "");
  EXPECT_EQ(bt, "");
}

TEST(EncodePackageVersionFileTest, RefusesValuesThatWouldNotReadBackAndLeavesOutUnchanged) {
  // "TARGET_VERSION:" + "\n" + "BT_VERSION:" + "\n" is 28 bytes of the 1024.
  const std::string longest(1024 - 28, 'v');
  std::string out;
  EXPECT_EQ(EncodePackageVersionFile(longest, "", out), 1);
  EXPECT_EQ(out.size(), 8u + 1024u);

  const struct {
    std::string target;
    std::string bt;
  } refused[] = {
      {longest + "v", ""}, {"3.6\n0", "b"},  {"3.6.0", "b\r"}, {std::string("3.6\0", 4), "b"},
      {" 3.6.0", "b"},     {"3.6.0", "b\t"},
  };
  for (const auto& r : refused) {
    out = "unchanged";
    EXPECT_EQ(EncodePackageVersionFile(r.target, r.bt, out), 0) << r.target << "|" << r.bt;
    EXPECT_EQ(out, "unchanged");
  }
}

}  // namespace
}  // namespace vantel3
