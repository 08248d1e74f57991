#include "app/app_icon.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace vantel3 {

QPixmap MakeAppIconPixmap(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const qreal s = size;

  // A rounded blue tile.
  QLinearGradient gradient(0, 0, 0, s);
  gradient.setColorAt(0, QColor(0x1e, 0x88, 0xe5));
  gradient.setColorAt(1, QColor(0x0d, 0x47, 0xa1));
  QPainterPath tile;
  tile.addRoundedRect(QRectF(s * 0.04, s * 0.04, s * 0.92, s * 0.92), s * 0.18, s * 0.18);
  painter.fillPath(tile, gradient);

  // "V3" in white on the upper part.
  QFont font(QStringLiteral("Sans Serif"));
  font.setBold(true);
  font.setPixelSize(static_cast<int>(s * 0.40));
  painter.setFont(font);
  painter.setPen(Qt::white);
  painter.drawText(QRectF(0, s * 0.10, s, s * 0.50), Qt::AlignCenter, QStringLiteral("V3"));

  // A downward arrow onto a bar: an update being written to the device.
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0xff, 0xc1, 0x07));
  painter.drawRect(QRectF(s * 0.44, s * 0.58, s * 0.12, s * 0.12));
  QPolygonF head;
  head << QPointF(s * 0.32, s * 0.68) << QPointF(s * 0.68, s * 0.68) << QPointF(s * 0.50, s * 0.82);
  painter.drawPolygon(head);
  painter.setBrush(Qt::white);
  painter.drawRoundedRect(QRectF(s * 0.26, s * 0.85, s * 0.48, s * 0.05), s * 0.02, s * 0.02);
  return pixmap;
}

QIcon MakeAppIcon() {
  return QIcon(MakeAppIconPixmap(256));
}

}  // namespace vantel3
