#include "fsops/read_back.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/fault_injecting_file_system.h"
#include "platform/platform_test_dir.h"
#include "platform/posix_file_system.h"

namespace vantel3 {
namespace {

namespace stdfs = std::filesystem;

// Hands out each file in parts of a fixed size, different for copies (read from the medium)
// and sources, so that the comparison meets parts that do not line up.
class SmallPartsFileSystem final : public ForwardingFileSystem {
 public:
  SmallPartsFileSystem(FileSystem& target, std::size_t copyPart, std::size_t sourcePart)
      : ForwardingFileSystem(target), copyPart_(copyPart), sourcePart_(sourcePart) {}

  std::error_code OpenForReading(const Path& path, ReadSource source,
                                 std::unique_ptr<FileReader>& reader) override {
    std::unique_ptr<FileReader> inner;
    if (std::error_code ec = target().OpenForReading(path, source, inner)) return ec;
    reader = std::make_unique<Parts>(std::move(inner),
                                     source == ReadSource::kMedium ? copyPart_ : sourcePart_);
    return {};
  }

 private:
  class Parts final : public FileReader {
   public:
    Parts(std::unique_ptr<FileReader> inner, std::size_t size)
        : inner_(std::move(inner)), size_(size) {}
    std::error_code Next(std::string_view& chunk) override {
      if (left_.empty()) {
        if (std::error_code ec = inner_->Next(left_)) return ec;
      }
      chunk = left_.substr(0, size_);
      left_.remove_prefix(chunk.size());
      return {};
    }

   private:
    std::unique_ptr<FileReader> inner_;
    std::size_t size_;
    std::string_view left_;
  };

  std::size_t copyPart_;
  std::size_t sourcePart_;
};

std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
  return bytes;
}

class ReadBackTest : public ::testing::Test {
 protected:
  std::string Path(const char* name) const { return (dir_ / name).string(); }
  std::vector<ReadBackRecord> records_;
  ReadBackObserver Observer() {
    return [this](const ReadBackRecord& record) { records_.push_back(record); };
  }

  PlatformTestDir dir_;
  PosixFileSystem posix_;
};

TEST_F(ReadBackTest, FileIsTheSameOnlyWithEveryByteAndTheLengthEqual) {
  const std::string source = Pattern(3000);
  auto changed = [&](std::size_t at) {
    std::string bytes = source;
    bytes[at] = static_cast<char>(~bytes[at]);
    return bytes;
  };
  struct Case {
    const char* name;
    std::string source;
    std::string copy;
    ReadBackOutcome outcome;
  };
  const Case cases[] = {
      {"equal", source, source, ReadBackOutcome::kSame},
      {"both empty", "", "", ReadBackOutcome::kSame},
      {"first byte", source, changed(0), ReadBackOutcome::kDiffers},
      {"a byte where the parts meet", source, changed(35), ReadBackOutcome::kDiffers},
      {"last byte", source, changed(2999), ReadBackOutcome::kDiffers},
      {"copy cut short", source, source.substr(0, 2999), ReadBackOutcome::kDiffers},
      {"copy longer", source, source + "x", ReadBackOutcome::kDiffers},
      {"copy empty", source, "", ReadBackOutcome::kDiffers},
      {"source empty", "", "x", ReadBackOutcome::kDiffers},
  };
  // Whole files at once, and parts of 7 and 5 bytes that never line up.
  SmallPartsFileSystem parts(posix_, 7, 5);
  for (FileSystem* fs : {static_cast<FileSystem*>(&posix_), static_cast<FileSystem*>(&parts)}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      WriteTestFile(dir_ / "source", c.source);
      WriteTestFile(dir_ / "copy", c.copy);
      records_.clear();
      EXPECT_EQ(ReadBackFile(*fs, Path("source"), Path("copy"), Observer()),
                c.outcome == ReadBackOutcome::kSame ? 1 : 0);
      ASSERT_EQ(records_.size(), 1u);
      EXPECT_EQ(records_[0].outcome, c.outcome);
      EXPECT_EQ(records_[0].copy, Path("copy"));
      if (c.outcome == ReadBackOutcome::kSame) {
        EXPECT_EQ(records_[0].bytes, c.source.size());
      }
    }
  }
}

