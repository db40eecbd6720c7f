#include "NotifyThread.h"

#include "LogPort.h"

#include <stdexcept>

namespace quorvel {

TNotifyThread::~TNotifyThread() {
  if (thread_.joinable()) thread_.join();
}

void TNotifyThread::SetOnExecute(TThreadEvent handler) { onExecute_ = std::move(handler); }

void TNotifyThread::SetOnTerminate(TThreadEvent handler) { onTerminate_ = std::move(handler); }

void TNotifyThread::Start() {
  if (thread_.joinable() || finished_.load()) throw std::logic_error("TNotifyThread already started");
  // The worker's log lines name the port of the thread that starts it.
  thread_ = std::thread([this, port = LogThreadPort()] {
    TLogPortScope scope(port);
    Body();
  });
}

void TNotifyThread::WaitFor() {
  if (thread_.joinable()) thread_.join();
}

std::exception_ptr TNotifyThread::FatalException() const {
  std::lock_guard lock(lock_);
  return fatal_;
}

void TNotifyThread::Body() {
  try {
    if (onExecute_) onExecute_(*this);
  } catch (...) {
    std::lock_guard lock(lock_);
    fatal_ = std::current_exception();
  }
  // The end notification must not take the worker down with it either.
  try {
    if (onTerminate_) onTerminate_(*this);
  } catch (...) {
    std::lock_guard lock(lock_);
    if (!fatal_) fatal_ = std::current_exception();
  }
  finished_.store(true);
}

}  // namespace quorvel
