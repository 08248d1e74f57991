// A firmware-upgrade library for tests, behind the same DfuApi table the updater binds:
// whether a device answers, what each call returns, and a script of progress values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dfu/dfu_api.h"

namespace vantel3::testing {

struct FakeDfu {
  bool present = false;
  int32_t upgradeResult = 0;
  // Returned by successive progress polls; the last value repeats.
  std::vector<int32_t> progress = {100};
  int32_t result = 0;
  int32_t disconnectResult = 0;

  int connects = 0;
  int disconnects = 0;
  int upgrades = 0;
  int progressPolls = 0;
  int results = 0;
  std::string imagePath;

  // The table pointing at this fake; only one fake is live at a time.
  DfuApi Bind();
  ~FakeDfu();
};

}  // namespace vantel3::testing
