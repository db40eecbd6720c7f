#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace quorvel {

/// A worker thread that runs one handler (a device search, a firmware update) and reports its
/// end. It is created suspended: set the handlers, then Start.
/// Threads: Start, WaitFor, Terminate and destruction run on the owner's thread; OnExecute
/// and OnTerminate run on the worker thread, OnTerminate after OnExecute has returned or
/// raised. There is no event loop here: a receiver that updates a window must post the end
/// notification to the UI thread itself. The destructor waits for the thread to end, so the
/// owner must not destroy it from inside its own handlers.
class TNotifyThread {
 public:
  using TThreadEvent = std::function<void(TNotifyThread& sender)>;

  TNotifyThread() = default;
  /// Waits for the thread to end when it was started.
  ~TNotifyThread();
  TNotifyThread(const TNotifyThread&) = delete;
  TNotifyThread& operator=(const TNotifyThread&) = delete;

  /// The work; called once on the worker thread when set. An error it raises is kept
  /// (FatalException) and does not end the program.
  void SetOnExecute(TThreadEvent handler);
  /// The end notification; called on the worker thread as its last act.
  void SetOnTerminate(TThreadEvent handler);

  /// Starts the worker. A second Start raises std::logic_error.
  void Start();
  /// Waits until the worker has ended (nothing when it was never started). Not from the
  /// worker thread itself.
  void WaitFor();
  /// True once OnExecute and OnTerminate have returned.
  bool Finished() const { return finished_.load(); }

  /// Asks the work to stop; OnExecute polls Terminated and ends early.
  void Terminate() { terminated_.store(true); }
  bool Terminated() const { return terminated_.load(); }

  /// The error OnExecute raised, or null. Read it after the end (Finished or WaitFor).
  std::exception_ptr FatalException() const;

 private:
  void Body();

  TThreadEvent onExecute_;
  TThreadEvent onTerminate_;
  std::thread thread_;
  std::atomic<bool> finished_{false};
  std::atomic<bool> terminated_{false};
  mutable std::mutex lock_;
  std::exception_ptr fatal_;
};

}  // namespace quorvel
