// The property page "Show Windows" and the properties verb that shows it.
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "module_state.h"
#include "vexq4/control/XVexCamCtrl.h"
#include "vexq4/control/module.h"

namespace ctl = vexq4::control;

namespace vexq4::control {

QDialog* ShowPropertyPages(CXVexCamCtrl* control, QWidget* parent) {
  // Modal to the host's window without a nested event loop: the caller
  // returns at once, and the dialog goes when it is closed.
  auto* dialog = new QDialog(parent);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setObjectName(QStringLiteral("properties"));
  dialog->setWindowTitle(QStringLiteral("XVexQ4 Control Properties"));
  dialog->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
  // One tab per page, captioned as the page is.
  auto* tabs = new QTabWidget(dialog);
  auto* page = new COlePropPage1(tabs);
  page->SetControl(control);
  tabs->addTab(page, COlePropPage1::Caption());
  auto* buttons = new QDialogButtonBox(
      QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, dialog);
  auto* layout = new QVBoxLayout(dialog);
  layout->addWidget(tabs);
  layout->addWidget(buttons);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, [dialog, page] {
    page->Apply();
    dialog->accept();
  });
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  QObject::connect(buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, page,
                   &COlePropPage1::Apply);
  // The page edits this control only while it lives.
  if (control) QObject::connect(control, &QObject::destroyed, dialog, &QDialog::reject);
  dialog->show();
  return dialog;
}

}  // namespace vexq4::control

COlePropPage1::COlePropPage1(QWidget* parent) : QWidget(parent) {
  ctl::ModuleObjectCreated();
  setWindowTitle(Caption());
  setAccessibleName(Caption());
  auto* group = new QGroupBox(QStringLiteral("Show tool windows"), this);
  group->setAccessibleName(group->title());
  auto* inner = new QVBoxLayout(group);
  const char* texts[] = {"Shutter", "Gain", "About", "Communication"};
  for (std::size_t i = 0; i < boxes_.size(); ++i) {
    boxes_[i] = new QCheckBox(QString::fromLatin1(texts[i]), group);
    boxes_[i]->setAccessibleName(boxes_[i]->text());
    inner->addWidget(boxes_[i]);
  }
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
}

COlePropPage1::~COlePropPage1() { ctl::ModuleObjectDestroyed(); }

void COlePropPage1::SetControl(CXVexCamCtrl* control) {
  control_ = control;
  Load();
}

void COlePropPage1::Load() {
  if (!control_) return;
  boxes_[0]->setChecked(control_->GetShowShutterWnd() != 0);
  boxes_[1]->setChecked(control_->GetShowGainWnd() != 0);
  boxes_[2]->setChecked(control_->GetShowAboutWnd() != 0);
  boxes_[3]->setChecked(control_->GetShowCommunicationWnd() != 0);
}

void COlePropPage1::Apply() {
  if (!control_) return;
  control_->SetShowShutterWnd(boxes_[0]->isChecked() ? 1 : 0);
  control_->SetShowGainWnd(boxes_[1]->isChecked() ? 1 : 0);
  control_->SetShowAboutWnd(boxes_[2]->isChecked() ? 1 : 0);
  control_->SetShowCommunicationWnd(boxes_[3]->isChecked() ? 1 : 0);
}
