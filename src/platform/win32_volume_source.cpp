#include "platform/win32_volume_source.h"

#include <windows.h>

#include <string>

#include "platform/win32_text.h"

namespace vantel3 {

std::vector<Volume> Win32VolumeSource::ListVolumes() {
  std::vector<Volume> volumes;
  std::wstring buffer(512, L'\0');
  DWORD n = ::GetLogicalDriveStringsW(static_cast<DWORD>(buffer.size()), buffer.data());
  if (n > buffer.size()) {
    buffer.resize(n);
    n = ::GetLogicalDriveStringsW(static_cast<DWORD>(buffer.size()), buffer.data());
  }
  if (n == 0 || n > buffer.size()) return volumes;
  // Asking an empty drive for its label must not pop up "There is no disk in the drive".
  const UINT oldMode = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  for (const wchar_t* root = buffer.c_str(); *root != L'\0'; root += ::wcslen(root) + 1) {
    Volume volume;
    volume.root = Narrow(root);
    volume.removable = ::GetDriveTypeW(root) == DRIVE_REMOVABLE;
    wchar_t label[MAX_PATH + 1] = {};
    if (::GetVolumeInformationW(root, label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0)) {
      volume.label = Narrow(label);
    }
    volumes.push_back(std::move(volume));
  }
  ::SetErrorMode(oldMode);
  return volumes;
}

}  // namespace vantel3
