#include "app/about_dlg.h"

#include "app/app_icon.h"
#include "ui/ui_texts.h"

namespace vantel3 {

namespace {

QRect ToQRect(const DluRect& dlu, const DialogBaseUnits& units) {
  const PixelRect r = DluRectToPixels(dlu.x, dlu.y, dlu.width, dlu.height, units);
  return QRect(r.left, r.top, r.width(), r.height());
}

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent, const QFont& dialogFont, const DialogBaseUnits& units)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      icon_(new QLabel(this)),
      text_(new QLabel(this)),
      ok_(new QPushButton(this)) {
  setFont(dialogFont);
  setWindowTitle(QString::fromUtf8(ui_text::kAboutTitle));
  setFixedSize(DluToPixelsX(kAboutDialogDlu.width, units),
               DluToPixelsY(kAboutDialogDlu.height, units));

  const QRect iconRect = ToQRect(kAboutIconDlu, units);
  icon_->setGeometry(iconRect);
  icon_->setPixmap(MakeAppIconPixmap(256).scaled(iconRect.size(), Qt::KeepAspectRatio,
                                                 Qt::SmoothTransformation));
  icon_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  icon_->setAccessibleName(QString::fromUtf8(ui_text::kAboutIconName));

  // Plain text: an ampersand shows as typed.
  text_->setTextFormat(Qt::PlainText);
  text_->setText(QString::fromUtf8(ui_text::kAboutText));
  text_->setAccessibleName(text_->text());
  QRect textRect = ToQRect(kAboutTextDlu, units);
  // One line of the dialog font; the box's units leave no room below it.
  textRect.setHeight(std::max(textRect.height(), text_->sizeHint().height()));
  text_->setGeometry(textRect);

  ok_->setText(QString::fromUtf8(ui_text::kAboutOk));
  ok_->setGeometry(ToQRect(kAboutOkButtonDlu, units));
  ok_->setDefault(true);
  ok_->setAutoDefault(true);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  ok_->setFocus(Qt::OtherFocusReason);
}

}  // namespace vantel3
