// The tree operations on hostile packages and failing drives: link loops, links to outside the
// package, pipes, names a FAT drive cannot hold, trees deeper than any path may be, a drive
// that turns read-only or vanishes at any point of a copy. Every case ends with a clear result,
// the package (the copy's source) exactly as it was, and nothing outside the package touched.
#include <gtest/gtest.h>

#include "../../tests/support/test_files.h"
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <system_error>

#include "fsops/tree_ops.h"
#include "platform/fault_injecting_file_system.h"
#include "platform/path_limit.h"
#include "platform/posix_file_system.h"

namespace vantel3 {
namespace {

namespace stdfs = std::filesystem;

// A drive formatted with FAT: it refuses names holding < > : " \ | ? * or a control
// character, or ending in a dot or a blank, as the vfat driver does (EINVAL).
class FatNamesFileSystem final : public ForwardingFileSystem {
 public:
  using ForwardingFileSystem::ForwardingFileSystem;
  std::error_code CreateDirectory(const Path& path) override {
    return FatName(path) ? target().CreateDirectory(path) : Refused();
  }
  std::error_code CopyFile(const Path& from, const Path& to) override {
    return FatName(to) ? target().CopyFile(from, to) : Refused();
  }

 private:
  static std::error_code Refused() { return std::make_error_code(std::errc::invalid_argument); }
  static bool FatName(const Path& path) {
    const std::string name = path.filename().string();
    if (name.empty() || name.back() == '.' || name.back() == ' ') return false;
    for (unsigned char c : name) {
      if (c < 0x20 ||
          std::string_view("<>:\"\\|?*").find(static_cast<char>(c)) != std::string_view::npos) {
        return false;
      }
    }
    return true;
  }
};

class BadTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (stdfs::temp_directory_path() / "vt3-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    stdfs::create_directories(At("drive"));
  }
  void TearDown() override {
    std::error_code ignored;
    stdfs::remove_all(root_, ignored);
  }

  std::string At(const std::string& relative) const { return root_ + "/" + relative; }
  void MakeFile(const std::string& relative, const std::string& content = "content") {
    stdfs::create_directories(stdfs::path(At(relative)).parent_path());
    std::ofstream(At(relative), std::ios::binary) << content;
  }
  // A small package: a few folders and files.
  void MakePackage() {
    MakeFile("pkg/a.txt", "a");
    MakeFile("pkg/sub/b.txt", "b");
    MakeFile("pkg/sub/deeper/c.txt", "c");
    MakeFile("pkg/z.txt", "z");
  }

  // Every entry below `relative`, links not followed: "/" folders, "-> target" links,
  // "=content" files, "special" the rest.
  std::map<std::string, std::string> Tree(const std::string& relative) const {
    return testing::SnapshotTree(At(relative));
  }

  // Calls that change something, with a path (or a copy's destination) under `pattern`.
  std::size_t ChangesUnder(const std::string& pattern) {
    std::size_t count = 0;
    for (const FsCall& call : fs_.Calls()) {
      const bool changes = call.op == FsOp::kCreateDirectory || call.op == FsOp::kRemoveDirectory ||
                           call.op == FsOp::kRemoveFile || call.op == FsOp::kRename ||
                           call.op == FsOp::kWriteFile;
      if ((changes && GlobMatch(pattern, call.path.string())) ||
          ((call.op == FsOp::kCopyFile || call.op == FsOp::kRename) &&
           GlobMatch(pattern, call.to.string()))) {
        ++count;
      }
    }
    return count;
  }

