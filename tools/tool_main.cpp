#include "tool_main.h"

#include <map>
#include <ostream>
#include <set>
#include <string_view>

#include "dfu/dfu_binding.h"
#include "formats/device_drive.h"
#include "formats/device_version_file.h"
#include "formats/package_version_file.h"
#include "platform/path_limit.h"
#include "workflow/transfer_tables.h"

namespace vantel3 {

namespace {

// The messages of the tool. The package problems the updater itself reports are quoted
// exactly as the updater shows them.
constexpr const char* kUsageHint = "; see vantel3-tool --help";
constexpr const char* kErrorPrefix = "vantel3-tool: ";
constexpr const char* kPackageOkText = "package OK";
constexpr const char* kNotAFolderText = " is not a readable folder";
constexpr const char* kFirmwareDfuMissingText =
    "There is no firmware.dfu (the Bluetooth firmware image).";
constexpr const char* kMusicMissingNote =
    "note: there is no Music folder; the device keeps its own, or gets an empty one if it has "
    "none (this does not stop an update)";
constexpr const char* kEncodeRefusedText =
    "the versions must be single lines without white space at either end, and at most 1024 "
    "bytes together with their keys";
constexpr const char* kNoVersionFileText = "no device version file in ";
constexpr const char* kDefaultsNote =
    "note: the file is missing or is no valid version file; these are the defaults";

constexpr const char* kFirmwareDfuFileName = "firmware.dfu";
constexpr const char* kMusicFolderName = "Music";

constexpr const char* kHelpText =
    "Usage: vantel3-tool COMMAND [ARGUMENTS]\n"
    "\n"
    "Commands:\n"
    "  write-version --target V --bt B FILE\n"
    "      Write a package version file (version.bin) holding the two versions.\n"
    "  read-version FILE\n"
    "      Print TARGET_VERSION:<value> and BT_VERSION:<value> as the updater reads them\n"
    "      (the defaults when the file is missing or invalid).\n"
    "  check-package DIR\n"
    "      Check a package folder as the updater does; one line per problem.\n"
    "  inspect-device ROOT [--bt-version V]\n"
    "      Show what the updater makes of a device drive mounted at ROOT.\n"
    "  list-drives [--root DIR]\n"
    "      List the mounted volumes and name the one the updater takes as the device drive\n"
    "      (with --root, from a captured tree DIR/proc, DIR/sys, DIR/run/udev/data).\n"
    "\n"
    "  --help     show this text\n"
    "  --version  show the tool's version\n"
    "\n"
    "Exit status: 0 success, 1 failure or problems found, 2 wrong arguments.\n";

const char* ModelName(uint8_t model) {
  switch (model) {
    case 1:
      return "VO3";
    case 2:
      return "RU3R";
    default:
      return "none";
  }
}

int UsageError(std::ostream& err, const std::string& what) {
  err << kErrorPrefix << what << kUsageHint << "\n";
  return kToolUsageError;
}

int Failure(std::ostream& err, const std::string& what) {
  err << kErrorPrefix << "error: " << what << "\n";
  return kToolFailure;
}

// The arguments after the command: options that take a value ("--name VALUE") and the
// positional arguments, in order.
struct ParsedArgs {
  std::map<std::string, std::string> options;
  std::vector<std::string> positional;
};

// Returns an empty string, or what is wrong with the arguments.
std::string ParseCommandArgs(const std::vector<std::string>& args,
                             const std::set<std::string>& valueOptions, ParsedArgs& parsed) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.size() > 1 && arg[0] == '-') {
      if (valueOptions.count(arg) == 0) return "unknown option '" + arg + "' for " + args[0];
      if (i + 1 >= args.size()) return "option " + arg + " needs a value";
      parsed.options[arg] = args[++i];
    } else {
      parsed.positional.push_back(arg);
    }
  }
  return {};
}

std::string PackagePath(const std::string& dir, const char* name) {
  std::string path;
  if (!dir.empty() && IsPathSeparator(dir.back())) {
    if (!JoinPath(dir, name, path)) return {};
  } else if (!JoinPath(dir, '/', name, path)) {
    return {};
  }
  return path;
}

