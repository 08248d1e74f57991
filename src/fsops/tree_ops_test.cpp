#include "fsops/tree_ops.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "../../tests/support/test_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>

#include "platform/fault_injecting_file_system.h"
#include "platform/posix_file_system.h"

namespace vantel3 {
namespace {

namespace stdfs = std::filesystem;
using ::testing::IsEmpty;

// Real folders in a temp dir, seen through the fault-injecting wrapper, on a virtual clock.
class TreeOpsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = (stdfs::temp_directory_path() /
             ("vantel3_tree_" + std::to_string(::getpid()) + "_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name()))
                .string();
    // Parameterised tests carry a "/" in their name.
    for (std::size_t i = stdfs::temp_directory_path().string().size() + 1; i < root_.size(); ++i) {
      if (root_[i] == '/') root_[i] = '_';
    }
    stdfs::remove_all(root_);
    stdfs::create_directories(root_);
  }
  void TearDown() override {
    std::error_code ignored;
    stdfs::remove_all(root_, ignored);
  }

  std::string At(const std::string& relative) const { return root_ + "/" + relative; }
  void MakeDir(const std::string& relative) { stdfs::create_directories(At(relative)); }
  void MakeFile(const std::string& relative, const std::string& content = "content") {
    stdfs::create_directories(stdfs::path(At(relative)).parent_path());
    std::ofstream(At(relative), std::ios::binary) << content;
  }
  bool Exists(const std::string& relative) const {
    return stdfs::exists(stdfs::symlink_status(At(relative)));
  }

  // Every entry under `relative`: "name/" for folders, "name -> target" for links, else
  // "name=content". Links are not followed.
  std::map<std::string, std::string> Tree(const std::string& relative) const {
    return testing::SnapshotTree(At(relative));
  }

  std::size_t MutatingCalls() {
    std::size_t count = 0;
    for (FsOp op : {FsOp::kCreateDirectory, FsOp::kRemoveDirectory, FsOp::kRemoveFile,
                    FsOp::kRename, FsOp::kCopyFile, FsOp::kWriteFile}) {
      count += fs_.CountCalls(op);
    }
    return count;
  }

  std::string root_;
  PosixFileSystem posix_;
  FaultInjectingFileSystem fs_{posix_};
  VirtualClock clock_;
};

// --- DeleteTree ------------------------------------------------------------------------------

TEST_F(TreeOpsTest, DeleteTreeRemovesEverythingAndRemovesLinksWithoutFollowingThem) {
  MakeFile("outside/keep.txt", "user data");
  MakeFile("d/a.txt");
  MakeFile("d/.hidden");
  MakeFile("d/sub/.hiddendir/deep.bin");
  MakeDir("d/sub/empty");
  stdfs::create_directory_symlink(At("outside"), At("d/sub/to_outside"));
  stdfs::create_symlink(At("outside/keep.txt"), At("d/file_link"));
  stdfs::create_symlink(At("nowhere"), At("d/dangling"));
  stdfs::create_directory_symlink(At("d"), At("d/sub/loop"));
  ASSERT_EQ(::mkfifo(At("d/pipe").c_str(), 0600), 0);

  EXPECT_EQ(DeleteTree(fs_, At("d")), 1);
  EXPECT_FALSE(Exists("d"));
  EXPECT_EQ(Tree("outside"), (std::map<std::string, std::string>{{"keep.txt", "=user data"}}));
  EXPECT_EQ(clock_.ElapsedMs(), 0u);
}

TEST_F(TreeOpsTest, DeleteTreeRefusesWhatIsNotAFolderAndLeavesItInPlace) {
  MakeDir("empty");
  MakeFile("plain.txt");
  MakeFile("target/keep.txt");
  stdfs::create_directory_symlink(At("target"), At("link"));
  struct Case {
    std::string path;
    int result;
  };
  const Case cases[] = {
      {"", 0},
      {At("missing"), 0},
      {At("plain.txt"), 0},
      {At("link"), 0},
      {At("link/"), 0},  // the trailing "/" must not resolve the link into its
                         // target
      {At("empty"), 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DeleteTree(fs_, c.path), c.result) << c.path;
  }
  EXPECT_FALSE(Exists("empty"));
  EXPECT_TRUE(Exists("plain.txt"));
  EXPECT_TRUE(Exists("link"));
  EXPECT_TRUE(Exists("target/keep.txt"));
}

TEST_F(TreeOpsTest, DeleteTreeStopsAtARefusedEntryKeepingItAndEverythingAfterIt) {
  for (int i = 0; i < 6; ++i) MakeFile("d/f" + std::to_string(i));
  std::vector<DirEntry> order;
  ASSERT_EQ(posix_.ListDirectory(At("d"), order), std::error_code{});
  const std::size_t refused = 3;
  // What a read-only file does on the device's drive.
  fs_.AddFault(FsOp::kRemoveFile, "*/d/" + order[refused].name, std::errc::permission_denied);

  EXPECT_EQ(DeleteTree(fs_, At("d")), 0);
  for (std::size_t i = 0; i < order.size(); ++i) {
    EXPECT_EQ(Exists("d/" + order[i].name), i >= refused) << order[i].name;
  }
  EXPECT_EQ(fs_.CountCalls(FsOp::kRemoveDirectory), 0u);
}

// --- CopyTree --------------------------------------------------------------------------------

TEST_F(TreeOpsTest, CopyTreeReproducesADeepTreeWithHiddenEntriesOverAnOldDestination) {
  MakeFile("src/top.txt", "1");
  MakeFile("src/.hidden_top", "2");
  MakeFile("src/a/b/c/deep.txt", "3");
  MakeFile("src/a/.hidden_dir/x", "4");
  MakeFile("src/a/b/.hidden", "5");
  MakeFile("src/a/empty_file", "");
  MakeDir("src/a/b/empty_dir");
  MakeFile("dst/stale.txt", "old");
  MakeFile("dst/a/b/stale_deep.txt", "old");

  EXPECT_EQ(CopyTree(fs_, clock_, At("src"), At("dst")), 1);
  EXPECT_EQ(Tree("dst"), Tree("src"));
  EXPECT_EQ(Tree("dst").size(), 11u);
  EXPECT_EQ(clock_.ElapsedMs(), 0u);
  // The enumeration tells files from folders; only the old destination itself is examined.
  EXPECT_EQ(fs_.CountCalls(FsOp::kStatus), 1u);
}

// A file system that does not report entry types in its listing (as some FUSE mounts do).
class UntypedListing : public ForwardingFileSystem {
 public:
  using ForwardingFileSystem::ForwardingFileSystem;
  std::error_code ListDirectory(const Path& path, std::vector<DirEntry>& entries) override {
    const std::error_code ec = target().ListDirectory(path, entries);
    for (DirEntry& entry : entries) entry.type = EntryType::kOther;
    return ec;
  }
};

TEST_F(TreeOpsTest, EntriesOfUnknownTypeAreExaminedOnTheirOwn) {
  UntypedListing untyped(posix_);
  MakeFile("src/a.txt", "a");
  MakeFile("src/sub/b.txt", "b");
  stdfs::create_symlink(At("src/a.txt"), At("src/link"));
  ASSERT_EQ(::mkfifo(At("src/pipe").c_str(), 0600), 0);

  EXPECT_EQ(CopyTree(untyped, clock_, At("src"), At("dst")), 1);
  EXPECT_EQ(Tree("dst"), (std::map<std::string, std::string>{
                             {"a.txt", "=a"}, {"sub", "/"}, {"sub/b.txt", "=b"}}));
  EXPECT_EQ(DeleteTree(untyped, At("src")), 1);
  EXPECT_FALSE(Exists("src"));
}

TEST_F(TreeOpsTest, CopyTreeFromAMissingOrEmptySourceLeavesAnEmptyFreshDestination) {
  MakeDir("empty_src");
  for (const char* source : {"missing_src", "empty_src"}) {
    MakeFile("dst/one.txt");
    MakeFile("dst/sub/two.txt");
    EXPECT_EQ(CopyTree(fs_, clock_, At(source), At("dst")), 1) << source;
    EXPECT_TRUE(stdfs::is_directory(At("dst")));
    EXPECT_THAT(Tree("dst"), IsEmpty()) << source;
  }
}

TEST_F(TreeOpsTest, CopyTreeRefusesAMissingArgument) {
  MakeFile("src/a.txt");
  EXPECT_EQ(CopyTree(fs_, clock_, "", At("dst")), 0);
  EXPECT_EQ(CopyTree(fs_, clock_, At("src"), ""), 0);
  EXPECT_EQ(fs_.CallCount(), 0u);
}

TEST_F(TreeOpsTest, CopyTreeSkipsLinksAndSpecialFilesSoLoopsEndAndOutsideContentStaysOut) {
  MakeFile("secret/password.txt", "secret");
  MakeFile("src/real.txt", "r");
  MakeFile("src/dir/inner.txt", "i");
  stdfs::create_directory_symlink(At("src"), At("src/dir/loop"));  // a loop back to the top
  stdfs::create_directory_symlink("..", At("src/dir/up"));
  stdfs::create_symlink(At("secret/password.txt"), At("src/leak.txt"));
  stdfs::create_directory_symlink(At("secret"), At("src/leak_dir"));
  ASSERT_EQ(::mkfifo(At("src/pipe").c_str(), 0600), 0);  // opening it would block

  EXPECT_EQ(CopyTree(fs_, clock_, At("src"), At("dst")), 1);
  EXPECT_EQ(Tree("dst"), (std::map<std::string, std::string>{
                             {"real.txt", "=r"}, {"dir", "/"}, {"dir/inner.txt", "=i"}}));
}

TEST_F(TreeOpsTest, CopyTreeStopsAtTheFirstFailedCopyKeepingWhatWasCopied) {
  MakeFile("src/only/bad.bin", "x");
  MakeFile("src/good.txt", "g");
  fs_.AddFault(FsOp::kCopyFile, "*/dst/only/bad.bin", std::errc::no_space_on_device);
  EXPECT_EQ(CopyTree(fs_, clock_, At("src"), At("dst")), 0);
  EXPECT_FALSE(Exists("dst/only/bad.bin"));
  EXPECT_TRUE(Exists("dst/only"));
}

// The retried steps of CopyTree: each failed attempt is followed by a 200 ms pause.
struct CopyRetryCase {
  const char* name;
  FsOp op;             // what the drive refuses
  const char* target;  // pattern of the refused path
  int refusals;        // FaultInjectingFileSystem::kAlways or a count
  int result;
  std::size_t attempts;  // calls of `op` on `target`
  uint64_t elapsedMs;
};

void PrintTo(const CopyRetryCase& c, std::ostream* os) {
  *os << c.name;
}

class CopyTreeRetryTest : public TreeOpsTest,
                          public ::testing::WithParamInterface<CopyRetryCase> {};

TEST_P(CopyTreeRetryTest, RetriesWithFixedPauses) {
  const CopyRetryCase& c = GetParam();
  MakeFile("src/new.txt", "new");
  MakeFile("dst/locked.txt", "old");
  fs_.AddFault(c.op, c.target, std::errc::permission_denied, c.refusals);

  EXPECT_EQ(CopyTree(fs_, clock_, At("src"), At("dst")), c.result);
  EXPECT_EQ(fs_.CountCalls(c.op, c.target), c.attempts);
  EXPECT_EQ(clock_.ElapsedMs(), c.elapsedMs);
  EXPECT_EQ(Exists("dst/new.txt"), c.result == 1);
}

constexpr int kAlways = FaultInjectingFileSystem::kAlways;

INSTANTIATE_TEST_SUITE_P(
    Cases, CopyTreeRetryTest,
    ::testing::Values(CopyRetryCase{"OldDestinationNeverGoes", FsOp::kRemoveFile,
                                    "*/dst/locked.txt", kAlways, 0, 10, 2000},
                      CopyRetryCase{"OldDestinationGoesAtTheFifthAttempt", FsOp::kRemoveFile,
                                    "*/dst/locked.txt", 4, 1, 5, 800},
                      CopyRetryCase{"CreationRefusedTenTimes", FsOp::kCreateDirectory, "*/dst",
                                    kAlways, 0, 10, 2000},
                      CopyRetryCase{"CreationWorksAtTheTenthAttempt", FsOp::kCreateDirectory,
                                    "*/dst", 9, 1, 10, 1800}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TreeOpsTest, CopyTreeIntoAMissingParentTriesTenCreations200MsApart) {
  MakeFile("src/a.txt");
  EXPECT_EQ(CopyTree(fs_, clock_, At("src"), At("no_parent/dst")), 0);
  EXPECT_EQ(fs_.CountCalls(FsOp::kCreateDirectory, "*/no_parent/dst"), 10u);
  EXPECT_EQ(clock_.ElapsedMs(), 2000u);
  EXPECT_FALSE(Exists("no_parent"));
}

TEST_F(TreeOpsTest, CopyTreeAcceptsAnExistingFolderOnCreationAndReplacesWhatStandsInIt) {
  MakeFile("src/a.txt", "package");
  MakeFile("outside/victim.txt", "user data");
  // The folder shows up between the removal and the creation (a slow earlier attempt of the
  // drive), holding a link where a file is to be copied.
  fs_.SetHook([this](FsOp op, const Path& path) {
    if (op == FsOp::kCreateDirectory && path == At("dst")) {
      stdfs::create_directory(At("dst"));
      stdfs::create_symlink(At("outside/victim.txt"), At("dst/a.txt"));
    }
  });
  EXPECT_EQ(CopyTree(fs_, clock_, At("src"), At("dst")), 1);
  EXPECT_EQ(Tree("dst"), Tree("src"));  // a regular file now, not the link
  EXPECT_EQ(Tree("outside"), (std::map<std::string, std::string>{{"victim.txt", "=user data"}}));
  EXPECT_EQ(clock_.ElapsedMs(), 0u);
}

// --- InstallStagedFolder ---------------------------------------------------------------------

class UserFolderTest : public TreeOpsTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(UserFolderTest, ANonEmptyUserFolderStaysAndTheStagedCopyGoes) {
  const std::string name = GetParam();
  MakeFile(name + "/song.mp3", "mine");
  MakeFile("Music_temp/package_song.mp3", "package");

  EXPECT_EQ(InstallStagedFolder(fs_, clock_, At("Music_temp/"), name), 1);
  EXPECT_EQ(Tree(name), (std::map<std::string, std::string>{{"song.mp3", "=mine"}}));
  EXPECT_FALSE(Exists("Music_temp"));
}

INSTANTIATE_TEST_SUITE_P(Names, UserFolderTest,
                         ::testing::Values("Music", "music", "MUSIC", "Help", "hElP"));

TEST_F(TreeOpsTest, InstallStagedFolderReplacesOtherFoldersAndEmptyUserFolders) {
  struct Case {
    std::string name;
    bool oldExists;
    bool oldFull;
  };
  const Case cases[] = {
      {"Music", true, false},  // an empty user folder is replaced like any other
      {"locale", true, true},
      {"brl", false, false},
  };
  for (const Case& c : cases) {
    if (c.oldExists) MakeDir(c.name);
    if (c.oldFull) MakeFile(c.name + "/old/stale.txt", "old");
    MakeFile(c.name + "_temp/new.txt", "new");

    EXPECT_EQ(InstallStagedFolder(fs_, clock_, At(c.name + "_temp") + "/", c.name), 1) << c.name;
    EXPECT_EQ(Tree(c.name), (std::map<std::string, std::string>{{"new.txt", "=new"}})) << c.name;
    EXPECT_FALSE(Exists(c.name + "_temp")) << c.name;
  }
  EXPECT_EQ(clock_.ElapsedMs(), 0u);
}

// Reports everything as existing, so that a staged path is examined for its shape alone.
class EverythingExists : public ForwardingFileSystem {
 public:
  using ForwardingFileSystem::ForwardingFileSystem;
  bool Exists(const Path&) override { return true; }
};

TEST_F(TreeOpsTest, InstallStagedFolderRefusesBadPathsAndNamesChangingNothing) {
  EverythingExists everything(posix_);
  FaultInjectingFileSystem fs(everything);
  MakeFile("Music_temp/a.txt");
  MakeFile("Music/b.txt");
  struct Case {
    std::string staged;
    std::string name;
  };
  const Case cases[] = {
      {"Music_temp", "Music"},    // no separator
      {"Music_temp\\", "Music"},  // only a trailing one
      {"/Music_temp", "Music"},   // the only separator is the first character
      {"\\Music_temp/", "Music"},
      {"", "Music"},
      {"///", "Music"},
      {At("Music_temp"), ""},  // would name the parent folder itself
      {At("Music_temp"), "."},
      {At("Music_temp"), ".."},
      {At("Music_temp"), "../Music"},
      {At("Music_temp"), "sub\\Music"},
      {At("Music_temp"), "Music_temp"},  // the staged folder itself
      {At("Music_temp/"), "MUSIC_TEMP"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(InstallStagedFolder(fs, clock_, c.staged, c.name), 0) << c.staged << " " << c.name;
  }
  for (const FsCall& call : fs.Calls()) {
    EXPECT_EQ(call.op, FsOp::kExists) << FsOpName(call.op) << " " << call.path;
  }
  EXPECT_EQ(Tree(""), (std::map<std::string, std::string>{{"Music_temp", "/"},
                                                          {"Music_temp/a.txt", "=content"},
                                                          {"Music", "/"},
                                                          {"Music/b.txt", "=content"}}));
}

TEST_F(TreeOpsTest, InstallStagedFolderWithAMissingStagedFolderChangesNothing) {
  MakeFile("locale/a.txt");
  EXPECT_EQ(InstallStagedFolder(fs_, clock_, At("locale_temp/"), "locale"), 0);
  EXPECT_TRUE(Exists("locale/a.txt"));
  EXPECT_EQ(MutatingCalls(), 0u);
}

TEST_F(TreeOpsTest, InstallStagedFolderGivesUpWhenTheOldFolderStaysAfterFiveAttempts) {
  MakeFile("locale/locked.txt");
  MakeFile("locale_temp/new.txt");
  fs_.AddFault(FsOp::kRemoveFile, "*/locale/locked.txt", std::errc::device_or_resource_busy);
  EXPECT_EQ(InstallStagedFolder(fs_, clock_, At("locale_temp"), "locale"), 0);
  EXPECT_EQ(fs_.CountCalls(FsOp::kRemoveFile, "*/locale/locked.txt"), 5u);
  EXPECT_EQ(clock_.ElapsedMs(), 1000u);
  EXPECT_EQ(fs_.CountCalls(FsOp::kRename), 0u);
  EXPECT_TRUE(Exists("locale_temp/new.txt"));
}

struct RenameCase {
  const char* name;
  std::errc error;
  int refusals;
  int result;
  std::size_t attempts;
  uint64_t elapsedMs;
};

void PrintTo(const RenameCase& c, std::ostream* os) {
  *os << c.name;
}

class RenameRetryTest : public TreeOpsTest, public ::testing::WithParamInterface<RenameCase> {};

TEST_P(RenameRetryTest, RetriesOnlyBusyDeniedAndExistsErrors) {
  const RenameCase& c = GetParam();
  MakeFile("brl_temp/new.txt", "new");
  fs_.AddFault(FsOp::kRename, "*/brl_temp", c.error, c.refusals);

  EXPECT_EQ(InstallStagedFolder(fs_, clock_, At("brl_temp/"), "brl"), c.result);
  EXPECT_EQ(fs_.CountCalls(FsOp::kRename), c.attempts);
  EXPECT_EQ(clock_.ElapsedMs(), c.elapsedMs);
  EXPECT_EQ(Exists("brl/new.txt"), c.result == 1);
  EXPECT_EQ(Exists("brl_temp/new.txt"), c.result == 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RenameRetryTest,
    ::testing::Values(
        RenameCase{"AccessDeniedThreeTimes", std::errc::permission_denied, 3, 0, 3, 600},
        RenameCase{"NotPermittedThreeTimes", std::errc::operation_not_permitted, 3, 0, 3, 600},
        RenameCase{"BusyTwiceThenMoved", std::errc::device_or_resource_busy, 2, 1, 3, 400},
        RenameCase{"AlreadyExistsOnceThenMoved", std::errc::file_exists, 1, 1, 2, 200},
        RenameCase{"PathNotFound", std::errc::no_such_file_or_directory, 1, 0, 1, 0},
        RenameCase{"InputOutputError", std::errc::io_error, 1, 0, 1, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Path limit --------------------------------------------------------------------------------

TEST_F(TreeOpsTest, APathBeyondTheLimitFailsTheOperationAndNothingIsTruncated) {
  const std::string longFolder(209 - root_.size(), 'd');  // At(longFolder) has 210 characters
  const std::string longName(60, 'n');                    // and one more level has 271

  MakeFile(longFolder + "/" + longName);
  EXPECT_EQ(DeleteTree(fs_, At(longFolder)), 0);
  EXPECT_TRUE(Exists(longFolder + "/" + longName));
  stdfs::remove_all(At(longFolder));

  MakeFile("src/" + longName, "x");
  EXPECT_EQ(CopyTree(fs_, clock_, At("src"), At(longFolder)), 0);
  EXPECT_THAT(Tree(longFolder), IsEmpty());
  EXPECT_EQ(fs_.CountCalls(FsOp::kCopyFile), 0u);

  MakeFile(longFolder + "/s/new.txt");
  EXPECT_EQ(InstallStagedFolder(fs_, clock_, At(longFolder + "/s"), longName), 0);
  EXPECT_TRUE(Exists(longFolder + "/s/new.txt"));
  EXPECT_EQ(fs_.CountCalls(FsOp::kRename), 0u);
}

}  // namespace
}  // namespace vantel3
