// A file system wrapper for tests and the simulated device: it makes chosen calls fail (by
// operation, path pattern and count), damages chosen copies without any error, records every
// call, and can run a hook before each one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/file_system.h"

namespace vantel3 {

// The operations of FileSystem, as they appear in rules, in the call log and in the hook.
// kExists is logged and passed to the hook only: a rule never applies to it (it has no error to
// return); to make something vanish, remove it from the hook.
enum class FsOp {
  kExists,
  kStatus,
  kListDirectory,
  kCreateDirectory,
  kRemoveDirectory,
  kRemoveFile,
  kRename,
  kCopyFile,
  kReadFile,
  kWriteFile,
  kFlushFile,
  kSyncFileSystem,
  kOpenForReading,
};

// "Rename", "CopyFile", ...: for test messages.
const char* FsOpName(FsOp op);

// True when `text` matches the glob `pattern`: "*" matches any run of characters ("/"
// included), "?" one character, "[abc]", "[a-z]" and "[!abc]" one character of (or not of) a
// set. There is no escape character, so "\" in a Windows path is an ordinary character.
bool GlobMatch(std::string_view pattern, std::string_view text);

// One call as the log holds it.
struct FsCall {
  FsOp op;
  Path path;  // the path, or the source of Rename and CopyFile
  Path to;    // the destination of Rename and CopyFile; empty otherwise
  // The call's result; for kExists, {} when something existed and no_such_file_or_directory
  // when not.
  std::error_code result;
  bool injected;  // the result came from a rule; the wrapped file system was not called
};

class FaultInjectingFileSystem final : public ForwardingFileSystem {
 public:
  static constexpr int kAlways = -1;
  static constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

  using Hook = std::function<void(FsOp op, const Path& path)>;

  explicit FaultInjectingFileSystem(FileSystem& target) : ForwardingFileSystem(target) {}

  // --- Rules ---------------------------------------------------------------------------------

  // Makes the next `count` calls of `op` whose path matches `pattern` (GlobMatch on the full
  // path, also tried with trailing separators removed) fail with `error`, without reaching the
  // wrapped file system; kAlways fails every such call until the rule is removed. Rename
  // matches its source path; CopyFile matches when either its source or its destination
  // matches. Rules are tried in the order they were added; the first live matching rule
  // decides. Returns the rule's id.
  int AddFault(FsOp op, std::string_view pattern, std::error_code error, int count = kAlways);
  int AddFault(FsOp op, std::string_view pattern, std::errc error, int count = kAlways) {
    return AddFault(op, pattern, std::make_error_code(error), count);
  }
  // Silent damage: the next `count` successful copies (CopyFile) whose destination matches
  // `pattern` (kAlways: every one) have the byte at `offset` of the destination inverted
  // afterwards (the last byte when the file is shorter; an empty file gets one byte 0xFF),
  // and the copy still reports success, as a failing card or cable would. The damage is
  // written through the wrapped file system. Returns the rule's id, shared with AddFault's.
  int AddCorruption(std::string_view pattern, uint64_t offset, int count = kAlways);
  // Removes one rule (an unknown id is ignored) or all of them.
  void RemoveFault(int id);
  void ClearFaults();
  // How many more calls rule `id` will fail: kAlways, 0 when used up or unknown.
  int RemainingFailures(int id);

  // Runs `hook` (from the calling thread, with no lock held) before every operation, before
  // the rules are consulted, so that it can change the world the call then meets. A call that
  // the hook itself makes on this object is logged and ruled but does not run the hook again.
  // An empty function removes the hook.
  void SetHook(Hook hook);

  // --- Log -----------------------------------------------------------------------------------

  // Every call so far, in the order the calls returned.
  std::vector<FsCall> Calls();
  std::size_t CallCount();
  void ClearLog();
  // Number of calls of `op` whose path (or, for Rename and CopyFile, either path) matches.
  std::size_t CountCalls(FsOp op, std::string_view pattern = "*");
  // Index in Calls() of the first call of `op` whose path matches, at or after `from`;
  // kNotFound when there is none.
  std::size_t FindCall(FsOp op, std::string_view pattern = "*", std::size_t from = 0);

  // Paths of successful calls, in order: folders created, files written and copy destinations;
  // files and folders removed; paths flushed; paths whose file system was synced.
  std::vector<Path> Created();
  std::vector<Path> Removed();
  std::vector<Path> Flushed();
  std::vector<Path> Synced();

  // Paths matching `pattern` that, among the first `endIndex` calls, were created or written
  // (CreateDirectory, WriteFile, CopyFile or Rename destination) and were neither flushed
  // (FlushFile of the same path) after their last write nor removed or renamed away since.
  // A rename carries the pending paths under its source to its destination. In the order of
  // their last write. Paths are compared after lexical normalisation without a trailing "/".
  std::vector<Path> WrittenNotFlushed(std::size_t endIndex, std::string_view pattern = "*");

  // --- FileSystem ----------------------------------------------------------------------------

  bool Exists(const Path& path) override;
  std::error_code Status(const Path& path, EntryType& type) override;
  std::error_code ListDirectory(const Path& path, std::vector<DirEntry>& entries) override;
  std::error_code CreateDirectory(const Path& path) override;
  std::error_code RemoveDirectory(const Path& path) override;
  std::error_code RemoveFile(const Path& path) override;
  std::error_code Rename(const Path& from, const Path& to) override;
  std::error_code CopyFile(const Path& from, const Path& to) override;
  std::error_code ReadFile(const Path& path, std::size_t maxBytes, std::string& out) override;
  std::error_code WriteFile(const Path& path, std::string_view data) override;
  std::error_code FlushFile(const Path& path) override;
  std::error_code SyncFileSystem(const Path& path) override;
  std::error_code OpenForReading(const Path& path, ReadSource source,
                                 std::unique_ptr<FileReader>& reader) override;

 private:
  struct Rule {
    int id;
    FsOp op;
    std::string pattern;
    std::error_code error;
    int remaining;  // kAlways or > 0; a rule at 0 is dropped
  };
  struct Corruption {
    int id;
    std::string pattern;
    uint64_t offset;
    int remaining;  // kAlways or > 0; a rule at 0 is dropped
  };

  // Runs the hook, then the first matching rule; returns true with `error` set when a rule
  // fails the call (the call is then already logged).
  bool Intercept(FsOp op, const Path& path, const Path& to, std::error_code& error);
  std::error_code Record(FsOp op, const Path& path, const Path& to, std::error_code result);
  std::vector<Path> SuccessfulPaths(std::initializer_list<FsOp> ops, bool destination);

  std::mutex mutex_;
  // Damages `to` when a corruption rule takes this copy.
  void CorruptAfterCopy(const Path& to);

  std::vector<Rule> rules_;
  std::vector<Corruption> corruptions_;
  int nextRuleId_ = 1;
  std::vector<FsCall> log_;
  Hook hook_;
};

}  // namespace vantel3