int WriteVersion(const ParsedArgs& parsed, ToolServices& services, std::ostream& err) {
  const auto target = parsed.options.find("--target");
  const auto bt = parsed.options.find("--bt");
  if (target == parsed.options.end() || bt == parsed.options.end() ||
      parsed.positional.size() != 1) {
    return UsageError(err, "write-version needs --target V, --bt B and one FILE");
  }
  const std::string& file = parsed.positional[0];
  std::string bytes;
  if (!EncodePackageVersionFile(target->second, bt->second, bytes)) {
    return Failure(err, std::string("cannot write ") + file + ": " + kEncodeRefusedText);
  }
  std::error_code ec = services.fs.WriteFile(file, bytes);
  if (!ec) ec = services.fs.FlushFile(file);
  if (ec) return Failure(err, "cannot write " + file + ": " + ec.message());
  return kToolSuccess;
}

int ReadVersion(const ParsedArgs& parsed, ToolServices& services, std::ostream& out,
                std::ostream& err) {
  if (!parsed.options.empty() || parsed.positional.size() != 1) {
    return UsageError(err, "read-version needs one FILE");
  }
  std::string bytes;
  std::string target;
  std::string bt;
  int decoded = 0;
  if (!services.fs.ReadFile(parsed.positional[0],
                            kPackageVersionHeaderSize + kMaxPackageVersionPayload, bytes)) {
    decoded = DecodePackageVersionFile(bytes, target, bt);
  } else {
    ParsePackageVersionFile({}, target, bt);
  }
  out << "TARGET_VERSION:" << target << "\n"
      << "BT_VERSION:" << bt << "\n";
  if (decoded == 0) err << kErrorPrefix << kDefaultsNote << "\n";
  return kToolSuccess;
}

int CheckPackage(const ParsedArgs& parsed, ToolServices& services, std::ostream& out,
                 std::ostream& err) {
  if (!parsed.options.empty() || parsed.positional.size() != 1) {
    return UsageError(err, "check-package needs one DIR");
  }
  const std::string& dir = parsed.positional[0];
  std::vector<DirEntry> entries;
  if (services.fs.ListDirectory(dir, entries)) return Failure(err, dir + kNotAFolderText);

  FileSystem& fs = services.fs;
  int problems = 0;
  auto problem = [&](const std::string& line) {
    out << line << "\n";
    ++problems;
  };

  for (const PackageCheck& entry : PackagePreCheckTable) {
    if (!fs.Exists(PackagePath(dir, entry.name))) problem(entry.missingMessage);
  }

  const std::string library = PackagePath(dir, kDfuLibraryFileName);
  DfuApi api;
  if (!fs.Exists(library) || !BindDfuLibrary(services.loader, library, api)) {
    problem(kDfuLoadFailedMessage);
  }

  std::string bytes;
  std::string target;
  std::string bt;
  const std::string defaults = std::string("the updater would use TARGET_VERSION ") +
                               kDefaultTargetVersion + " and BT_VERSION " + kDefaultBtVersion;
  if (fs.ReadFile(PackagePath(dir, kPackageVersionFileName),
                  kPackageVersionHeaderSize + kMaxPackageVersionPayload, bytes)) {
    problem(std::string(kPackageVersionFileName) + " is missing; " + defaults + ".");
  } else {
    const int decoded = DecodePackageVersionFile(bytes, target, bt);
    if (decoded == 0) {
      problem(std::string(kPackageVersionFileName) + " is no valid version file; " + defaults +
              ".");
    } else {
      if ((decoded & kPackageVersionHasTarget) == 0) {
        problem(std::string(kPackageVersionFileName) +
                " has no TARGET_VERSION line; the updater would use " + kDefaultTargetVersion +
                ".");
      }
      if ((decoded & kPackageVersionHasBt) == 0) {
        problem(std::string(kPackageVersionFileName) +
                " has no BT_VERSION line; the updater would use " + kDefaultBtVersion + ".");
      }
    }
  }

  if (!fs.Exists(PackagePath(dir, kFirmwareDfuFileName))) problem(kFirmwareDfuMissingText);
  // Not a problem: the update goes on without a package Music folder.
  if (!fs.Exists(PackagePath(dir, kMusicFolderName))) out << kMusicMissingNote << "\n";

  if (problems > 0) return kToolFailure;
  out << kPackageOkText << "\n";
  return kToolSuccess;
}

