#include "sim/sim_workspace.h"

#include <filesystem>
#include <utility>
#include <vector>

#include "dfu/dfu_binding.h"
#include "formats/package_version_file.h"
#include "platform/process.h"
#include "platform/system_services.h"

namespace vantel3 {

namespace {

// The scenario's name for the package's library, whatever the file is called on this system.
constexpr const char* kLibraryEntryName = "libhiddfu.so";
constexpr const char* kProgramFileName = "vantel3-updater";

bool Omitted(const Scenario& scenario, const char* name) {
  return scenario.package.omit.count(name) != 0;
}

// Image bytes: a header line naming the version, then filler so copies move real data.
std::string Image(const char* header, const std::string& version, char fill) {
  return header + version + "\n" + std::string(4096, fill);
}

// Small files in nested folders of each content folder.
struct PackageFile {
  const char* folder;
  const char* path;
  const char* content;
};
constexpr PackageFile kContentFiles[] = {
    {"locale", "en/messages.txt", "update=Update\n"},
    {"locale", "ko/messages.txt", "update=업데이트\n"},
    {"locale", "index.txt", "en ko\n"},
    {"brl", "tables/en-us-g2.ctb", "include en-us-g1.ctb\n"},
    {"brl", "tables/en-us-g1.ctb", "sign ! 235\n"},
    {"brl", "ko.tbl", "ko 1\n"},
    {"Daisy", "book1/ncc.html", "<html><title>Book 1</title></html>\n"},
    {"Daisy", "book1/audio/01.mp3", "ID3 chapter one"},
    {"Music", "samples/track01.mp3", "ID3 track one"},
};

constexpr FsOp kRuledOps[] = {
    FsOp::kStatus,     FsOp::kListDirectory, FsOp::kCreateDirectory, FsOp::kRemoveDirectory,
    FsOp::kRemoveFile, FsOp::kRename,        FsOp::kCopyFile,        FsOp::kReadFile,
    FsOp::kWriteFile,  FsOp::kFlushFile,     FsOp::kSyncFileSystem,
};

}  // namespace

SimWorkspace::SimWorkspace(const Scenario& scenario, Clock& clock, std::string root, bool keep)
    : scenario_(scenario),
      root_(std::move(root)),
      keep_(keep),
      nativeFs_(MakeNativeFileSystem()),
      device_(std::make_unique<SimulatedDevice>(scenario_, clock, *nativeFs_, root_)),
      simFs_(*nativeFs_, *device_),
      killFs_(simFs_, SimKillSwitchFromEnvironment()),
      faultFs_(killFs_),
      volumes_(*device_),
      programPath_(root_ + "/program/" + kProgramFileName) {
  device_->UseExfatDevices(SimExfatDevicesFromEnvironment());
  // A call refused by a rule never reaches the device's file system; the device still sees
  // the time move.
  faultFs_.SetHook([device = device_.get()](FsOp, const Path&) { device->Tick(); });
  for (const FileFault& fault : scenario_.faults.fileFaults) {
    const int count =
        fault.times ? static_cast<int>(*fault.times) : FaultInjectingFileSystem::kAlways;
    if (!fault.op) {
      for (FsOp op : kRuledOps) faultFs_.AddFault(op, fault.pathPattern, fault.error, count);
    } else {
      faultFs_.AddFault(*fault.op, fault.pathPattern, fault.error, count);
    }
  }
}

SimWorkspace::~SimWorkspace() {
  if (attach_ != nullptr) attach_(nullptr);
  // The device goes first: it unmounts drives that live on their own file systems.
  device_.reset();
  if (!keep_) {
    std::error_code ec;
    std::filesystem::remove_all(PathFromUtf8(root_), ec);
  }
}

std::unique_ptr<SimWorkspace> SimWorkspace::Create(const Scenario& scenario, Clock& clock,
                                                   const SimWorkspaceOptions& options,
                                                   std::string& error) {
  std::string root;
  const bool keep = !options.keepDir.empty();
  if (keep) {
    std::error_code ec;
    const Path dir =
        std::filesystem::absolute(PathFromUtf8(options.keepDir), ec).lexically_normal();
    if (!ec) std::filesystem::create_directories(dir, ec);
    if (ec) {
      error = options.keepDir + ": " + ec.message();
      return nullptr;
    }
    std::vector<DirEntry> entries;
    if (std::error_code lec = MakeNativeFileSystem()->ListDirectory(dir, entries);
        lec || !entries.empty()) {
      error = options.keepDir + (lec ? ": " + lec.message() : ": not empty");
      return nullptr;
    }
    root = dir.string();
    while (root.size() > 1 && (root.back() == '/' || root.back() == '\\')) root.pop_back();
  } else if (MakeTempFolder("vantel3-sim-", root, error) == 0) {
    return nullptr;
  }

  std::unique_ptr<SimWorkspace> workspace(new SimWorkspace(scenario, clock, root, keep));
  const std::string library = options.libraryPath.empty() ? FindSimLibrary() : options.libraryPath;
  if (!workspace->Build(library, error)) return nullptr;
  return workspace;
}

std::unique_ptr<SimWorkspace> SimWorkspace::Create(const Scenario& scenario, Clock& clock,
                                                   const std::string& keepDir, std::string& error) {
  SimWorkspaceOptions options;
  options.keepDir = keepDir;
  return Create(scenario, clock, options, error);
}

std::unique_ptr<SimWorkspace> SimWorkspace::Open(const std::string& dir, const Scenario& scenario,
                                                 Clock& clock, std::string& error) {
  std::error_code ec;
  const Path absolute = std::filesystem::absolute(PathFromUtf8(dir), ec).lexically_normal();
  if (ec) {
    error = dir + ": " + ec.message();
    return nullptr;
  }
  std::string root = absolute.string();
  while (root.size() > 1 && (root.back() == '/' || root.back() == '\\')) root.pop_back();
  std::unique_ptr<FileSystem> fs = MakeNativeFileSystem();
  for (const char* folder : {"/data", "/program", "/media", "/device"}) {
    EntryType type = EntryType::kOther;
    if (fs->Status(root + folder, type) || type != EntryType::kDirectory) {
      error = dir + ": not a simulation workspace (no folder " + (folder + 1) + ")";
      return nullptr;
    }
  }
  std::unique_ptr<SimWorkspace> workspace(new SimWorkspace(scenario, clock, root, true));
  if (!workspace->device_->Restart(error)) return nullptr;
  return workspace;
}

int SimWorkspace::Build(const std::string& libraryPath, std::string& error) {
  auto fail = [&](const std::string& path, std::error_code ec) {
    error = path + ": " + ec.message();
    return 0;
  };
  for (const char* folder : {"/data", "/program"}) {
    if (std::error_code ec = nativeFs_->CreateDirectory(root_ + folder)) {
      return fail(root_ + folder, ec);
    }
  }
  if (!WritePackage(libraryPath, error)) return 0;
  if (scenario_.program.faBinPresent) {
    if (std::error_code ec = nativeFs_->WriteFile(programMarkerPath(), std::string(1, '\x01'))) {
      return fail(programMarkerPath(), ec);
    }
  }
  return device_->Start(error);
}

int SimWorkspace::WritePackage(const std::string& libraryPath, std::string& error) {
  const PackageScenario& p = scenario_.package;
  const std::string data = packageDir();
  auto write = [&](const std::string& path, std::string_view bytes) {
    if (std::error_code ec = nativeFs_->WriteFile(path, bytes)) {
      error = path + ": " + ec.message();
      return false;
    }
    return true;
  };
  auto makeDirs = [&](const std::string& base, const std::string& relative) {
    for (std::size_t slash = relative.find('/'); slash != std::string::npos;
         slash = relative.find('/', slash + 1)) {
      const std::string dir = base + "/" + relative.substr(0, slash);
      if (std::error_code ec = nativeFs_->CreateDirectory(dir);
          ec && ec != std::errc::file_exists) {
        error = dir + ": " + ec.message();
        return false;
      }
    }
    return true;
  };

  if (!Omitted(scenario_, "version.bin")) {
    std::string bytes;
    if (EncodePackageVersionFile(p.targetVersion, p.btVersion, bytes) == 0) {
      error = "the package versions cannot be written to version.bin";
      return 0;
    }
    if (!write(data + "/version.bin", bytes)) return 0;
  }
  if (!Omitted(scenario_, "RU3R.bin") &&
      !write(data + "/RU3R.bin", Image(kSimFirmwareHeader, p.targetVersion, 'F'))) {
    return 0;
  }
  if (!Omitted(scenario_, "VO3Sboot.bin") &&
      !write(data + "/VO3Sboot.bin", Image(kSimBootLoaderHeader, p.targetVersion, 'B'))) {
    return 0;
  }
  if (!Omitted(scenario_, "firmware.dfu") &&
      !write(data + "/firmware.dfu",
             Image(kSimBluetoothHeader, p.firmwareDfuBtVersion.value_or(p.btVersion), 'D'))) {
    return 0;
  }
  for (const char* folder : {"locale", "brl", "Daisy", "Music"}) {
    if (Omitted(scenario_, folder)) continue;
    if (!makeDirs(data, std::string(folder) + "/")) return 0;
    for (const PackageFile& file : kContentFiles) {
      if (std::string_view(file.folder) != folder) continue;
      const std::string relative = std::string(folder) + "/" + file.path;
      if (!makeDirs(data, relative) || !write(data + "/" + relative, file.content)) return 0;
    }
  }
  if (!Omitted(scenario_, kLibraryEntryName)) {
    if (libraryPath.empty()) {
      error = std::string("the stand-in library ") + kDfuLibraryFileName +
              " was not found (build the target hiddfu, or set VANTEL3_SIM_LIBRARY)";
      return 0;
    }
    if (std::error_code ec = nativeFs_->CopyFile(libraryPath, this->libraryPath())) {
      error = libraryPath + ": " + ec.message();
      return 0;
    }
  }
  return 1;
}

std::string SimWorkspace::libraryPath() const {
  return packageDir() + "/" + kDfuLibraryFileName;
}

int SimWorkspace::AttachToLibrary(LibraryLoader& loader, void* module) {
  if (module == nullptr) return 0;
  auto attach =
      reinterpret_cast<Vantel3SimAttachFn>(loader.Symbol(module, VANTEL3_SIM_ATTACH_EXPORT));
  if (attach == nullptr) return 0;
  if (attach_ != nullptr && attach_ != attach) attach_(nullptr);
  attach_ = attach;
  attach_(&device_->DfuEndpoint());
  return 1;
}

}  // namespace vantel3
