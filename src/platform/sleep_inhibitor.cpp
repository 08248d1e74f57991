#include "platform/sleep_inhibitor.h"

#if defined(VANTEL3_HAVE_LOGIND)
#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>
#endif

namespace vantel3 {

namespace {

#if defined(VANTEL3_HAVE_LOGIND)
// What logind shows to the user (`systemd-inhibit --list`, a desktop's "suspend anyway?"
// prompt) and what the lock holds off.
constexpr const char* kInhibitWhat = "sleep:idle";
constexpr const char* kInhibitWho = "Vantel3 Update tool";
constexpr const char* kInhibitWhy = "A Vantel 3 device is being updated";
constexpr const char* kInhibitMode = "block";

constexpr const char* kLogindService = "org.freedesktop.login1";
constexpr const char* kLogindPath = "/org/freedesktop/login1";
constexpr const char* kLogindManager = "org.freedesktop.login1.Manager";

// A bus that does not answer must not hold up the update for long.
constexpr uint64_t kCallTimeoutUs = 5'000'000;

// Connects to the bus at `address` (empty: the system bus). Returns the connection, or null.
sd_bus* OpenBus(const std::string& address) {
  sd_bus* bus = nullptr;
  if (address.empty()) {
    return sd_bus_open_system(&bus) < 0 ? nullptr : bus;
  }
  if (sd_bus_new(&bus) < 0) return nullptr;
  if (sd_bus_set_address(bus, address.c_str()) < 0 || sd_bus_set_bus_client(bus, 1) < 0 ||
      sd_bus_start(bus) < 0) {
    sd_bus_unref(bus);
    return nullptr;
  }
  return bus;
}

// Asks logind for the lock. Returns a descriptor of our own (close it to end the lock), or -1.
int InhibitThroughLogind(const std::string& address) {
  sd_bus* bus = OpenBus(address);
  if (bus == nullptr) return -1;
  int fd = -1;
  sd_bus_message* call = nullptr;
  sd_bus_message* reply = nullptr;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  if (sd_bus_message_new_method_call(bus, &call, kLogindService, kLogindPath, kLogindManager,
                                     "Inhibit") >= 0 &&
      sd_bus_message_append(call, "ssss", kInhibitWhat, kInhibitWho, kInhibitWhy, kInhibitMode) >=
          0 &&
      sd_bus_call(bus, call, kCallTimeoutUs, &error, &reply) >= 0) {
    int replyFd = -1;
    // The descriptor belongs to the reply and closes with it; the lock needs one that lives on.
    if (sd_bus_message_read(reply, "h", &replyFd) >= 0 && replyFd >= 0) {
      fd = fcntl(replyFd, F_DUPFD_CLOEXEC, 3);
    }
  }
  sd_bus_error_free(&error);
  sd_bus_message_unref(reply);
  sd_bus_message_unref(call);
  sd_bus_flush_close_unref(bus);
  return fd;
}
#endif

}  // namespace

LogindSleepInhibitor::LogindSleepInhibitor(std::string busAddress)
    : busAddress_(std::move(busAddress)) {}

LogindSleepInhibitor::~LogindSleepInhibitor() {
#if defined(VANTEL3_HAVE_LOGIND)
  if (fd_ >= 0) close(fd_);
#endif
}

int LogindSleepInhibitor::Acquire() {
#if defined(VANTEL3_HAVE_LOGIND)
  if (fd_ < 0) {
    fd_ = InhibitThroughLogind(busAddress_);
    if (fd_ < 0) return 0;
  }
  ++holders_;
  return 1;
#else
  return 0;
#endif
}

void LogindSleepInhibitor::Release() {
#if defined(VANTEL3_HAVE_LOGIND)
  if (holders_ == 0) return;
  if (--holders_ == 0) {
    close(fd_);
    fd_ = -1;
  }
#endif
}

std::unique_ptr<SleepInhibitor> MakeSystemSleepInhibitor() {
#if defined(VANTEL3_HAVE_LOGIND)
  return std::make_unique<LogindSleepInhibitor>();
#else
  return std::make_unique<NoSleepInhibitor>();
#endif
}

}  // namespace vantel3
