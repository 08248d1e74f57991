#include "platform/posix_file_system.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/mman.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/platform_test_dir.h"

namespace vantel3 {
namespace {

namespace fs = std::filesystem;
using ::testing::UnorderedElementsAre;

using NamedType = std::pair<std::string, EntryType>;

std::vector<NamedType> NamedTypes(const std::vector<DirEntry>& entries) {
  std::vector<NamedType> result;
  for (const DirEntry& entry : entries) result.emplace_back(entry.name, entry.type);
  return result;
}

// A small tree in a temp folder:
//   file.txt ("hello"), empty/, full/inner.txt, link-to-dir -> full, dangling -> nowhere
class PosixFileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteTestFile(dir_ / "file.txt", "hello");
    fs::create_directory(dir_ / "empty");
    WriteTestFile(dir_ / "full/inner.txt", "inner");
    fs::create_directory_symlink("full", dir_ / "link-to-dir");
    fs::create_symlink("nowhere", dir_ / "dangling");
  }
  Path P(std::string_view name) const { return dir_ / name; }

  PlatformTestDir dir_;
  PosixFileSystem files_;
};

TEST_F(PosixFileSystemTest, ExistsAndStatusSeeLinksThemselves) {
  EXPECT_TRUE(files_.Exists(P("file.txt")));
  EXPECT_TRUE(files_.Exists(P("dangling")));
  EXPECT_FALSE(files_.Exists(P("missing")));
  struct Case {
    const char* name;
    EntryType type;
  };
  for (const Case& c :
       {Case{"file.txt", EntryType::kFile}, Case{"empty", EntryType::kDirectory},
        Case{"link-to-dir", EntryType::kSymlink}, Case{"dangling", EntryType::kSymlink}}) {
    EntryType type = EntryType::kOther;
    EXPECT_FALSE(files_.Status(P(c.name), type)) << c.name;
    EXPECT_EQ(type, c.type) << c.name;
  }
  EntryType type = EntryType::kOther;
  EXPECT_EQ(files_.Status(P("missing"), type), std::errc::no_such_file_or_directory);
  EntryType device = EntryType::kFile;
  EXPECT_FALSE(files_.Status("/dev/null", device));
  EXPECT_EQ(device, EntryType::kOther);
}

TEST_F(PosixFileSystemTest, ListDirectoryGivesEveryEntryWithItsOwnType) {
  std::vector<DirEntry> entries;
  ASSERT_FALSE(files_.ListDirectory(dir_.path(), entries));
  EXPECT_THAT(NamedTypes(entries),
              UnorderedElementsAre(NamedType{"file.txt", EntryType::kFile},
                                   NamedType{"empty", EntryType::kDirectory},
                                   NamedType{"full", EntryType::kDirectory},
                                   NamedType{"link-to-dir", EntryType::kSymlink},
                                   NamedType{"dangling", EntryType::kSymlink}));
  ASSERT_FALSE(files_.ListDirectory(P("empty"), entries));
  EXPECT_TRUE(entries.empty());
}

TEST_F(PosixFileSystemTest, ListDirectoryFailureLeavesNoEntries) {
  std::vector<DirEntry> entries = {{"stale", EntryType::kFile}};
  EXPECT_EQ(files_.ListDirectory(P("file.txt"), entries), std::errc::not_a_directory);
  EXPECT_TRUE(entries.empty());
  entries = {{"stale", EntryType::kFile}};
  EXPECT_EQ(files_.ListDirectory(P("missing"), entries), std::errc::no_such_file_or_directory);
  EXPECT_TRUE(entries.empty());
}

// Every operation's refusals, each on the same tree; what was there is still there afterwards.
struct ErrorCase {
  const char* name;
  std::function<std::error_code(PosixFileSystem&, const fs::path&)> call;
  std::errc expected;
};
void PrintTo(const ErrorCase& c, std::ostream* os) {
  *os << c.name;
}

