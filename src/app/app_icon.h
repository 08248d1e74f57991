// The application's icon, drawn in code: a 256 × 256 image in 32-bit colour.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace vantel3 {

[[nodiscard]] QPixmap MakeAppIconPixmap(int size = 256);
[[nodiscard]] QIcon MakeAppIcon();

}  // namespace vantel3
