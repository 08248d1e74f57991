// The drives of a Windows machine as the updater sees them: every logical drive in letter
// order (GetLogicalDriveStringsW), removable when GetDriveTypeW says DRIVE_REMOVABLE, with
// the label of GetVolumeInformationW; roots are "E:\". Windows only.
#pragma once

#include "platform/volume_source.h"

namespace vantel3 {

class Win32VolumeSource final : public VolumeSource {
 public:
  // A drive without a medium (an empty card reader) has no label; no error box is shown.
  std::vector<Volume> ListVolumes() override;
};

}  // namespace vantel3
