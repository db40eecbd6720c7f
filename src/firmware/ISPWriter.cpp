#include "ISPWriter.h"

#include "CommandDriver.h"
#include "Errors.h"
#include "FlashLayout.h"
#include "HexFile.h"
#include "LogFile.h"
#include "ModemDriver.h"
#include "NotifyThread.h"
#include "TextUtils.h"

#include <fmt/format.h>
#include <fmt/printf.h>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace quorvel {

namespace {

constexpr std::uint32_t kFlashEnd = 0x7E000;  // end of sectors 0..27 of the 512 KiB part
constexpr int kLastSector = 27;
constexpr std::size_t kHalfPage = TISPInterface::kPageSize / 2;

std::int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

TUpdateStatus::TSnapshot TUpdateStatus::Snapshot() const {
  std::lock_guard<std::mutex> guard(lock_);
  return s_;
}

std::uint64_t TUpdateStatus::WaitForChange(std::uint64_t seen, TSnapshot& snapshot) const {
  std::unique_lock<std::mutex> guard(lock_);
  changed_.wait(guard, [&] { return changes_ != seen; });
  snapshot = s_;
  return changes_;
}

void TUpdateStatus::Changed() {
  std::function<void()> handler;
  {
    std::lock_guard<std::mutex> guard(lock_);
    ++changes_;
    handler = onChange_;
  }
  changed_.notify_all();
  if (handler) handler();
}

void TUpdateStatus::Start(int max) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    s_.Max = max;
    s_.Position = 0;
    s_.Rate = 0;
    s_.Bytes = 0;
    s_.StartTick = NowMs();
  }
  Changed();
}

void TUpdateStatus::Step() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    ++s_.Position;
  }
  Changed();
}

void TUpdateStatus::AddBytes(std::int64_t count) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    std::int64_t elapsed = NowMs() - s_.StartTick;
    if (elapsed <= 0) return;
    s_.Bytes += count;
    s_.Rate = std::llround(static_cast<double>(s_.Bytes) * 1000.0 / static_cast<double>(elapsed));
  }
  Changed();
}

void TUpdateStatus::SetText(const std::string& text) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    s_.Text = text;
  }
  Changed();
}

void TUpdateStatus::BeginWork() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    s_.Failed = false;
    s_.Done = false;
    s_.Running = true;
  }
  Changed();
}

void TUpdateStatus::Fail(const std::string& text) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    s_.Text = text;
    s_.Failed = true;
    s_.Done = true;
    s_.Running = false;
  }
  Changed();
}

void TUpdateStatus::Succeed(const std::string& text) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    s_.Text = text;
    s_.Failed = false;
    s_.Done = true;
    s_.Running = false;
  }
  Changed();
}

void TUpdateStatus::SetOnChange(std::function<void()> handler) {
  std::lock_guard<std::mutex> guard(lock_);
  onChange_ = std::move(handler);
}

TISPWriter::TISPWriter(ISerialPort& port, TUpdateStatus& status)
    : port_(port), status_(status), isp_(std::make_unique<TISPInterface>(port)) {}

TISPWriter::~TISPWriter() = default;

void TISPWriter::Write(const TISPParams& params, TISPImage image) {
  status_.BeginWork();
  try {
    Program(params, std::move(image));
    status_.Succeed(kWriteSucceeded);
  } catch (const std::exception& e) {
    // Anything escaping here would end the worker thread and the program with it. With the
    // port gone, the missing answer or failed write is only the symptom.
    const std::string lost = LostMessage();
    status_.Fail(lost.empty() ? e.what() : lost);
  }
}

void TISPWriter::PortLost(const std::string& message) {
  {
    std::lock_guard<std::mutex> guard(lostLock_);
    lost_ = message;
  }
  isp_->Interrupt();
}

std::string TISPWriter::LostMessage() const {
  std::lock_guard<std::mutex> guard(lostLock_);
  return lost_;
}

void TISPWriter::Program(const TISPParams& params, TISPImage image) {
  // The image is judged whole before the port is touched: a refused file costs nothing.
  if (!image) {
    auto loaded = std::make_shared<THexFile>();
    loaded->LoadFromFile(params.FileName);
    image = std::move(loaded);
  }
  CheckImage(*image, params.FileName);
  THexBlocks blocks;
  PrepareImage(*image, blocks);
  const int oldBaudRate = port_.GetBaudRate();
  try {
    port_.Open();
    port_.SetRTS(false);
    port_.SetBaudRate(params.BaudRate);
    RunOnPort(params, blocks);
  } catch (...) {
    try {
      port_.SetBaudRate(oldBaudRate);
    } catch (const std::exception&) {
      // The first failure is the one to report.
    }
    throw;
  }
  port_.SetBaudRate(oldBaudRate);
  port_.SetRTS(true);
}

