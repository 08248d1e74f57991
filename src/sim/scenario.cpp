#include "sim/scenario.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <functional>
#include <utility>

namespace vantel3 {

namespace {

using nlohmann::json;

constexpr std::size_t kMaxScenarioBytes = 1024 * 1024;

// Thrown inside this unit only; ParseScenario turns it into its error text.
struct ScenarioError {
  std::string message;
};

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
  throw ScenarioError{where + ": " + what};
}

// One JSON object whose keys must all be known: each reader takes its key, and Finish()
// rejects whatever is left, so a misspelt knob is an error rather than silently ignored.
class ObjectReader {
 public:
  ObjectReader(const json& value, std::string where) : value_(value), where_(std::move(where)) {
    if (!value_.is_object()) Fail(where_, "must be an object");
    for (auto it = value_.begin(); it != value_.end(); ++it) unread_.push_back(it.key());
  }

  const json* Take(const char* key) {
    auto it = std::find(unread_.begin(), unread_.end(), key);
    if (it == unread_.end()) return nullptr;
    unread_.erase(it);
    return &value_.at(key);
  }
  std::string Where(const char* key) const { return where_ + "." + key; }

  void String(const char* key, std::string& out) {
    if (const json* v = Take(key)) out = AsString(*v, Where(key));
  }
  void OptionalString(const char* key, std::optional<std::string>& out) {
    if (const json* v = Take(key)) {
      if (v->is_null()) {
        out.reset();
      } else {
        out = AsString(*v, Where(key));
      }
    }
  }
  void Bool(const char* key, bool& out) {
    if (const json* v = Take(key)) {
      if (!v->is_boolean()) Fail(Where(key), "must be true or false");
      out = v->get<bool>();
    }
  }
  void Ms(const char* key, uint32_t& out) {
    if (const json* v = Take(key)) out = AsMs(*v, Where(key));
  }
  // A number, or null for "never".
  void MsOrNever(const char* key, std::optional<uint32_t>& out) {
    if (const json* v = Take(key)) {
      if (v->is_null()) {
        out.reset();
      } else {
        out = AsMs(*v, Where(key));
      }
    }
  }
  void Finish() const {
    if (!unread_.empty()) Fail(where_, "unknown key \"" + unread_.front() + "\"");
  }

  static std::string AsString(const json& v, const std::string& where) {
    if (!v.is_string()) Fail(where, "must be a string");
    return v.get<std::string>();
  }
  static uint32_t AsMs(const json& v, const std::string& where) {
    if (!v.is_number_integer()) Fail(where, "must be a whole number");
    if (v.is_number_unsigned()) {
      const auto n = v.get<uint64_t>();
      if (n <= UINT32_MAX) return static_cast<uint32_t>(n);
    }
    Fail(where, "must be between 0 and 4294967295");
  }

