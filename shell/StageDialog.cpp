#include "shell/StageDialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QRandomGenerator>
#include <QSpinBox>

#include <climits>

bool askStage(QWidget* parent, unsigned& seed, int& length) {
  QDialog dialog(parent);
  dialog.setWindowTitle("Generate stage");
  auto* form = new QFormLayout(&dialog);
  auto* seedBox = new QSpinBox;
  seedBox->setRange(0, INT_MAX);
  seedBox->setValue(int(QRandomGenerator::global()->bounded(100000)));
  seedBox->setToolTip("The same seed builds the same stage");
  auto* lengthBox = new QSpinBox;
  lengthBox->setRange(100, 100000);
  lengthBox->setSingleStep(100);
  lengthBox->setValue(2000);
  lengthBox->setSuffix(" m");
  lengthBox->setToolTip("Corners and straights after the start, before the 250 m run-out");
  form->addRow("Seed", seedBox);
  form->addRow("Length", lengthBox);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  form->addRow(buttons);
  if (dialog.exec() != QDialog::Accepted) return false;
  seed = unsigned(seedBox->value());
  length = lengthBox->value();
  return true;
}
