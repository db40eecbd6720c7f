#include "SignalQuit.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace quorvel::ui {

namespace {

// The pipe from the handlers to the event loop; one per process.
int pipeFds[2] = {-1, -1};

extern "C" void WriteSignalToPipe(int sig) {
  const int savedErrno = errno;
  const auto byte = static_cast<unsigned char>(sig);
  // A full pipe already holds a request to end: one more byte adds nothing.
  if (::write(pipeFds[1], &byte, 1) < 0) {
  }
  errno = savedErrno;
}

bool Install(int sig, struct sigaction& previous) {
  if (::sigaction(sig, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) return false;
  struct sigaction action {};
  action.sa_handler = WriteSignalToPipe;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  return ::sigaction(sig, &action, nullptr) == 0;
}

}  // namespace

TSignalQuit::TSignalQuit(QObject* parent) : QObject(parent) {
  if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("pipe2 failed");
  notifier_ = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &TSignalQuit::ReadPipe);
  termInstalled_ = Install(SIGTERM, previousTerm_);
  hupInstalled_ = Install(SIGHUP, previousHup_);
}

TSignalQuit::~TSignalQuit() {
  if (termInstalled_) ::sigaction(SIGTERM, &previousTerm_, nullptr);
  if (hupInstalled_) ::sigaction(SIGHUP, &previousHup_, nullptr);
  delete notifier_;
  for (int& fd : pipeFds) {
    ::close(fd);
    fd = -1;
  }
}

void TSignalQuit::ReadPipe() {
  unsigned char bytes[16];
  ssize_t n = 0;
  int last = 0;
  while ((n = ::read(pipeFds[0], bytes, sizeof bytes)) > 0) last = bytes[n - 1];
  if (last == 0) return;
  received_ = last;
  emit quitRequested(last);
}

}  // namespace quorvel::ui
