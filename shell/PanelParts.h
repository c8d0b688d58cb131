// What the property panel's tabs share: how they reach the core and the window, and their
// buttons.
#pragma once

#include <QDir>
#include <QFileDialog>
#include <QLayout>
#include <QPushButton>
#include <QString>
#include <functional>

class CEditInterface;
class QWidget;

struct SPanelHost {
  std::function<CEditInterface*()> core;                          // null before start-up
  std::function<void(const std::function<void()>&)> withContext;  // GL context current
  std::function<void()> treeChanged;                              // rebuild the object tree
  QWidget* window = nullptr;                                      // parent of dialogs
};

// A button named by its text (tests find it so), running action when clicked.
inline QPushButton* addButton(QLayout& layout, const QString& text,
                              const std::function<void()>& action) {
  auto* button = new QPushButton(text);
  button->setObjectName(text);
  QObject::connect(button, &QPushButton::clicked, action);
  layout.addWidget(button);
  return button;
}

// A file dialog that leaves the current folder as it found it (the program's files are named
// relative to it); empty when cancelled.
inline QString askFile(QWidget* parent, const QString& title, const QString& filter, bool save) {
  const QString folder = QDir::currentPath();
  const QString name = save ? QFileDialog::getSaveFileName(parent, title, QString(), filter)
                            : QFileDialog::getOpenFileName(parent, title, QString(), filter);
  QDir::setCurrent(folder);
  return name;
}