 private:
  const json& value_;
  std::string where_;
  std::vector<std::string> unread_;
};

template <typename T, std::size_t N>
T Choose(const json& v, const std::string& where,
         const std::array<std::pair<const char*, T>, N>& choices) {
  const std::string text = ObjectReader::AsString(v, where);
  std::string allowed;
  for (const auto& [name, value] : choices) {
    if (text == name) return value;
    allowed += allowed.empty() ? "" : ", ";
    allowed += name;
  }
  Fail(where, "\"" + text + "\" is not one of " + allowed);
}

const std::array<std::pair<const char*, std::errc>, 9> kErrorNames = {{
    {"permission_denied", std::errc::permission_denied},
    {"device_or_resource_busy", std::errc::device_or_resource_busy},
    {"read_only_file_system", std::errc::read_only_file_system},
    {"no_such_file_or_directory", std::errc::no_such_file_or_directory},
    {"io_error", std::errc::io_error},
    {"no_space_on_device", std::errc::no_space_on_device},
    {"file_exists", std::errc::file_exists},
    {"directory_not_empty", std::errc::directory_not_empty},
    {"no_such_device", std::errc::no_such_device},
}};

std::error_code ErrorCode(const json& v, const std::string& where) {
  return std::make_error_code(Choose(v, where, kErrorNames));
}

const std::array<std::pair<const char*, std::optional<FsOp>>, 13> kOpNames = {{
    {"any", std::nullopt},
    {"status", FsOp::kStatus},
    {"list_directory", FsOp::kListDirectory},
    {"create_directory", FsOp::kCreateDirectory},
    {"remove_directory", FsOp::kRemoveDirectory},
    {"remove_file", FsOp::kRemoveFile},
    {"rename", FsOp::kRename},
    {"copy_file", FsOp::kCopyFile},
    {"read_file", FsOp::kReadFile},
    {"write_file", FsOp::kWriteFile},
    {"flush_file", FsOp::kFlushFile},
    {"sync_file_system", FsOp::kSyncFileSystem},
    {"open_for_reading", FsOp::kOpenForReading},
}};

const std::array<std::pair<const char*, SimDrive>, 2> kDriveNames = {{
    {"sd0", SimDrive::kSd0},
    {"sd1", SimDrive::kSd1},
}};

const std::array<std::pair<const char*, std::string>, 6> kVersionFileNames = {{
    {"vo3_ver2", "vo3_ver2"},
    {"ru3r_ver2", "ru3r_ver2"},
    {"vo3_ver", "vo3_ver"},
    {"ru3r_ver", "ru3r_ver"},
    {"vt_ver", "vt_ver"},
    {"none", ""},
}};

void ParseFiles(const json& v, const std::string& where, std::map<std::string, std::string>& out) {
  if (!v.is_object()) Fail(where, "must be an object of path: content");
  out.clear();
  for (auto it = v.begin(); it != v.end(); ++it) {
    const std::string& path = it.key();
    // Relative, without "..": the files stay on their drive.
    if (path.empty() || path.front() == '/' || path.back() == '/' ||
        ("/" + path + "/").find("/../") != std::string::npos) {
      Fail(where, "\"" + path + "\" is not a relative path on the drive");
    }
    out[path] = ObjectReader::AsString(it.value(), where + "." + path);
  }
}

void ParseDevice(const json& v, DeviceScenario& d) {
  ObjectReader r(v, "device");
  if (const json* f = r.Take("versionFile")) {
    d.versionFile = Choose(*f, r.Where("versionFile"), kVersionFileNames);
  }
  r.String("fw", d.fw);
  r.String("bt", d.bt);
  r.String("df", d.df);
  r.OptionalString("versionText", d.versionText);
  r.String("label", d.label);
  r.OptionalString("sd1Label", d.sd1Label);
  r.Bool("removable", d.removable);
  if (const json* m = r.Take("startMode")) {
    d.startMode = Choose(*m, r.Where("startMode"),
                         std::array<std::pair<const char*, StartMode>, 2>{{
                             {"normal", StartMode::kNormal},
                             {"firmware_upgrade", StartMode::kFirmwareUpgrade},
                         }});
  }
  r.MsOrNever("sd0AppearsAtMs", d.sd0AppearsAtMs);
  r.Bool("sameRoot", d.sameRoot);
  if (const json* f = r.Take("sd0Files")) ParseFiles(*f, r.Where("sd0Files"), d.sd0Files);
  if (const json* f = r.Take("sd1Files")) ParseFiles(*f, r.Where("sd1Files"), d.sd1Files);
  if (const json* list = r.Take("extraVolumes")) {
    const std::string where = r.Where("extraVolumes");
    if (!list->is_array()) Fail(where, "must be a list");
    d.extraVolumes.clear();
    for (std::size_t i = 0; i < list->size(); ++i) {
      ObjectReader e((*list)[i], where + "[" + std::to_string(i) + "]");
      ExtraVolume volume;
      e.String("name", volume.name);
      e.OptionalString("label", volume.label);
      e.Bool("removable", volume.removable);
      e.Finish();
      if (volume.name.empty() || volume.name.find('/') != std::string::npos || volume.name == "." ||
          volume.name == "..") {
        Fail(e.Where("name"), "must be a plain folder name");
      }
      d.extraVolumes.push_back(std::move(volume));
    }
  }
  r.Finish();
  for (const std::string* label : {&d.label, d.sd1Label ? &*d.sd1Label : nullptr}) {
    if (label != nullptr && (label->empty() || label->find('/') != std::string::npos ||
                             *label == "." || *label == "..")) {
      Fail("device", "a label must be a plain folder name (it names the mount point)");
    }
  }
}

void ParseTiming(const json& v, DeviceTiming& t) {
  ObjectReader r(v, "timing");
  r.MsOrNever("restartDelayMs", t.restartDelayMs);
  r.Ms("rebootDelayMs", t.rebootDelayMs);
  r.MsOrNever("sd0CloseDelayMs", t.sd0CloseDelayMs);
  r.MsOrNever("sd1OpenDelayMs", t.sd1OpenDelayMs);
  r.MsOrNever("sd1WritableDelayMs", t.sd1WritableDelayMs);
  r.Ms("sd1CloseDelayMs", t.sd1CloseDelayMs);
  r.MsOrNever("dfuAppearsDelayMs", t.dfuAppearsDelayMs);
  r.Ms("selfUpdateMs", t.selfUpdateMs);
  r.Ms("dfuRebootDelayMs", t.dfuRebootDelayMs);
  r.Ms("dfuProgressPerSecond", t.dfuProgressPerSecond);
  r.Finish();
  if (t.dfuProgressPerSecond < 1 || t.dfuProgressPerSecond > 100) {
    Fail("timing.dfuProgressPerSecond", "must be between 1 and 100");
  }
}

void ParseFaults(const json& v, DeviceFaults& f) {
  ObjectReader r(v, "faults");
  r.Bool("staysFirstGeneration", f.staysFirstGeneration);
  if (const json* e = r.Take("sd1ReadOnlyError")) {
    f.sd1ReadOnlyError = ErrorCode(*e, r.Where("sd1ReadOnlyError"));
  }
  r.Bool("dfuStartFails", f.dfuStartFails);
  r.Bool("dfuResultFails", f.dfuResultFails);
  r.Bool("dfuDisconnectFails", f.dfuDisconnectFails);
  r.MsOrNever("dfuProgressStuckAt", f.dfuProgressStuckAt);
  if (f.dfuProgressStuckAt && *f.dfuProgressStuckAt > 99) {
    Fail(r.Where("dfuProgressStuckAt"), "must be between 0 and 99, or null");
  }
  if (const json* s = r.Take("dfuProgressStyle")) {
    f.dfuProgressStyle = Choose(*s, r.Where("dfuProgressStyle"),
                                std::array<std::pair<const char*, ProgressStyle>, 4>{{
                                    {"plain", ProgressStyle::kPlain},
                                    {"high_bits", ProgressStyle::kHighBits},
                                    {"jumps", ProgressStyle::kJumps},
                                    {"overshoot", ProgressStyle::kOvershoot},
                                }});
  }
  r.Bool("sd0AfterRestore", f.sd0AfterRestore);
  if (const json* m = r.Take("vanishMidCopy")) {
    if (m->is_null()) {
      f.vanishMidCopy.reset();
    } else {
      ObjectReader mr(*m, r.Where("vanishMidCopy"));
      VanishMidCopy vanish;
      if (const json* d = mr.Take("drive"))
        vanish.drive = Choose(*d, mr.Where("drive"), kDriveNames);
      mr.Ms("afterCopies", vanish.afterCopies);
      mr.MsOrNever("returnsAfterMs", vanish.returnsAfterMs);
      mr.Finish();
      if (vanish.afterCopies < 1) Fail(mr.Where("afterCopies"), "must be at least 1");
      f.vanishMidCopy = vanish;
    }
  }
  if (const json* list = r.Take("fileFaults")) {
    const std::string where = r.Where("fileFaults");
    if (!list->is_array()) Fail(where, "must be a list");
    f.fileFaults.clear();
    for (std::size_t i = 0; i < list->size(); ++i) {
      ObjectReader fr((*list)[i], where + "[" + std::to_string(i) + "]");
      FileFault fault;
      if (const json* op = fr.Take("op")) fault.op = Choose(*op, fr.Where("op"), kOpNames);
      fr.String("path", fault.pathPattern);
      fr.MsOrNever("times", fault.times);
      if (fault.times && *fault.times == 0) Fail(fr.Where("times"), "must be at least 1, or null");
      if (fault.times && *fault.times > INT32_MAX) Fail(fr.Where("times"), "is too large");
      if (const json* e = fr.Take("error")) fault.error = ErrorCode(*e, fr.Where("error"));
      fr.Finish();
      f.fileFaults.push_back(std::move(fault));
    }
  }
  if (const json* list = r.Take("corruptCopies")) {
    const std::string where = r.Where("corruptCopies");
    if (!list->is_array()) Fail(where, "must be a list");
    f.corruptCopies.clear();
    for (std::size_t i = 0; i < list->size(); ++i) {
      ObjectReader cr((*list)[i], where + "[" + std::to_string(i) + "]");
      CopyCorruption corruption;
      cr.String("path", corruption.pathPattern);
      cr.Ms("offset", corruption.offset);
      cr.MsOrNever("times", corruption.times);
      if (corruption.times && *corruption.times == 0) {
        Fail(cr.Where("times"), "must be at least 1, or null");
      }
      if (corruption.times && *corruption.times > INT32_MAX)
        Fail(cr.Where("times"), "is too large");
      cr.Finish();
      f.corruptCopies.push_back(std::move(corruption));
    }
  }
  r.Finish();
}

void ParsePackage(const json& v, PackageScenario& p) {
  ObjectReader r(v, "package");
  r.String("targetVersion", p.targetVersion);
  r.String("btVersion", p.btVersion);
  r.OptionalString("firmwareDfuBtVersion", p.firmwareDfuBtVersion);
  if (const json* list = r.Take("omit")) {
    const std::string where = r.Where("omit");
    if (!list->is_array()) Fail(where, "must be a list");
    p.omit.clear();
    for (const json& entry : *list) {
      const std::string name = ObjectReader::AsString(entry, where);
      const auto* known = std::find_if(std::begin(kPackageEntryNames), std::end(kPackageEntryNames),
                                       [&](const char* n) { return name == n; });
      if (known == std::end(kPackageEntryNames)) {
        Fail(where, "\"" + name + "\" is not a package entry");
      }
      p.omit.insert(name);
    }
  }
  r.Finish();
  for (const std::string* version : {&p.targetVersion, &p.btVersion}) {
    if (version->find_first_of("\r\n") != std::string::npos) {
      Fail("package", "a version must not hold a line break");
    }
  }
}

void ParseUser(const json& v, SimulatedUser& u) {
  ObjectReader r(v, "user");
  r.MsOrNever("nextAfterMs", u.nextAfterMs);
  if (const json* list = r.Take("endAnswers")) {
    const std::string where = r.Where("endAnswers");
    if (!list->is_array()) Fail(where, "must be a list");
    u.endAnswers.clear();
    for (const json& answer : *list) {
      u.endAnswers.push_back(Choose(answer, where,
                                    std::array<std::pair<const char*, EndAnswer>, 2>{{
                                        {"retry", EndAnswer::kRetry},
                                        {"exit", EndAnswer::kExit},
                                    }}));
    }
  }
  r.Finish();
}

}  // namespace