  std::string root_;
  PosixFileSystem posix_;
  FaultInjectingFileSystem fs_{posix_};
  VirtualClock clock_;
};

// Links that loop, links that leave the package, and pipes in one package: the copy ends, holds
// only the package's own files and folders, and the outside folder is never read into the drive nor
// changed; deleting the copied package's original (with its links) removes the links, never what
// they point to.
TEST_F(BadTreeTest, HostilePackageCopiesOnlyItsOwnFilesAndDeletingItLeavesTheOutsideAlone) {
  MakePackage();
  MakeFile("outside/secret.txt", "secret");
  stdfs::create_directory_symlink(At("pkg"), At("pkg/sub/loop_to_top"));
  stdfs::create_directory_symlink("..", At("pkg/sub/deeper/loop_up"));
  stdfs::create_directory_symlink(At("outside"), At("pkg/outside_dir"));
  stdfs::create_symlink(At("outside/secret.txt"), At("pkg/secret_link.txt"));
  stdfs::create_symlink("nowhere", At("pkg/dangling"));
  ASSERT_EQ(::mkfifo(At("pkg/pipe").c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo(At("pkg/sub/pipe2").c_str(), 0600), 0);
  const auto package = Tree("pkg");
  const auto outside = Tree("outside");

  EXPECT_EQ(CopyTree(fs_, clock_, At("pkg"), At("drive/pkg")), 1);
  EXPECT_EQ(Tree("drive/pkg"), (std::map<std::string, std::string>{{"a.txt", "=a"},
                                                                   {"z.txt", "=z"},
                                                                   {"sub", "/"},
                                                                   {"sub/b.txt", "=b"},
                                                                   {"sub/deeper", "/"},
                                                                   {"sub/deeper/c.txt", "=c"}}));
  EXPECT_EQ(Tree("pkg"), package);
  EXPECT_EQ(ChangesUnder(At("pkg") + "*"), 0u);

  EXPECT_EQ(DeleteTree(fs_, At("pkg")), 1);
  EXPECT_FALSE(stdfs::exists(stdfs::symlink_status(At("pkg"))));
  EXPECT_EQ(Tree("outside"), outside);
}

// Names a FAT drive refuses: the copy stops with 0 at the first such name, and the package
// stays as it was.
TEST_F(BadTreeTest, NamesAFatDriveCannotHoldFailTheCopyCleanly) {
  FatNamesFileSystem fat(fs_);
  for (const char* name : {"a:b.txt", "what?.txt", "star*", "quote\".txt", "back\\slash",
                           "pipe|.txt", "trailing.", "trailing ", "less<", "tab\tname"}) {
    SCOPED_TRACE(name);
    stdfs::remove_all(At("pkg"));
    MakePackage();
    MakeFile(std::string("pkg/sub/") + name, "x");
    const auto package = Tree("pkg");
    EXPECT_EQ(CopyTree(fat, clock_, At("pkg"), At("drive/pkg")), 0);
    EXPECT_FALSE(stdfs::exists(At("drive/pkg/sub/") + name));
    EXPECT_EQ(Tree("pkg"), package);
  }
  stdfs::remove_all(At("pkg"));
  MakePackage();
  stdfs::create_directories(At("pkg/folder:name"));
  EXPECT_EQ(CopyTree(fat, clock_, At("pkg"), At("drive/pkg")), 0);
  EXPECT_FALSE(stdfs::exists(At("drive/pkg/folder:name")));
}

// 200 levels of one-letter folders: the copy goes as deep as the 259-character limit allows,
// then fails with 0 (no stack overflow, no cut-off name); deleting it fails the same way and
// removes nothing beyond the limit. A tree that fits is copied in full.
TEST_F(BadTreeTest, VeryDeepTreesFailAtThePathLimitAndShallowerOnesCopy) {
  std::string deep = "pkg";
  for (int level = 0; level < 200; ++level) deep += "/d";
  ASSERT_GT(CountChars(At(deep)), kMaxPathChars);
  // Built with relative steps: the whole path is beyond what the limit lets this program name.
  {
    stdfs::path at = At("pkg");
    stdfs::create_directories(at);
    const stdfs::path saved = stdfs::current_path();
    stdfs::current_path(at);
    for (int level = 0; level < 200; ++level) {
      stdfs::create_directory("d");
      stdfs::current_path("d");
    }
    std::ofstream("bottom.txt") << "b";
    stdfs::current_path(saved);
  }
  const auto package = Tree("pkg");

  EXPECT_EQ(CopyTree(fs_, clock_, At("pkg"), At("drive/pkg")), 0);
  EXPECT_EQ(Tree("pkg"), package);
  EXPECT_EQ(fs_.CountCalls(FsOp::kCopyFile), 0u);  // bottom.txt lies beyond the limit
  EXPECT_EQ(DeleteTree(fs_, At("pkg")), 0);
  EXPECT_EQ(Tree("pkg"), package);

  std::string fits = "ok";
  while (CountChars(At(fits + "/d/f.txt")) <= kMaxPathChars - 12) fits += "/d";
  MakeFile(fits + "/f.txt", "f");
  EXPECT_EQ(CopyTree(fs_, clock_, At("ok"), At("drive/ok")), 1);
  EXPECT_EQ(Tree("drive/ok"), Tree("ok"));
  EXPECT_EQ(DeleteTree(fs_, At("drive/ok")), 1);
}

// The drive turns read-only (every change refused with read_only_file_system) after the n-th
// change of the copy, for every n before the copy's last change: CopyTree gives 0 each time and
// the package stays as it was.
TEST_F(BadTreeTest, ADriveTurningReadOnlyAtAnyPointFailsTheCopyAndLeavesThePackage) {
  MakePackage();
  const auto package = Tree("pkg");
  ASSERT_EQ(CopyTree(fs_, clock_, At("pkg"), At("drive/pkg")), 1);
  const std::size_t changes = ChangesUnder(At("drive") + "*");
  ASSERT_GT(changes, 3u);
  ASSERT_EQ(DeleteTree(fs_, At("drive/pkg")), 1);

  for (std::size_t n = 0; n < changes; ++n) {
    SCOPED_TRACE("read-only after " + std::to_string(n) + " changes");
    // From the second round on, the partial copy of the round before stands at the
    // destination, as after a failed run.
    std::size_t seen = 0;
    bool readOnly = false;
    fs_.SetHook([&](FsOp op, const Path& path) {
      const bool change = op == FsOp::kCreateDirectory || op == FsOp::kRemoveDirectory ||
                          op == FsOp::kRemoveFile || op == FsOp::kCopyFile;
      if (readOnly || !change) return;
      // CopyFile's hook path is its source; the destination is on the drive all the same.
      if (op != FsOp::kCopyFile && !GlobMatch(At("drive") + "*", path.string())) return;
      if (seen++ < n) return;
      readOnly = true;
      for (FsOp refused : {FsOp::kCreateDirectory, FsOp::kRemoveDirectory, FsOp::kRemoveFile,
                           FsOp::kCopyFile, FsOp::kRename, FsOp::kWriteFile}) {
        fs_.AddFault(refused, At("drive") + "*", std::errc::read_only_file_system);
      }
    });
    EXPECT_EQ(CopyTree(fs_, clock_, At("pkg"), At("drive/pkg")), 0);
    EXPECT_TRUE(readOnly);
    fs_.SetHook(nullptr);
    fs_.ClearFaults();
    EXPECT_EQ(Tree("pkg"), package);
  }
}

// The drive vanishes (its folder is renamed away, as when the device drops off the bus) right
// before the n-th change of the copy, for every n: CopyTree gives 0 and the package stays.
TEST_F(BadTreeTest, ADriveVanishingAtAnyPointFailsTheCopyAndLeavesThePackage) {
  MakePackage();
  const auto package = Tree("pkg");
  ASSERT_EQ(CopyTree(fs_, clock_, At("pkg"), At("drive/pkg")), 1);
  const std::size_t changes = ChangesUnder(At("drive") + "*");
  ASSERT_EQ(DeleteTree(fs_, At("drive/pkg")), 1);

  for (std::size_t n = 0; n < changes; ++n) {
    SCOPED_TRACE("vanishes before change " + std::to_string(n));
    std::size_t seen = 0;
    bool vanished = false;
    fs_.SetHook([&](FsOp op, const Path&) {
      const bool change = op == FsOp::kCreateDirectory || op == FsOp::kRemoveDirectory ||
                          op == FsOp::kRemoveFile || op == FsOp::kCopyFile;
      if (vanished || !change || seen++ < n) return;
      vanished = true;
      stdfs::rename(At("drive"), At("gone"));
    });
    EXPECT_EQ(CopyTree(fs_, clock_, At("pkg"), At("drive/pkg")), 0);
    EXPECT_TRUE(vanished);
    fs_.SetHook(nullptr);
    EXPECT_EQ(Tree("pkg"), package);
    EXPECT_FALSE(stdfs::exists(At("drive")));
    stdfs::remove_all(At("gone"));
    stdfs::create_directories(At("drive"));
  }
}

}  // namespace
}  // namespace vantel3