int InspectDevice(const ParsedArgs& parsed, ToolServices& services, std::ostream& out,
                  std::ostream& err) {
  if (parsed.positional.size() != 1) {
    return UsageError(err, "inspect-device needs one ROOT");
  }
  std::string root = parsed.positional[0];
  if (root.empty() || !IsPathSeparator(root.back())) root.push_back('/');
  const auto option = parsed.options.find("--bt-version");
  const std::string btVersion =
      option != parsed.options.end() ? option->second : std::string(kDefaultBtVersion);
  std::vector<DirEntry> entries;
  if (services.fs.ListDirectory(root, entries)) return Failure(err, root + kNotAFolderText);

  int32_t btUpdateNeeded = 1;
  int32_t btUpdateOverUsb = 1;
  int32_t versionFile2Found = 0;
  uint8_t model = 0;
  uint8_t generation = 0;
  // The order the updater uses: the version file first, then the generation.
  ReadDeviceVersionFile(services.fs, root, btVersion, btUpdateNeeded, btUpdateOverUsb,
                        versionFile2Found);
  const int found = DetectGeneration(services.fs, root, model, generation);
  out << "model: " << static_cast<int>(model) << " (" << ModelName(model) << ")\n"
      << "generation: " << static_cast<int>(generation) << "\n"
      << "versionFile2Found: " << versionFile2Found << "\n"
      << "btUpdateNeeded: " << btUpdateNeeded << "\n"
      << "btUpdateOverUsb: " << btUpdateOverUsb << "\n";
  if (!found) return Failure(err, kNoVersionFileText + root);
  return kToolSuccess;
}

int ListDrives(const ParsedArgs& parsed, ToolServices& services, std::ostream& out,
               std::ostream& err) {
  if (!parsed.positional.empty()) return UsageError(err, "list-drives takes no arguments");
  const auto root = parsed.options.find("--root");
  const std::string snapshotRoot = root != parsed.options.end() ? root->second : std::string();
  if (root != parsed.options.end() && snapshotRoot.empty()) {
    return UsageError(err, "--root needs a folder");
  }
  std::unique_ptr<VolumeSource> volumes = services.makeVolumes(snapshotRoot);
  if (!volumes) return Failure(err, "the mounted volumes cannot be listed");
  PrintVolumes(*volumes, out);
  return kToolSuccess;
}

}  // namespace

void PrintVolumes(VolumeSource& volumes, std::ostream& out) {
  const std::vector<Volume> list = volumes.ListVolumes();
  if (list.empty()) out << "no mounted volumes\n";
  for (const Volume& volume : list) {
    out << volume.root << "\t" << (volume.removable ? "removable" : "fixed") << "\t";
    if (volume.label.has_value()) {
      out << "\"" << *volume.label << "\"\n";
    } else {
      out << "(no label)\n";
    }
  }
  StaticVolumeSource same(list);
  std::string device;
  if (FindDeviceDrive(same, device)) {
    out << "device drive: " << device << "\n";
  } else {
    out << "device drive: none\n";
  }
}

int RunTool(const std::vector<std::string>& args, ToolServices& services, std::ostream& out,
            std::ostream& err) {
  if (args.empty()) return UsageError(err, "no command given");
  const std::string& command = args[0];
  if (command == "--help" || command == "-h") {
    out << kHelpText;
    return kToolSuccess;
  }
  if (command == "--version") {
    out << kToolVersionText << "\n";
    return kToolSuccess;
  }

  const std::map<std::string, std::set<std::string>> valueOptions = {
      {"write-version", {"--target", "--bt"}}, {"read-version", {}},        {"check-package", {}},
      {"inspect-device", {"--bt-version"}},    {"list-drives", {"--root"}},
  };
  const auto known = valueOptions.find(command);
  if (known == valueOptions.end()) return UsageError(err, "unknown command '" + command + "'");
  ParsedArgs parsed;
  const std::string wrong = ParseCommandArgs(args, known->second, parsed);
  if (!wrong.empty()) return UsageError(err, wrong);

  if (command == "write-version") return WriteVersion(parsed, services, err);
  if (command == "read-version") return ReadVersion(parsed, services, out, err);
  if (command == "check-package") return CheckPackage(parsed, services, out, err);
  if (command == "inspect-device") return InspectDevice(parsed, services, out, err);
  return ListDrives(parsed, services, out, err);
}

}  // namespace vantel3
