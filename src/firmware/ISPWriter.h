#pragma once

#include "ISPInterface.h"
#include "SerialPortInterface.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace quorvel {

class THexBlocks;
class THexFile;
class TModemDriver;
class TNotifyThread;
class TSerialPort;

/// The user's choices for one firmware write.
struct TISPParams {
  std::string FileName;            ///< the HEX file
  std::int32_t BaudRate = 115200;  ///< port speed for the ISP exchange, bits per second
  std::int32_t Crystal = 12000;    ///< crystal frequency told to the bootloader, kHz
  bool Verify = true;              ///< read the flash back and compare after programming
  /// Service-bench mode: blocks of up to 4 KiB, each group of 20 UU lines and its checksum
  /// line sent in one write and their echoes checked afterwards. Off: 1 KiB pages with an
  /// echo wait per line.
  bool Fast = false;
  /// After a successful write (and verification) start the new program with the bootloader's
  /// jump to address 0 (as lpc21isp does), so a terminal on a bench needs no restart by hand.
  bool StartProgram = false;
};

/// An image already loaded from TISPParams::FileName (and checked by the caller), so the
/// file is read once; the writer never changes it. Empty: the writer loads the file itself.
using TISPImage = std::shared_ptr<const THexFile>;

/// Progress and result of a firmware write, shared by the worker that writes and the page
/// (or command line) that shows it.
/// Threads: every call may run on any thread; each operation is atomic and OnChange runs on
/// the thread of the operation, after the lock is released.
class TUpdateStatus {
 public:
  /// All fields at one moment.
  struct TSnapshot {
    int Max = 0;                 ///< number of progress steps
    std::string Text;            ///< current operation or final result
    std::int64_t StartTick = 0;  ///< steady-clock ms at Start
    int Position = 0;            ///< steps done
    std::int64_t Rate = 0;       ///< bytes per second, rounded
    std::int64_t Bytes = 0;      ///< bytes counted since Start
    bool Failed = false;
    bool Running = false;
    bool Done = false;
  };

  TSnapshot Snapshot() const;
  /// Waits until the status has changed after the change numbered seen (0: none seen yet),
  /// then fills snapshot and returns the number of the latest change. For a display that
  /// follows the run without polling: a loop ends when the snapshot is no longer Running.
  std::uint64_t WaitForChange(std::uint64_t seen, TSnapshot& snapshot) const;
  /// Max = max; Position, Rate and Bytes 0; StartTick now.
  void Start(int max);
  void Step();
  /// Counts bytes and recomputes the rate; nothing when no millisecond passed since Start.
  void AddBytes(std::int64_t count);
  void SetText(const std::string& text);
  /// Failed and Done false, Running true.
  void BeginWork();
  /// The run ended with an error: the text, Failed, Done, not Running.
  void Fail(const std::string& text);
  /// The run ended well: the text, Done, not Running.
  void Succeed(const std::string& text);
  /// Called after every change (may be empty). Set it before the run starts.
  void SetOnChange(std::function<void()> handler);

  /// Asks the run to stop before its next page (written or verified): it then ends with Fail
  /// and kAbortMessage. Pages written stay written, and the flash erased before them stays
  /// erased, so the terminal needs a whole write again. The request stays until ResetStop.
  /// Any thread; async-signal-safe (one lock-free atomic store); fires no OnChange.
  void RequestStop() noexcept { stop_.store(true, std::memory_order_relaxed); }
  /// Withdraws the request; call before a run, not during one. Any thread; async-signal-safe.
  void ResetStop() noexcept { stop_.store(false, std::memory_order_relaxed); }
  bool StopRequested() const noexcept { return stop_.load(std::memory_order_relaxed); }

 private:
  void Changed();

  mutable std::mutex lock_;
  mutable std::condition_variable changed_;
  TSnapshot s_;
  std::uint64_t changes_ = 0;  // under lock_
  std::function<void()> onChange_;
  std::atomic<bool> stop_{false};  // a signal handler may set it: never under lock_
  static_assert(std::atomic<bool>::is_always_lock_free);
};

/// The message of a successful write.
inline constexpr const char* kWriteSucceeded =
    "Запись выполнена успешно.\r\nДля программирования параметров перезапустите терминал\r\n"
    "и переведите его в режим cвязи с ПК.";
/// The message of a verification that found different data.
inline constexpr const char* kVerifyFailed = "Проверка данных не пройдена";
/// An image without a single data byte; %s is the file name.
inline constexpr const char* kImageNoDataFmt = "Файл %s не содержит данных для записи";
/// An image without the vector area; %s is the file name.
inline constexpr const char* kImageNoVectorsFmt =
    "В файле %s нет данных по адресу 0x00000000 (таблица векторов): после стирания флэш-памяти "
    "терминал не смог бы запуститься";
/// Data the flash cannot hold; %.8X is the block's address.
inline constexpr const char* kImageTooLargeFmt = "Данные по адресу 0x%.8X не помещаются во флэш-память";