TEST_F(ReadBackTest, ReadErrorsOnEitherSideAreFailures) {
  WriteTestFile(dir_ / "source", "abc");
  WriteTestFile(dir_ / "copy", "abc");
  FaultInjectingFileSystem faults(posix_);
  faults.AddFault(FsOp::kOpenForReading, "*/copy", std::errc::io_error, 1);
  EXPECT_EQ(ReadBackFile(faults, Path("source"), Path("copy"), Observer()), 0);
  faults.AddFault(FsOp::kOpenForReading, "*/source", std::errc::io_error, 1);
  EXPECT_EQ(ReadBackFile(faults, Path("source"), Path("copy"), Observer()), 0);
  EXPECT_EQ(ReadBackFile(faults, Path("source"), Path("missing"), Observer()), 0);
  EXPECT_EQ(ReadBackFile(faults, Path("missing"), Path("copy"), Observer()), 0);
  ASSERT_EQ(records_.size(), 4u);
  EXPECT_EQ(records_[0].outcome, ReadBackOutcome::kCopyUnreadable);
  EXPECT_EQ(records_[1].outcome, ReadBackOutcome::kSourceUnreadable);
  EXPECT_EQ(records_[2].outcome, ReadBackOutcome::kCopyUnreadable);
  EXPECT_EQ(records_[3].outcome, ReadBackOutcome::kSourceUnreadable);
  // The copy is opened for the medium, the package as it comes.
  EXPECT_EQ(faults.CountCalls(FsOp::kOpenForReading, "*/copy"), 3u);
}

TEST_F(ReadBackTest, TreeIsCheckedFileByFileAsCopyTreeCopiesIt) {
  const stdfs::path source = dir_ / "pkg";
  WriteTestFile(source / "a.txt", "alpha");
  WriteTestFile(source / "sub" / "b.txt", Pattern(5000));
  WriteTestFile(source / "sub" / "deeper" / "c.txt", "");
  stdfs::create_directories(source / "empty");
  stdfs::create_symlink("/etc/hostname", source / "link");  // never copied, never read
  auto copyTree = [&] {
    stdfs::remove_all(dir_ / "copy");
    stdfs::create_directories(dir_ / "copy");
    for (const char* f : {"a.txt", "sub/b.txt", "sub/deeper/c.txt"}) {
      WriteTestFile(dir_ / "copy" / f, ReadTestFile(source / f));
    }
    stdfs::create_directories(dir_ / "copy" / "empty");
  };
  struct Case {
    const char* name;
    std::function<void()> damage;
    int result;
    // The outcome of the last file read: the damaged one ends the check (listing order
    // decides what came before); nullopt: every file read was the same.
    std::optional<ReadBackOutcome> last;
  };
  const Case cases[] = {
      {"intact", [] {}, 1, std::nullopt},
      {"extra file on the drive is not looked at",
       [&] { WriteTestFile(dir_ / "copy" / "extra", "x"); }, 1, std::nullopt},
      {"a byte deep inside",
       [&] {
         std::string bytes = ReadTestFile(dir_ / "copy" / "sub" / "b.txt");
         bytes[4000] ^= 1;
         WriteTestFile(dir_ / "copy" / "sub" / "b.txt", bytes);
       },
       0, ReadBackOutcome::kDiffers},
      {"a file missing", [&] { stdfs::remove(dir_ / "copy" / "a.txt"); }, 0,
       ReadBackOutcome::kCopyUnreadable},
      {"an empty folder missing", [&] { stdfs::remove(dir_ / "copy" / "empty"); }, 0, std::nullopt},
      {"a file where a folder belongs",
       [&] {
         stdfs::remove_all(dir_ / "copy" / "sub");
         WriteTestFile(dir_ / "copy" / "sub", "not a folder");
       },
       0, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    copyTree();
    c.damage();
    records_.clear();
    EXPECT_EQ(ReadBackTree(posix_, source.string(), Path("copy"), Observer()), c.result);
    if (c.result == 1) {
      EXPECT_EQ(records_.size(), 3u);
    }
    for (std::size_t i = 0; i < records_.size(); ++i) {
      EXPECT_EQ(records_[i].source.find("link"), std::string::npos);
      const bool last = i + 1 == records_.size();
      EXPECT_EQ(records_[i].outcome, last && c.last ? *c.last : ReadBackOutcome::kSame);
    }
  }
}

TEST_F(ReadBackTest, MissingSourceFolderNeedsOnlyTheEmptyCopy) {
  stdfs::create_directories(dir_ / "copy");
  EXPECT_EQ(ReadBackTree(posix_, Path("no-such-package-folder"), Path("copy"), Observer()), 1);
  EXPECT_EQ(ReadBackTree(posix_, Path("no-such-package-folder"), Path("nothing"), Observer()), 0);
  EXPECT_TRUE(records_.empty());
}

}  // namespace
}  // namespace vantel3
