#include "app/message_boxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include "platform/sync/window_thread.h"

namespace {

QMessageBox::Icon IconOf(unsigned flags) {
  switch (flags & 0xF0) {
    case kMbIconHand:
      return QMessageBox::Critical;
    case kMbIconQuestion:
      return QMessageBox::Question;
    case kMbIconExclamation:
      return QMessageBox::Warning;
    case kMbIconInformation:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

int ShowOnWindowThread(QWidget* owner, const std::string& caption, const std::string& text,
                       unsigned flags) {
  QMessageBox box(IconOf(flags), QString::fromStdString(caption), QString::fromStdString(text),
                  QMessageBox::NoButton, owner);
  box.setTextFormat(Qt::PlainText);
  box.setWindowModality(Qt::ApplicationModal);
  switch (flags & 0xF) {
    case kMbOkCancel:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      box.setEscapeButton(QMessageBox::Cancel);
      break;
    case kMbYesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setEscapeButton(QMessageBox::No);
      break;
    default:
      box.setStandardButtons(QMessageBox::Ok);
      break;
  }
  switch (box.exec()) {
    case QMessageBox::Cancel:
      return kIdCancel;
    case QMessageBox::Yes:
      return kIdYes;
    case QMessageBox::No:
      return kIdNo;
    default:
      return kIdOk;
  }
}

}  // namespace

int QtMessageBoxPresenter::Show(void* owner, const std::string& caption, const std::string& text,
                                unsigned flags) {
  // Callers hand in the main window (a QWidget) or nothing.
  QPointer<QWidget> window = static_cast<QWidget*>(owner);
  if (OnWindowThread() || !qApp) return ShowOnWindowThread(window, caption, text, flags);
  int result = kIdOk;
  QMetaObject::invokeMethod(
      qApp, [&] { result = ShowOnWindowThread(window, caption, text, flags); },
      Qt::BlockingQueuedConnection);
  return result;
}

void InstallQtMessageBoxes() {
  static QtMessageBoxPresenter presenter;
  SetMessageBoxPresenter(&presenter);
}