const ErrorCase kErrors[] = {
    {"CreateDirectoryOnFolder",
     [](PosixFileSystem& f, const fs::path& d) { return f.CreateDirectory(d / "empty"); },
     std::errc::file_exists},
    {"CreateDirectoryOnFile",
     [](PosixFileSystem& f, const fs::path& d) { return f.CreateDirectory(d / "file.txt"); },
     std::errc::file_exists},
    {"CreateDirectoryOnDanglingLink",
     [](PosixFileSystem& f, const fs::path& d) { return f.CreateDirectory(d / "dangling"); },
     std::errc::file_exists},
    {"CreateDirectoryWithoutParent",
     [](PosixFileSystem& f, const fs::path& d) { return f.CreateDirectory(d / "missing/sub"); },
     std::errc::no_such_file_or_directory},
    {"RemoveDirectoryNotEmpty",
     [](PosixFileSystem& f, const fs::path& d) { return f.RemoveDirectory(d / "full"); },
     std::errc::directory_not_empty},
    {"RemoveDirectoryOnFile",
     [](PosixFileSystem& f, const fs::path& d) { return f.RemoveDirectory(d / "file.txt"); },
     std::errc::not_a_directory},
    {"RemoveFileOnFolder",
     [](PosixFileSystem& f, const fs::path& d) { return f.RemoveFile(d / "empty"); },
     std::errc::is_a_directory},
    {"RemoveFileMissing",
     [](PosixFileSystem& f, const fs::path& d) { return f.RemoveFile(d / "missing"); },
     std::errc::no_such_file_or_directory},
    {"RenameOverNonEmptyFolder",
     [](PosixFileSystem& f, const fs::path& d) { return f.Rename(d / "empty", d / "full"); },
     std::errc::file_exists},
    {"RenameFileOverFolder",
     [](PosixFileSystem& f, const fs::path& d) { return f.Rename(d / "file.txt", d / "empty"); },
     std::errc::is_a_directory},
    {"RenameMissing",
     [](PosixFileSystem& f, const fs::path& d) { return f.Rename(d / "missing", d / "x"); },
     std::errc::no_such_file_or_directory},
    {"CopyFolder",
     [](PosixFileSystem& f, const fs::path& d) { return f.CopyFile(d / "full", d / "copy"); },
     std::errc::invalid_argument},
    {"CopyMissing",
     [](PosixFileSystem& f, const fs::path& d) { return f.CopyFile(d / "missing", d / "copy"); },
     std::errc::no_such_file_or_directory},
    {"CopyOntoFolder",
     [](PosixFileSystem& f, const fs::path& d) { return f.CopyFile(d / "file.txt", d / "empty"); },
     std::errc::is_a_directory},
    // Copying a file onto itself would empty it.
    {"CopyOntoItself",
     [](PosixFileSystem& f, const fs::path& d) {
       return f.CopyFile(d / "file.txt", d / "." / "file.txt");
     },
     std::errc::invalid_argument},
    {"CopyOntoAHardLinkOfItself",
     [](PosixFileSystem& f, const fs::path& d) {
       fs::create_hard_link(d / "file.txt", d / "hard");
       return f.CopyFile(d / "hard", d / "file.txt");
     },
     std::errc::invalid_argument},
    {"ReadFolder",
     [](PosixFileSystem& f, const fs::path& d) {
       std::string out = "stale";
       auto ec = f.ReadFile(d / "full", 100, out);
       return out.empty() ? ec : std::error_code();
     },
     std::errc::is_a_directory},
    {"ReadMissing",
     [](PosixFileSystem& f, const fs::path& d) {
       std::string out = "stale";
       auto ec = f.ReadFile(d / "missing", 100, out);
       return out.empty() ? ec : std::error_code();
     },
     std::errc::no_such_file_or_directory},
    {"WriteIntoMissingFolder",
     [](PosixFileSystem& f, const fs::path& d) { return f.WriteFile(d / "missing/x", "x"); },
     std::errc::no_such_file_or_directory},
    {"WriteOntoFolder",
     [](PosixFileSystem& f, const fs::path& d) { return f.WriteFile(d / "empty", "x"); },
     std::errc::is_a_directory},
    {"FlushMissing",
     [](PosixFileSystem& f, const fs::path& d) { return f.FlushFile(d / "missing"); },
     std::errc::no_such_file_or_directory},
    {"SyncMissing",
     [](PosixFileSystem& f, const fs::path& d) { return f.SyncFileSystem(d / "missing"); },
     std::errc::no_such_file_or_directory},
};

class PosixFileSystemErrorTest : public PosixFileSystemTest,
                                 public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(PosixFileSystemErrorTest, FailsWithTheErrorAndChangesNothing) {
  EXPECT_EQ(GetParam().call(files_, dir_.path()), GetParam().expected);
  EXPECT_EQ(ReadTestFile(P("file.txt")), "hello");
  EXPECT_EQ(ReadTestFile(P("full/inner.txt")), "inner");
  EXPECT_TRUE(fs::is_directory(P("empty")));
  EXPECT_TRUE(fs::is_empty(P("empty")));
  EXPECT_FALSE(fs::exists(P("copy")));
}