/// Writes a HEX image into the terminal's flash through its ISP bootloader: synchronise,
/// erase all 28 sectors, program page by page (the vector checksum patched into the page at
/// address 0), optionally read everything back and compare.
/// Threads: one run at a time, on the caller's (worker) thread; the status may be read
/// from any thread meanwhile.
class TISPWriter {
 public:
  /// The port and status must outlive the writer.
  TISPWriter(ISerialPort& port, TUpdateStatus& status);
  ~TISPWriter();

  /// The whole run; never raises: the status ends with Succeed or Fail (the error's text).
  void Write(const TISPParams& params, TISPImage image = nullptr);
  /// The run; raises on any failure. The image is checked (CheckImage) before the port is
  /// touched. The port's baud rate is set back in any case, RTS is raised again only after
  /// success.
  void Program(const TISPParams& params, TISPImage image = nullptr);
  /// Programs the pages of a page-aligned block. Raises EAbort before a page when the status
  /// has a stop request.
  void WriteBlock(std::uint32_t address, const std::string& data);
  /// The fast mode's WriteBlock: the block in pieces that end at every 4 KiB boundary and
  /// every sector boundary, each one RAM write (TISPInterface::WriteFastBlock); the progress
  /// still counts 1 KiB pages. Stops as WriteBlock, before a piece.
  void WriteBlockFast(std::uint32_t address, const std::string& data);
  /// Reads the block back in halves of pages and compares; stops as WriteBlock.
  void VerifyBlock(std::uint32_t address, const std::string& data);
  /// Raises Exception "Проверка данных не пройдена" (logged with both in hex) when they differ.
  static void CompareData(const std::string& expected, const std::string& read);
  /// Sum of the data lengths of all blocks.
  static std::size_t TotalSize(const THexFile& file);
  /// Refuses an image the run would turn into a terminal that cannot start, before the
  /// user is asked to restart it and before anything is erased: no data at all
  /// (kImageNoDataFmt), nothing at address 0 where the vectors live (kImageNoVectorsFmt;
  /// the whole flash is erased, so the old vectors would be gone), data beyond the part's
  /// flash (kImageTooLargeFmt). fileName is for the messages.
  static void CheckImage(const THexFile& file, const std::string& fileName);
  /// The port went away (cable pulled, device closed): the run stops waiting for the part
  /// and ends with message instead of a missing-answer code. May run on any thread.
  void PortLost(const std::string& message);
  /// The protocol interface of the run (tests shorten its byte timeout through it).
  TISPInterface& Interface() { return *isp_; }

 private:
  static void PrepareImage(const THexFile& file, THexBlocks& blocks);
  void RunOnPort(const TISPParams& params, const THexBlocks& blocks);
  void Erase();
  std::string LostMessage() const;

  ISerialPort& port_;
  TUpdateStatus& status_;
  std::unique_ptr<TISPInterface> isp_;
  mutable std::mutex lostLock_;
  std::string lost_;  // under lostLock_
};

/// A firmware update run in the background, as the update page starts it: the whole
/// writer run happens on a worker thread on a client of the driver's port of its own, while
/// the driver's spare client is muted (no terminal traffic reaches it) until the run ends.
/// The status reads Running from Start on, so a poller never sees an idle status before the
/// worker has begun. A port that goes away during the run ends it with the lost-port message
/// of the link layer.
/// Threads: Start, WaitFor, Finished and destruction on the owner's thread; the status may be
/// polled from any thread; OnFinished runs on the worker thread as its last act.
class TISPUpdate {
 public:
  /// The driver and status must outlive this object.
  TISPUpdate(TModemDriver& driver, TUpdateStatus& status);
  /// Waits for a run in progress to end.
  ~TISPUpdate();
  TISPUpdate(const TISPUpdate&) = delete;
  TISPUpdate& operator=(const TISPUpdate&) = delete;

  /// Called on the worker thread after the run (set before Start).
  void SetOnFinished(std::function<void()> handler) { onFinished_ = std::move(handler); }
  /// Opens the driver's port with RTS low (the terminal is restarted into its bootloader
  /// next), mutes the spare client, marks the status running and starts the worker; a
  /// previous run is waited for first. Raises Exception when the port cannot be opened (the
  /// status is then untouched); the worker unmutes the spare client when the run has ended,
  /// whatever its result.
  void Start(const TISPParams& params, TISPImage image = nullptr);
  /// Waits until the run has ended (nothing when none was started).
  void WaitFor();
  /// No run was started or the last one has ended.
  bool Finished() const;

 private:
  void Execute(const TISPParams& params, const TISPImage& image);

  TModemDriver& driver_;
  TUpdateStatus& status_;
  // Created on the first run and reused: the port's clients are never removed, so a client
  // per run would pile up over a long session.
  TSerialPort* client_ = nullptr;
  std::unique_ptr<TNotifyThread> worker_;
  std::function<void()> onFinished_;
};

}  // namespace quorvel
