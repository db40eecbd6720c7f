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
  hasForm_ = form != nullptr;
  stopButton_ = nullptr;
  stop_ = nullptr;
  stopping_ = false;
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

std::optional<std::string> TOperationRunner::RecordSetting() const {
  if (!recordSetting_) return std::nullopt;
  return recordSetting_();
}

bool TOperationRunner::RunWrite(QWidget* form, TWriteNote note, TWork work, TWork done, TFailure failed) {
  const std::optional<std::string> setting = RecordSetting();
  if (!setting) return Run(form, std::move(work), std::move(done), std::move(failed));
  return Run(
      form,
      [configured = *setting, note = std::move(note), work = std::move(work)] {
        TRecordedWrite entry(configured, note);
        std::exception_ptr error;
        try {
          work();
        } catch (...) {
          error = std::current_exception();
        }
        entry.Finish(error);
        if (error) std::rethrow_exception(error);
      },
      std::move(done), std::move(failed));
}

void TOperationRunner::Finish(unsigned generation) {
  if (worker_ && worker_->joinable()) worker_->join();
  worker_.reset();
  QApplication::restoreOverrideCursor();
  qApp->removeEventFilter(this);
  if (stopButton_) stopButton_->setEnabled(false);
  stopButton_ = nullptr;
  stop_ = nullptr;
  stopping_ = false;
  SwitchButtons(true);
  if (generation != generation_) return;
  if (hasForm_ && !form_) {
    // The handlers were written for a form that no longer exists.
    done_ = nullptr;
    failed_ = nullptr;
    emit finished(!error_);
    return;
  }
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

void TOperationRunner::OfferStop(QAbstractButton* button, std::function<void()> stop) {
  if (!worker_) return;
  stop_ = std::move(stop);
  stopButton_ = button;
  if (button == nullptr) return;
  // On now and off at the end, whatever the switch did to it.
  button->setProperty(kSwitchedOffProperty, false);
  button->setEnabled(true);
  // Once per button, however many runs offer it.
  connect(button, &QAbstractButton::clicked, this, &TOperationRunner::StopClicked, Qt::UniqueConnection);
}

void TOperationRunner::StopClicked() {
  if (sender() == stopButton_.data()) Stop();
}

bool TOperationRunner::Stop() {
  if (!worker_ || !stop_) return false;
  if (!stopping_) {
    stopping_ = true;
    stop_();
  }
  if (stopButton_) stopButton_->setEnabled(false);
  return true;
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

bool TOperationRunner::Blocks(QWidget* widget) const {
  QWidget* window = widget->window();
  const bool busy = window == busyWindow_.data() || (form_ && window == form_->window());
  if (!busy) return false;
  return !(stopButton_ && (widget == stopButton_ || stopButton_->isAncestorOf(widget)));
}

bool TOperationRunner::eventFilter(QObject* watched, QEvent* event) {
  if (worker_ && IsInputEvent(event->type())) {
    auto* widget = qobject_cast<QWidget*>(watched);
    // The busy window answers its own close (it may ask to stop the operation first).
    const bool ownClose = event->type() == QEvent::Close && widget == busyWindow_.data();
    if (widget != nullptr && !ownClose && Blocks(widget)) {
      event->ignore();
      return true;
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace quorvel::ui
