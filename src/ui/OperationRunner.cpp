#include "OperationRunner.h"

#include "Errors.h"

#include <QApplication>
#include <QEvent>
#include <QThread>

namespace quorvel::ui {

namespace {

bool IsInputEvent(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Close:
      return true;
    default:
      return false;
  }
}

}  // namespace

TOperationRunner::TOperationRunner(IUiMessages& messages, QObject* parent)
    : QObject(parent), messages_(messages) {}

TOperationRunner::~TOperationRunner() {
  if (worker_ && worker_->joinable()) worker_->join();
  if (qApp != nullptr) qApp->removeEventFilter(this);
}

void TOperationRunner::SetBusyWindow(QWidget* window) { busyWindow_ = window; }

bool TOperationRunner::Run(QWidget* form, TWork work, TWork done, TFailure failed) {
  if (worker_) return false;
  form_ = form;
  done_ = std::move(done);
  failed_ = std::move(failed);
  error_ = nullptr;
  SwitchButtons(false);
  qApp->installEventFilter(this);
  QApplication::setOverrideCursor(Qt::BusyCursor);
  const unsigned generation = ++generation_;
  worker_ = std::make_unique<std::thread>([this, generation, work = std::move(work)] {
    std::exception_ptr error;
    try {
      work();
    } catch (...) {
      error = std::current_exception();
    }
    // The queued call is dropped by Qt when the runner is gone by then.
    QMetaObject::invokeMethod(
        this,
        [this, generation, error] {
          error_ = error;
          Finish(generation);
        },
        Qt::QueuedConnection);
  });
  return true;
}

void TOperationRunner::Finish(unsigned generation) {
  if (worker_ && worker_->joinable()) worker_->join();
  worker_.reset();
  QApplication::restoreOverrideCursor();
  qApp->removeEventFilter(this);
  SwitchButtons(true);
  if (generation != generation_) return;
  const std::exception_ptr error = error_;
  TWork done = std::move(done_);
  TFailure failed = std::move(failed_);
  if (error) {
    if (failed)
      failed(error);
    else
      ShowError(error);
  } else if (done) {
    try {
      done();
    } catch (...) {
      ShowError(std::current_exception());
    }
  }
  emit finished(!error);
}

void TOperationRunner::SwitchButtons(bool enabled) {
  if (!form_) return;
  if (auto* form = qobject_cast<TSizeableForm*>(form_.data()))
    form->EnableControls(enabled);
  else
    plainSwitch_.Apply(form_, enabled);
}

void TOperationRunner::ShowError(std::exception_ptr error) {
  if (!error) return;
  QWidget* parent = busyWindow_ ? busyWindow_.data() : form_.data();
  try {
    std::rethrow_exception(error);
  } catch (const EAbort&) {
  } catch (const std::exception& e) {
    messages_.ShowError(parent, Q(e.what()));
  } catch (...) {
    messages_.ShowError(parent, QStringLiteral("Неизвестная ошибка"));
  }
}

bool TOperationRunner::Confirm(const std::string& question) {
  QWidget* parent = busyWindow_ ? busyWindow_.data() : form_.data();
  const QString text = Q(question).replace("\r\n", "\n");
  if (QThread::currentThread() == thread()) return messages_.Ask(parent, text);
  bool answer = false;
  QMetaObject::invokeMethod(
      this, [this, parent, text] { return messages_.Ask(parent, text); }, Qt::BlockingQueuedConnection,
      &answer);
  return answer;
}

bool TOperationRunner::eventFilter(QObject* watched, QEvent* event) {
  if (worker_ && busyWindow_ && IsInputEvent(event->type())) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget != nullptr && widget->window() == busyWindow_) {
      event->ignore();
      return true;
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace quorvel::ui