int ParseScenario(std::string_view text, Scenario& out, std::string& error) {
  try {
    const json document = json::parse(text.begin(), text.end());
    Scenario scenario;
    ObjectReader r(document, "scenario");
    r.String("description", scenario.description);
    if (const json* v = r.Take("device")) ParseDevice(*v, scenario.device);
    if (const json* v = r.Take("timing")) ParseTiming(*v, scenario.timing);
    if (const json* v = r.Take("faults")) ParseFaults(*v, scenario.faults);
    if (const json* v = r.Take("package")) ParsePackage(*v, scenario.package);
    if (const json* v = r.Take("program")) {
      ObjectReader pr(*v, "program");
      pr.Bool("faBinPresent", scenario.program.faBinPresent);
      pr.Finish();
    }
    if (const json* v = r.Take("user")) ParseUser(*v, scenario.user);
    r.Finish();
    out = std::move(scenario);
    return 1;
  } catch (const ScenarioError& e) {
    error = e.message;
  } catch (const json::exception& e) {
    error = std::string("not a valid scenario document: ") + e.what();
  } catch (const std::exception& e) {
    error = e.what();
  }
  return 0;
}

int LoadScenarioFile(FileSystem& fs, const Path& path, Scenario& out, std::string& error) {
  std::string text;
  if (const std::error_code ec = fs.ReadFile(path, kMaxScenarioBytes + 1, text)) {
    error = path.string() + ": " + ec.message();
    return 0;
  }
  if (text.size() > kMaxScenarioBytes) {
    error = path.string() + ": larger than 1 MiB";
    return 0;
  }
  if (ParseScenario(text, out, error) == 0) {
    error = path.string() + ": " + error;
    return 0;
  }
  return 1;
}

}  // namespace vantel3
