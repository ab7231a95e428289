// The progress window of the COM-port search.
#include "vexq4/control/progress.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

CProgress::CProgress(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Progress (64 %)"));
  setObjectName(QStringLiteral("progress"));
  text_ = new QLabel(this);
  text_->setMinimumWidth(240);
  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancel_->setAccessibleName(QStringLiteral("Cancel"));
  cancel_->hide();
  bar_ = new QProgressBar(this);
  bar_->setTextVisible(false);
  bar_->setAccessibleName(QStringLiteral("Progress"));
  auto* row = new QHBoxLayout;
  row->addWidget(text_, 1);
  row->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addWidget(bar_);
  connect(cancel_, &QPushButton::clicked, this, [this] { cancelRequested_ = true; });
  SetRange(0, 100);
}

CProgress::~CProgress() {
  if (disabledMainWindow_) disabledMainWindow_->setEnabled(true);
}

void CProgress::SetRange(int lower, int upper) {
  lower_ = lower;
  upper_ = upper;
  position_ = std::clamp(position_, lower, std::max(lower, upper));
  bar_->setRange(lower, std::max(lower, upper));
  bar_->setValue(position_);
}

void CProgress::ShowCancel(bool show) { cancel_->setVisible(show); }

void CProgress::BeginModeless(QWidget* mainWindow) {
  if (mainWindow && mainWindow != this && mainWindow->isEnabled()) {
    mainWindow->setEnabled(false);
    disabledMainWindow_ = mainWindow;
  }
  setEnabled(true);
  setWindowModality(Qt::ApplicationModal);
}

void CProgress::Step() {
  // The bar stops at its upper end (the last port of a search is 100 %).
  position_ = std::min(position_ + 1, std::max(lower_, upper_));
  bar_->setValue(position_);
  setWindowTitle(TitleFor(lower_, upper_, position_));
}

void CProgress::SetText(const QString& text) { text_->setText(text); }

QString CProgress::text() const { return text_->text(); }

QString CProgress::TitleFor(int lower, int upper, int position) {
  const float percent = upper == lower ? 100.0f
                                       : static_cast<float>(position - lower) /
                                             static_cast<float>(upper - lower) * 100.0f;
  return QStringLiteral("Progress") + QString::asprintf("%5.1f%%", static_cast<double>(percent));
}
