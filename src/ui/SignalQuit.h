#pragma once

#include <QObject>

#include <csignal>

class QSocketNotifier;

namespace quorvel::ui {

/// Brings SIGTERM and SIGHUP (a kill, the end of the desktop session) into the Qt event loop:
/// the handler only writes the signal's number into a pipe, and the loop reads it and emits
/// quitRequested, so the program can end the way "Выход" ends it, its save included. A signal
/// the process ignores (nohup) stays ignored. These handlers replace the ones before them
/// (those of InstallTempFileCleanup: a save that is not cut short leaves no temporary file).
/// One object per process.
/// Threads: created, used and destroyed on the UI thread; the handlers run on any thread.
class TSignalQuit final : public QObject {
  Q_OBJECT

 public:
  /// Installs the handlers; raises std::runtime_error when the pipe cannot be made.
  explicit TSignalQuit(QObject* parent = nullptr);
  /// Puts the handlers from before back.
  ~TSignalQuit() override;
  TSignalQuit(const TSignalQuit&) = delete;
  TSignalQuit& operator=(const TSignalQuit&) = delete;

  /// The last signal that arrived through the event loop; 0 before any.
  int Received() const { return received_; }

 signals:
  /// A signal to end arrived (its number).
  void quitRequested(int signal);

 private:
  void ReadPipe();

  QSocketNotifier* notifier_ = nullptr;
  int received_ = 0;
  struct sigaction previousTerm_ {};
  struct sigaction previousHup_ {};
  bool termInstalled_ = false;
  bool hupInstalled_ = false;
};

}  // namespace quorvel::ui
