#pragma once

// The window's controls, found by their object names as the tests see them
// from outside.
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>

#include <stdexcept>
#include <string>

namespace zorv::testing {

template <typename Widget>
Widget* control(const QWidget& form, const char* name) {
  auto* widget = form.findChild<Widget*>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly);
  if (!widget) throw std::runtime_error(std::string("no control ") + name);
  return widget;
}

}  // namespace zorv::testing