void TISPWriter::CheckImage(const THexFile& file, const std::string& fileName) {
  const THexBlocks& blocks = file.Blocks();
  bool vectors = false;
  bool data = false;
  for (std::size_t i = 0; i < blocks.Count(); ++i) {
    const THexBlockRec& rec = blocks[i].Rec;
    if (rec.Data.empty()) continue;
    data = true;
    auto start = static_cast<std::uint32_t>(rec.BaseAddress);
    vectors = vectors || start == 0;
    // Refused rather than left out unnoticed.
    if (std::uint64_t{start} + rec.Data.size() > kFlashEnd)
      throw Exception(fmt::sprintf(kImageTooLargeFmt, start));
  }
  if (!data) throw Exception(fmt::sprintf(kImageNoDataFmt, fileName));
  if (!vectors) throw Exception(fmt::sprintf(kImageNoVectorsFmt, fileName));
}

// Copies the blocks (the image may be shared with whoever loaded it), completes them to
// whole pages and patches the vector checksum into the page at address 0.
void TISPWriter::PrepareImage(const THexFile& file, THexBlocks& blocks) {
  blocks.Clear();
  for (std::size_t i = 0; i < file.Blocks().Count(); ++i) blocks.Add(file.Blocks()[i].Rec);
  blocks.AlignToPages(TISPInterface::kPageSize);
  for (std::size_t i = 0; i < blocks.Count(); ++i)
    if (blocks[i].Rec.BaseAddress == 0) TISPInterface::PatchVectorChecksum(blocks[i].Rec.Data);
}

void TISPWriter::Erase() {
  status_.SetText("Стирание секторов");
  TISPInterface::RaiseOnError(isp_->UnlockCommands());
  TISPInterface::RaiseOnError(isp_->PrepareSectors(0, kLastSector));
  TISPInterface::RaiseOnError(isp_->EraseSectors(0, kLastSector));
  TISPInterface::RaiseOnError(isp_->UnlockCommands());
}

void TISPWriter::RunOnPort(const TISPParams& params, const THexBlocks& blocks) {
  std::size_t total = blocks.TotalSize();
  std::size_t pages = (total + TISPInterface::kPageSize - 1) / TISPInterface::kPageSize;
  LogFile().Debug(fmt::format("Размер данных, байт : {}", total));
  LogFile().Debug(fmt::format("Количество страниц  : {}", pages));
  status_.Start(static_cast<int>(params.Verify ? pages * 2 : pages));
  status_.SetText("Синхронизация");
  TISPInterface::RaiseOnError(isp_->Synchronize(params.Crystal));
  status_.SetText("Чтение идентификатора процессора");
  std::string partId;
  TISPInterface::RaiseOnError(isp_->ReadPartId(partId));
  Erase();
  for (std::size_t i = 0; i < blocks.Count(); ++i) {
    const auto address = static_cast<std::uint32_t>(blocks[i].Rec.BaseAddress);
    if (params.Fast)
      WriteBlockFast(address, blocks[i].Rec.Data);
    else
      WriteBlock(address, blocks[i].Rec.Data);
  }
  if (params.Verify) {
    TISPInterface::RaiseOnError(isp_->EnableFlashReadout());
    for (std::size_t i = 0; i < blocks.Count(); ++i)
      VerifyBlock(static_cast<std::uint32_t>(blocks[i].Rec.BaseAddress), blocks[i].Rec.Data);
  }
  if (!params.StartProgram) return;
  status_.SetText("Запуск программы");
  TISPInterface::RaiseOnError(isp_->UnlockCommands());
  TISPInterface::RaiseOnError(isp_->GoToAddress(0, 1));
}

void TISPWriter::WriteBlock(std::uint32_t address, const std::string& data) {
  for (std::size_t offset = 0; offset < data.size(); offset += TISPInterface::kPageSize) {
    if (status_.StopRequested()) RaiseAbort();
    auto pageAddress = static_cast<std::uint32_t>(address + offset);
    std::string text = fmt::sprintf("Запись данных 0x%.8X", pageAddress);
    status_.SetText(text);
    LogFile().Debug(text);
    isp_->WritePage(pageAddress, std::string_view(data).substr(offset, TISPInterface::kPageSize));
    status_.Step();
    status_.AddBytes(TISPInterface::kPageSize);
  }
}

