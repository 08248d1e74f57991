#include "ui/step_views.h"

#include <cmath>

#include <QColor>
#include <QFontDatabase>
#include <QPalette>

#include "ui/ui_texts.h"

namespace vantel3 {

namespace {

// Contrast of a colour against white, as accessibility guidelines measure it (1 to 21).
double ContrastOnWhite(const QColor& color) {
  auto linear = [](double c) {
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  const double luminance = 0.2126 * linear(color.redF()) + 0.7152 * linear(color.greenF()) +
                           0.0722 * linear(color.blueF());
  return 1.05 / (luminance + 0.05);
}

// The views are white whatever the desktop's colours; under a dark or high-contrast theme the
// theme's light text colour would vanish on that white, so text with too little contrast
// there (below 4.5:1) turns black.
void KeepTextReadableOnWhite(QPalette& palette) {
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text}) {
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
      if (ContrastOnWhite(palette.color(group, role)) < 4.5) {
        palette.setColor(group, role, group == QPalette::Disabled ? Qt::darkGray : Qt::black);
      }
    }
  }
}

void MakeWhite(QWidget* widget) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, Qt::white);
  KeepTextReadableOnWhite(palette);
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

QRect ToQRect(const PixelRect& rect) {
  return QRect(rect.left, rect.top, rect.width(), rect.height());
}

}  // namespace

QString ChooseMessageFontFamily(const QStringList& installed) {
  for (const char* name : {ui_text::kMessageFontFamily, ui_text::kMessageFontFamilyLatinName}) {
    const QString family = QString::fromUtf8(name);
    if (installed.contains(family, Qt::CaseInsensitive)) return family;
  }
  return QString::fromUtf8(ui_text::kMessageFontFallback);
}

QFont MakeMessageFont(const QString& family, int points, int dpi) {
  QFont font(family);
  font.setPixelSize(FontPixelHeight(points, dpi));
  return font;
}

CStepView::CStepView(ViewId id, QWidget* parent)
    : QWidget(parent), id_(id), messageLabel_(new QLabel(this)) {
  MakeWhite(this);
  messageLabel_->setTextFormat(Qt::PlainText);
  messageLabel_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  messageLabel_->setWordWrap(true);
  messageLabel_->setFocusPolicy(Qt::StrongFocus);
  QPalette palette = messageLabel_->palette();
  palette.setColor(QPalette::Window, Qt::white);
  palette.setColor(QPalette::Base, Qt::white);
  KeepTextReadableOnWhite(palette);
  messageLabel_->setPalette(palette);
}

void CStepView::OnInitialUpdate(int dpiY, const DialogBaseUnits& units) {
  font_ = MakeMessageFont(ChooseMessageFontFamily(QFontDatabase::families()), ViewFontPoints(id_),
                          dpiY > 0 ? dpiY : 96);
  messageLabel_->setFont(font_);
  InitSecondControl();
  const ViewLayout layout = LayoutView(id_, width(), height(), units);
  laidOutLabel_ = layout.label;
  laidOutSecond_ = layout.second;
  messageLabel_->setGeometry(ToQRect(layout.label));
  if (id_ != ViewId::kMain && secondControl() != nullptr) {
    secondControl()->setGeometry(ToQRect(layout.second));
  }
}

void CStepView::SetMessageText(const QString& text) {
  messageLabel_->setText(text);
  messageLabel_->setAccessibleName(text);
  const int textHeight = text.isEmpty() ? 0 : messageLabel_->heightForWidth(laidOutLabel_.width());
  messageLabel_->setGeometry(ToQRect(FitLabelToText(laidOutLabel_, textHeight)));
  OnLabelFitted();
  if (isVisible()) FocusLabel();
}

void CStepView::FocusLabel() {
  if (id_ != ViewId::kMain && isVisible()) messageLabel_->setFocus(Qt::OtherFocusReason);
}

CMainView::CMainView(QWidget* parent)
    : CStepView(ViewId::kMain, parent), nextButton_(new QPushButton(this)) {
  nextButton_->setText(QString::fromUtf8(ui_text::kNextTemplateText));
  connect(nextButton_, &QPushButton::clicked, this, &CMainView::OnNextClicked);
}

void CMainView::InitSecondControl() {
  nextButton_->setFont(messageFont());
  // The update run places, labels and shows the button when it wants the click.
  nextButton_->hide();
}

void CMainView::OnNextClicked() {
  if (nextPressed_ != nullptr) nextPressed_->store(1);
  nextButton_->setEnabled(false);
  nextButton_->hide();
}

CProgressView::CProgressView(ViewId id, QWidget* parent)
    : CStepView(id, parent), progressBar_(new QProgressBar(this)) {
  progressBar_->setRange(0, 100);
  progressBar_->setTextVisible(false);
  progressBar_->setFocusPolicy(Qt::StrongFocus);
}

void CProgressView::InitSecondControl() {
  progressBar_->setValue(0);
}

void CProgressView::OnLabelFitted() {
  const QRect label = messageLabel()->geometry();
  const PixelRect labelRect{label.left(), label.top(), label.left() + label.width(),
                            label.top() + label.height()};
  progressBar_->setGeometry(ToQRect(BarBelowLabel(laidOutSecond(), labelRect)));
}

void CProgressView::OnUpdateProgress(int percent) {
  progressBar_->setValue(ClampProgress(percent));
}

CRestoreView::CRestoreView(QWidget* parent) : CProgressView(ViewId::kRestore, parent) {
  progressBar()->setAccessibleName(QString::fromUtf8(ui_text::kRestoreProgressName));
}

CUpdateView::CUpdateView(QWidget* parent) : CProgressView(ViewId::kUpdate, parent) {
  progressBar()->setAccessibleName(QString::fromUtf8(ui_text::kUpdateProgressName));
}

CCheckView::CCheckView(QWidget* parent) : CStepView(ViewId::kCheck, parent) {}

CEndView::CEndView(QWidget* parent)
    : CStepView(ViewId::kEnd, parent), endButton_(new QPushButton(this)) {
  connect(endButton_, &QPushButton::clicked, this, &CEndView::OnEndButtonClicked);
}

void CEndView::InitSecondControl() {
  endButton_->setFont(messageFont());
}

void CEndView::SetButtonText(const QString& text) {
  endButton_->setText(text);
}

void CEndView::OnEndButtonClicked() {
  endButton_->setFocus(Qt::OtherFocusReason);
  if (buttonAction_) {
    // The action may re-arm the view; run a copy.
    const std::function<void()> action = buttonAction_;
    action();
  }
}

}  // namespace vantel3
