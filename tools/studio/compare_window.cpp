#include "compare_window.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "vexq4/control/ui_services.h"

namespace vexq4::studio {
namespace {

namespace ctl = vexq4::control;

QString FromView(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString ValueText(const model::SettingRow& row, int value) {
  return QString::fromStdString(model::SettingText(row, value));
}

// Why a file or a read failed, in the words the hosts use; a refused
// file names its key.
QString Why(model::Status status, const std::string& problem) {
  QString text = FromView(model::Describe(status).words);
  if (!problem.empty()) text += QStringLiteral(": ") + QString::fromStdString(problem);
  return text;
}

enum Column { kSetting, kCamera, kFile, kState };

}  // namespace

CompareWindow::CompareWindow(CXVexCamCtrl& control, QWidget* parent)
    : QDialog(parent), control_(&control) {
  setWindowTitle(QStringLiteral("Compare with Settings File"));
  setObjectName(QStringLiteral("compareWindow"));
  file_ = new QLabel(this);
  file_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  file_->setAccessibleName(QStringLiteral("Settings file"));
  summary_ = new QLabel(this);
  summary_->setAccessibleName(QStringLiteral("Result"));
  summary_->setWordWrap(true);

  table_ = new QTreeWidget(this);
  table_->setRootIsDecorated(false);
  table_->setAlternatingRowColors(true);
  table_->setUniformRowHeights(true);
  table_->setHeaderLabels(
      {QStringLiteral("Setting"), QStringLiteral("Camera"), QStringLiteral("File"), QString()});
  table_->headerItem()->setText(kState, QStringLiteral("Differs"));
  table_->setAccessibleName(QStringLiteral("Settings, the camera's value and the file's"));
  table_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);

  auto* open = new QPushButton(QStringLiteral("&Open File..."), this);
  again_ = new QPushButton(QStringLiteral("&Compare Again"), this);
  apply_ = new QPushButton(QStringLiteral("&Apply Differences"), this);
  auto* close = new QPushButton(QStringLiteral("C&lose"), this);
  for (QPushButton* b : {open, again_, apply_, close}) {
    b->setAccessibleName(b->text().remove(QLatin1Char('&')).remove(QStringLiteral("...")));
    b->setAutoDefault(false);
  }
  apply_->setEnabled(false);
  again_->setEnabled(false);
  connect(open, &QPushButton::clicked, this, [this] { ChooseAndCompare(); });
  connect(again_, &QPushButton::clicked, this, [this] { Compare(path_); });
  connect(apply_, &QPushButton::clicked, this, &CompareWindow::ApplyDifferences);
  connect(close, &QPushButton::clicked, this, &QDialog::close);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(open);
  buttons->addWidget(again_);
  buttons->addStretch();
  buttons->addWidget(apply_);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(file_);
  layout->addWidget(table_, 1);
  layout->addWidget(summary_);
  layout->addLayout(buttons);
  setTabOrder(table_, open);
  setTabOrder(open, again_);
  setTabOrder(again_, apply_);
  setTabOrder(apply_, close);
  resize(600, 620);
}

QString CompareWindow::summary() const { return summary_->text(); }

void CompareWindow::SetSummary(const QString& text) {
  summary_->setText(text);
  summary_->setAccessibleDescription(text);
}

bool CompareWindow::ChooseAndCompare() {
  ctl::UiServices::FileRequest request;
  request.save = false;
  request.filter = QStringLiteral("Camera setup (*.cam)|*.cam||");
  request.defaultExtension = QStringLiteral("cam");
  request.fileMustExist = true;
  const auto outcome = ctl::Ui().FileDialog(this, request);
  if (outcome.kind != ctl::UiServices::FileOutcome::kOk) return false;
  return Compare(outcome.path);
}

bool CompareWindow::Compare(const QString& path) {
  path_ = path;
  // The name reads well; the whole path is a hover away.
  file_->setText(QStringLiteral("File: %1").arg(QFileInfo(path).fileName()));
  file_->setToolTip(path);
  file_->setAccessibleDescription(path);
  table_->clear();
  targets_.clear();
  differences_ = 0;
  apply_->setEnabled(false);
  again_->setEnabled(!path.isEmpty());
  model::SettingsFileTargets read = model::ReadSettingsFileTargets(path.toStdString());
  if (read.status != model::Status::kOk) {
    SetSummary(QStringLiteral("Not a settings file for this camera (%1); nothing was read or sent.")
                   .arg(Why(read.status, read.problem)));
    return false;
  }
  if (!control_) return false;
  model::Comparison compared;
  {
    const ctl::WaitCursor wait;
    compared = model::CompareWithCamera(*control_, read.targets);
  }
  if (compared.status != model::Status::kOk) {
    SetSummary(QStringLiteral("The camera could not be read: %1.").arg(Why(compared.status, {})));
    return false;
  }
  targets_ = std::move(read.targets);
  Show(targets_, compared);
  return true;
}

void CompareWindow::Show(const std::vector<model::Target>& targets,
                         const model::Comparison& compared) {
  QFont marked = table_->font();
  marked.setBold(true);
  for (std::size_t i = 0; i < targets.size(); ++i) {
    const model::SettingRow& row = *targets[i].row;
    const int camera = compared.camera[i];
    const bool differs = camera != targets[i].value;
    auto* item = new QTreeWidgetItem(table_);
    item->setText(kSetting, FromView(model::SettingName(row)));
    item->setText(kCamera, ValueText(row, camera));
    item->setText(kFile, ValueText(row, targets[i].value));
    // Marked in words and in bold type, so it reads without colour too.
    item->setText(kState, differs ? QStringLiteral("differs") : QString());
    if (differs)
      for (int c = 0; c <= kState; ++c) item->setFont(c, marked);
  }
  differences_ = compared.differences.size();
  apply_->setEnabled(differences_ > 0);
  SetSummary(
      differences_ == 0
          ? QStringLiteral("The camera holds every one of the file's %1 settings.")
                .arg(targets.size())
          : QStringLiteral("%1 of %2 settings differ.").arg(differences_).arg(targets.size()));
  if (table_->topLevelItemCount() > 0) table_->setCurrentItem(table_->topLevelItem(0));
}

void CompareWindow::ApplyDifferences() {
  if (!control_ || targets_.empty()) return;
  model::ApplyResult applied;
  {
    const ctl::WaitCursor wait;
    applied = model::ApplyTargets(*control_, targets_);
  }
  QStringList failed;
  for (const model::Difference& d : applied.failed) failed << FromView(model::SettingName(*d.row));
  Compare(path_);
  QString text = QStringLiteral("Applied %1 settings.").arg(applied.changes.size());
  if (!failed.isEmpty())
    text += QStringLiteral(" The camera did not take: %1.").arg(failed.join(QStringLiteral(", ")));
  if (applied.status != model::Status::kOk)
    text += QStringLiteral(" The camera failed: %1.").arg(Why(applied.status, {}));
  SetSummary(text + QLatin1Char(' ') + summary_->text());
}

}  // namespace vexq4::studio