INSTANTIATE_TEST_SUITE_P(Operations, PosixFileSystemErrorTest, ::testing::ValuesIn(kErrors),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PosixFileSystemTest, CreateAndRemoveFoldersAndFiles) {
  ASSERT_FALSE(files_.CreateDirectory(P("new")));
  EXPECT_TRUE(fs::is_directory(P("new")));
  EXPECT_FALSE(files_.RemoveDirectory(P("new")));
  EXPECT_FALSE(fs::exists(P("new")));
  EXPECT_FALSE(files_.RemoveFile(P("file.txt")));
  EXPECT_FALSE(fs::exists(P("file.txt")));
  // Removing a link leaves what it points to.
  EXPECT_FALSE(files_.RemoveFile(P("link-to-dir")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(P("link-to-dir"))));
  EXPECT_EQ(ReadTestFile(P("full/inner.txt")), "inner");
  EXPECT_FALSE(files_.RemoveFile(P("dangling")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(P("dangling"))));
}

TEST_F(PosixFileSystemTest, RenameMovesAndReplacesAFile) {
  WriteTestFile(P("old.txt"), "a much longer old content");
  ASSERT_FALSE(files_.Rename(P("file.txt"), P("old.txt")));
  EXPECT_FALSE(fs::exists(P("file.txt")));
  EXPECT_EQ(ReadTestFile(P("old.txt")), "hello");
  ASSERT_FALSE(files_.Rename(P("full"), P("moved")));
  EXPECT_EQ(ReadTestFile(P("moved/inner.txt")), "inner");
}

TEST_F(PosixFileSystemTest, CopyReplacesALongerFileWithExactlyTheSource) {
  WriteTestFile(P("target.txt"), "a much longer old content");
  ASSERT_FALSE(files_.CopyFile(P("file.txt"), P("target.txt")));
  EXPECT_EQ(ReadTestFile(P("target.txt")), "hello");
  EXPECT_EQ(ReadTestFile(P("file.txt")), "hello");
}

TEST_F(PosixFileSystemTest, CopyCopiesALargeFileByteForByte) {
  std::string big(3 * 1024 * 1024 + 17, '\0');
  for (std::size_t i = 0; i < big.size(); ++i)
    big[i] = static_cast<char>((i * 131 + i / 4099) & 0xFF);
  WriteTestFile(P("big.bin"), big);
  ASSERT_FALSE(files_.CopyFile(P("big.bin"), P("big-copy.bin")));
  EXPECT_TRUE(ReadTestFile(P("big-copy.bin")) == big);
}

TEST_F(PosixFileSystemTest, CopyTakesTheContentOfFilesThatReportNoSize) {
  // /proc files say they are empty; their content is only known by reading them.
  ASSERT_FALSE(files_.CopyFile("/proc/version", P("version")));
  std::string version;
  ASSERT_FALSE(files_.ReadFile("/proc/version", 1 << 20, version));
  EXPECT_FALSE(version.empty());
  EXPECT_EQ(ReadTestFile(P("version")), version);
}

TEST_F(PosixFileSystemTest, ReadFileStopsAtMaxBytes) {
  std::string big(100000, 'x');
  big[49999] = 'y';
  WriteTestFile(P("big.txt"), big);
  struct Case {
    std::string path;
    std::size_t maxBytes;
    std::size_t expectedSize;
  };
  for (const Case& c : {Case{P("big.txt"), 50000, 50000}, Case{P("big.txt"), 0, 0},
                        Case{P("big.txt"), 200000, 100000}, Case{P("file.txt"), 5, 5},
                        Case{"/proc/self/mountinfo", 10, 10}}) {
    std::string out = "stale";
    ASSERT_FALSE(files_.ReadFile(c.path, c.maxBytes, out)) << c.path << " " << c.maxBytes;
    EXPECT_EQ(out.size(), c.expectedSize) << c.path << " " << c.maxBytes;
  }
  std::string out;
  ASSERT_FALSE(files_.ReadFile(P("big.txt"), 50000, out));
  EXPECT_EQ(out.back(), 'y');
  // A /proc file larger than one read comes in whole.
  ASSERT_FALSE(files_.ReadFile("/proc/self/maps", 1 << 24, out));
  EXPECT_GT(out.size(), 4096u);
  EXPECT_EQ(out.back(), '\n');
}