void TISPWriter::WriteBlockFast(std::uint32_t address, const std::string& data) {
  for (std::size_t offset = 0; offset < data.size();) {
    if (status_.StopRequested()) RaiseAbort();
    const auto pieceAddress = static_cast<std::uint32_t>(address + offset);
    const TFlashSector sector = FlashSectorOf(pieceAddress);
    // Past the flash the interface refuses the piece with its own message.
    const std::uint64_t sectorEnd =
        sector.Index < 0 ? ~std::uint64_t{0} : std::uint64_t{sector.Start} + sector.Size;
    const std::uint64_t windowEnd =
        (pieceAddress / TISPInterface::kFastBlock + 1) * std::uint64_t{TISPInterface::kFastBlock};
    const std::uint64_t end = std::min({sectorEnd, windowEnd, std::uint64_t{address} + data.size()});
    const auto size = static_cast<std::size_t>(end - pieceAddress);
    std::string text = fmt::sprintf("Запись данных 0x%.8X", pieceAddress);
    status_.SetText(text);
    LogFile().Debug(text);
    isp_->WriteFastBlock(pieceAddress, std::string_view(data).substr(offset, size));
    for (std::size_t page = 0; page < size; page += TISPInterface::kPageSize) status_.Step();
    status_.AddBytes(static_cast<std::int64_t>(size));
    offset += size;
  }
}

void TISPWriter::VerifyBlock(std::uint32_t address, const std::string& data) {
  for (std::size_t offset = 0; offset < data.size(); offset += TISPInterface::kPageSize) {
    if (status_.StopRequested()) RaiseAbort();
    auto pageAddress = static_cast<std::uint32_t>(address + offset);
    std::string text = fmt::sprintf("Чтение данных 0x%.8X", pageAddress);
    status_.SetText(text);
    LogFile().Debug(text);
    bool whole = true;
    for (std::size_t half = 0; half < 2 && whole; ++half) {
      std::string expected = data.substr(std::min(data.size(), offset + half * kHalfPage), kHalfPage);
      if (expected.empty()) {
        whole = false;
        break;
      }
      std::string lines, read;
      TISPInterface::RaiseOnError(isp_->ReadMemory(pageAddress + static_cast<std::uint32_t>(half * kHalfPage),
                                                   expected.size(), lines, read));
      CompareData(expected, read);
    }
    if (!whole) return;
    status_.Step();
    status_.AddBytes(TISPInterface::kPageSize);
  }
}

void TISPWriter::CompareData(const std::string& expected, const std::string& read) {
  if (expected == read) return;
  LogFile().Error(kVerifyFailed);
  LogFile().Debug(StrToHex(expected));
  LogFile().Debug(StrToHex(read));
  throw Exception(kVerifyFailed);
}

std::size_t TISPWriter::TotalSize(const THexFile& file) { return file.Blocks().TotalSize(); }

TISPUpdate::TISPUpdate(TModemDriver& driver, TUpdateStatus& status) : driver_(driver), status_(status) {}

TISPUpdate::~TISPUpdate() { WaitFor(); }

void TISPUpdate::Start(const TISPParams& params, TISPImage image) {
  WaitFor();
  TComm& comm = driver_.Comm();
  if (!comm.Connected()) comm.Open();
  comm.SetRTS(false);
  // Muted before the status reads Running, so that a running status always means a mute.
  TSerialPort& spare = driver_.SparePort();
  spare.SetActive(false);
  status_.BeginWork();
  try {
    worker_ = std::make_unique<TNotifyThread>();
    worker_->SetOnExecute([this, params, image](TNotifyThread&) { Execute(params, image); });
    worker_->SetOnTerminate([this](TNotifyThread&) {
      if (onFinished_) onFinished_();
    });
    worker_->Start();
  } catch (const std::exception& e) {
    worker_.reset();
    status_.Fail(e.what());
    spare.SetActive(true);
    throw;
  }
}

void TISPUpdate::Execute(const TISPParams& params, const TISPImage& image) {
  TSerialPort& spare = driver_.SparePort();
  try {
    if (client_ == nullptr) client_ = &driver_.Ports().AddPort();
    TISPWriter writer(*client_, status_);
    client_->SetOnLost(
        [&writer](TSerialPort& sender) { writer.PortLost(fmt::sprintf(kPortLostFmt, sender.DevicePath())); });
    writer.Write(params, image);
    client_->SetOnLost(nullptr);
  } catch (const std::exception& e) {
    // Write itself never raises; this is the writer's set-up failing. The status must not
    // stay Running, or a poller would wait forever.
    status_.Fail(e.what());
  }
  spare.SetActive(true);
}

void TISPUpdate::WaitFor() {
  if (worker_) worker_->WaitFor();
}

bool TISPUpdate::Finished() const { return !worker_ || worker_->Finished(); }

}  // namespace quorvel
