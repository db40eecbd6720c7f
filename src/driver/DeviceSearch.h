#pragma once

#include "ComPort.h"
#include "NotifyThread.h"

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace quorvel {

/// Texts of the search's "Название" cells.
inline constexpr const char* kSearchingText = "идет поиск...";
inline constexpr const char* kDeviceFoundText = "Устройство найдено";
/// Message of a search in which no probed port answered.
inline constexpr const char* kNoDeviceFoundText = "Устройство не найдено";

/// One row of a device search.
struct TSearchPort {
  std::string Path;     ///< device path opened by the probe
  std::string Caption;  ///< the name shown for the port
  bool Checked = true;  ///< only checked rows are probed
};

/// What a search left in one row.
struct TSearchResult {
  bool Probed = false;  ///< the probe ran (false: unchecked, or stopped before it)
  bool Found = false;   ///< the terminal answered anything at all
  std::string Text;     ///< the cell: empty when untouched, kSearchingText when stopped there
};

/// What a search reports while it runs; both are called on the searching thread.
struct TSearchEvents {
  /// The row becomes the focused one and its cell kSearchingText; the probe follows unless
  /// the stop flag is set by then.
  std::function<void(int row)> OnProbe;
  /// The probe of the row ended: the cell's text and the found flag.
  std::function<void(int row, const std::string& text, bool found)> OnResult;
};

/// One row per port of the system (EnumComPorts), captioned with the short name, checked.
std::vector<TSearchPort> SearchPortsOf(const std::vector<TComPortInfo>& ports);

/// Probes the checked rows in order, each once, with a terminal driver of the search's own
/// (115200 baud, one attempt, 2000 ms per command): one SMSN read on the row's device.
/// Result 0 gives "Устройство найдено: <serial>", any other result "Устройство найдено" (the
/// terminal answered); an error of the probe (no link, the port busy or missing, BREAK)
/// gives its message and found false. The port is closed after each probe. stop is read
/// before each row and again before its probe; once set, nothing more is probed (a probe
/// already running completes). Returns one result per row. Errors outside the probes are
/// raised. Runs on the calling thread; ports already open elsewhere are not touched.
std::vector<TSearchResult> SearchDevices(const std::vector<TSearchPort>& ports, const std::atomic<bool>& stop,
                                         const TSearchEvents& events = {});

/// SearchDevices on a worker thread (TNotifyThread), for a window that must stay live.
/// Threads: Start, Stop, Results, Error and destruction on the owner's thread; the events
/// and the end notification run on the worker thread (a window posts them to its own
/// thread). Never call Stop or destroy the search from inside its handlers.
class TDeviceSearch {
 public:
  TDeviceSearch() = default;
  /// Stops a running search.
  ~TDeviceSearch();
  TDeviceSearch(const TDeviceSearch&) = delete;
  TDeviceSearch& operator=(const TDeviceSearch&) = delete;

  /// Progress events of the searches started from now on.
  void SetEvents(TSearchEvents events) { events_ = std::move(events); }
  /// Called on the worker thread as its last act, also after an error.
  void SetOnEnd(std::function<void()> handler) { onEnd_ = std::move(handler); }

  /// Stops a running search, clears the stop flag and the results, and searches ports on a
  /// new worker thread.
  void Start(std::vector<TSearchPort> ports);
  /// Sets the stop flag and waits for the worker to end (the running probe completes
  /// first). Results and Error stay readable until the next Start.
  void Stop();
  /// Sets the stop flag only; any thread.
  void RequestStop() { stop_.store(true); }

  /// A search has been started on this object.
  bool HasRun() const { return hasRun_; }
  /// A worker exists and has not finished.
  bool Running() const { return thread_ && !thread_->Finished(); }
  /// The rows of the last search as far as it got (empty rows before they are probed).
  std::vector<TSearchResult> Results() const;
  /// The error the last search raised outside its probes, or null; read it after the end.
  std::exception_ptr Error() const { return thread_ ? thread_->FatalException() : nullptr; }

 private:
  TSearchEvents events_;
  std::function<void()> onEnd_;
  std::atomic<bool> stop_{false};
  bool hasRun_ = false;
  std::unique_ptr<TNotifyThread> thread_;
  mutable std::mutex lock_;
  std::vector<TSearchResult> results_;
};

}  // namespace quorvel