TEST_F(PosixFileSystemTest, WriteFileCreatesOrTruncates) {
  ASSERT_FALSE(files_.WriteFile(P("new.bin"), std::string_view("\x07", 1)));
  EXPECT_EQ(ReadTestFile(P("new.bin")), "\x07");
  ASSERT_FALSE(files_.WriteFile(P("new.bin"), std::string_view("\x07", 1)));
  EXPECT_EQ(ReadTestFile(P("new.bin")), "\x07");
  ASSERT_FALSE(files_.WriteFile(P("file.txt"), ""));
  EXPECT_EQ(fs::file_size(P("file.txt")), 0u);
}

TEST_F(PosixFileSystemTest, FlushAndSyncSucceedOnFilesAndFolders) {
  EXPECT_FALSE(files_.FlushFile(P("file.txt")));
  EXPECT_FALSE(files_.FlushFile(P("full")));
  EXPECT_FALSE(files_.FlushFile(dir_.path()));
  EXPECT_FALSE(files_.SyncFileSystem(P("file.txt")));
  EXPECT_FALSE(files_.SyncFileSystem(dir_.path()));
}

// Pages of `path` held in the page cache (mincore on a mapping of the file).
std::size_t ResidentPages(const Path& path, std::size_t size) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return static_cast<std::size_t>(-1);
  void* map = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
  ::close(fd);
  if (map == MAP_FAILED) return static_cast<std::size_t>(-1);
  const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  std::vector<unsigned char> resident((size + page - 1) / page);
  std::size_t count = 0;
  if (::mincore(map, size, resident.data()) == 0) {
    for (unsigned char r : resident) count += r & 1;
  }
  ::munmap(map, size);
  return count;
}

std::string ReadAll(FileReader& reader) {
  std::string all;
  std::string_view chunk;
  while (!reader.Next(chunk) && !chunk.empty()) all.append(chunk);
  return all;
}

TEST_F(PosixFileSystemTest, ReadFromTheMediumDropsTheCachedCopyFirst) {
  // On tmpfs the cache is the medium itself: nothing can be dropped there.
  struct statfs st;
  if (::statfs(dir_.path().c_str(), &st) == 0 && st.f_type == TMPFS_MAGIC) {
    GTEST_SKIP() << "the temp folder is on tmpfs";
  }
  std::string bytes(3 << 20, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 4096);
  WriteTestFile(dir_ / "image.bin", bytes);
  ASSERT_FALSE(files_.FlushFile(P("image.bin")));
  std::string cached;
  ASSERT_FALSE(files_.ReadFile(P("image.bin"), bytes.size(), cached));
  ASSERT_GT(ResidentPages(P("image.bin"), bytes.size()), 0u);

  std::unique_ptr<FileReader> reader;
  ASSERT_FALSE(files_.OpenForReading(P("image.bin"), ReadSource::kMedium, reader));
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(ResidentPages(P("image.bin"), bytes.size()), 0u) << "the read would hit the cache";
  EXPECT_EQ(ReadAll(*reader), bytes);
  reader.reset();
  EXPECT_EQ(ResidentPages(P("image.bin"), bytes.size()), 0u) << "the check left its read cached";

  ASSERT_FALSE(files_.OpenForReading(P("image.bin"), ReadSource::kAnywhere, reader));
  EXPECT_EQ(ReadAll(*reader), bytes);
}

TEST_F(PosixFileSystemTest, OpenForReadingTakesOnlyRegularFiles) {
  std::unique_ptr<FileReader> reader;
  EXPECT_EQ(files_.OpenForReading(P("missing"), ReadSource::kMedium, reader),
            std::errc::no_such_file_or_directory);
  EXPECT_EQ(files_.OpenForReading(P("empty"), ReadSource::kMedium, reader),
            std::errc::is_a_directory);
  EXPECT_EQ(reader, nullptr);
  ASSERT_FALSE(files_.OpenForReading(P("full/inner.txt"), ReadSource::kMedium, reader));
  EXPECT_EQ(ReadAll(*reader), "inner");
  std::string_view chunk = "x";
  EXPECT_FALSE(reader->Next(chunk));  // after the end: empty, no error
  EXPECT_TRUE(chunk.empty());
}

}  // namespace
}  // namespace vantel3
