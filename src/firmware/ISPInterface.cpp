#include "ISPInterface.h"

#include "LogFile.h"
#include "TextUtils.h"
#include "UUEncoding.h"

#include <fmt/format.h>
#include <fmt/printf.h>

#include <algorithm>
#include <array>
#include <utility>

namespace quorvel {

namespace {

constexpr std::array<const char*, 20> kBootloaderTexts = {
    "Command is executed successfully",
    "Invalid command.",
    "Source address is not on word boundary.",
    "Destination address is not on a correct boundary.",
    "Source address is not mapped in the memory map.",
    "Destination address is not mapped in the memory map.",
    "Byte count is not multiple of 4 or is not a permitted value.",
    "Sector number is invalid or end sector number is greater than start sector number.",
    "Sector is not blank.",
    "Command to prepare sector for write operation was not executed.",
    "Source and destination data not equal.",
    "Flash programming hardware interface is busy.",
    "Insufficient number of parameters or invalid parameter.",
    "Address is not on word boundary.",
    "Address is not mapped in the memory map.",
    "Command is locked.",
    "Unlock code is invalid.",
    "Invalid baud rate setting.",
    "Invalid stop bit setting.",
    "Code read protection enabled.",
};

constexpr std::array<std::pair<char, const char*>, 14> kTitles = {{
    {'?', "Синхронизация"},
    {'A', "Установка режима эхо"},
    {'B', "Установка параметров обмена"},
    {'C', "Копирование данных из ОЗУ во флэш-память"},
    {'E', "Стирание секторов"},
    {'G', "Запуск программы"},
    {'I', "Очистка секторов"},
    {'J', "Чтение идентификатора процессора"},
    {'K', "Чтение идентификатора загрузчика"},
    {'M', "Сравнение блоков памяти"},
    {'P', "Подготовка сектора к записи"},
    {'R', "Чтение памяти"},
    {'U', "Разблокировка"},
    {'W', "Запись ОЗУ"},
}};

constexpr const char* kBlockTooLarge = "Блок данных не может превышать 900 байт";
constexpr const char* kUnlockCode = "23130";                                 // NXP ISP unlock code
constexpr const char* kRoutineLine = "8#`\"?Y0$0H.,`$(#E#N\"!X1[_+^%`P!_@";  // the 24 routine bytes
constexpr std::size_t kShortReply = 30;  // longer replies mean the line was in another mode
constexpr std::size_t kLongSyncLine = 50;
constexpr int kDrainLines = 20;
constexpr int kAttempts = 3;

void LogTitle(std::string_view line) {
  std::string title = IspCommandTitle(line);
  if (!title.empty()) LogFile().Debug(title);
}

}  // namespace

std::string ReturnCodeMessage(int code) {
  if (code >= 0 && code < static_cast<int>(kBootloaderTexts.size())) return kBootloaderTexts[code];
  switch (code) {
    case kIspResendExceeded:
      return "Maximum block resend count exeeded.";
    case kIspNoLink:
      return "Нет связи с устройством.\r\nТерминал не подключен или находится в неверном режиме.\r\n"
             "Перезапустите терминал и повторите операцию.";
    case kIspBadEcho:
      return "Эхо не соответствует данным";
    case kIspBadReply:
      return "Ответ на команду не распознан";
    default:
      return "Unknown error";
  }
}

std::string ReturnCodeText(int code) { return fmt::sprintf("%d, %s", code, ReturnCodeMessage(code)); }

std::string IspCommandTitle(std::string_view line) {
  if (line.empty()) return {};
  for (const auto& [letter, title] : kTitles)
    if (line[0] == letter) return title;
  return {};
}

EISPProgrammerException::EISPProgrammerException(int code) : Exception(ReturnCodeText(code)), code_(code) {}

std::string FlashReadoutRoutine() { return UUDecodeLine(kRoutineLine); }

TISPInterface::TISPInterface(ISerialPort& port) : port_(port) {
  port_.SetOnData([this](ISerialPort&, const std::string& data) { buffer_.Append(data); });
}

TISPInterface::~TISPInterface() { port_.SetOnData({}); }

int TISPInterface::ReceiveByte(unsigned char& byte) {
  if (buffer_.WaitByte(byte, byteTimeoutMs_)) return 0;
  LogFile().Error(ReturnCodeText(kIspNoLink));
  return kIspNoLink;
}

int TISPInterface::ReadLine(std::string& line) {
  line.clear();
  for (;;) {
    unsigned char b = 0;
    if (int rc = ReceiveByte(b)) return rc;
    if (b == '\n') {
      if (!line.empty()) return 0;
    } else if (b >= 32) {
      line += static_cast<char>(b);
    }
  }
}

int TISPInterface::ExpectEcho(std::string_view sent) {
  std::string line;
  if (int rc = ReadLine(line)) return rc;
  if (line == sent) return 0;
  LogFile().Error(ReturnCodeText(kIspBadEcho));
  LogFile().Debug(fmt::sprintf("Данные : \"%s\"", std::string(sent)));
  LogFile().Debug(fmt::sprintf("Ответ  : \"%s\"", line));
  LogFile().Debug("Данные : " + StrToHex(sent));
  LogFile().Debug("Ответ  : " + StrToHex(line));
  return kIspBadEcho;
}

void TISPInterface::SendLine(std::string_view text) {
  std::string line(text);
  line += "\r\n";
  port_.Write(line);
}

int TISPInterface::SendCommand(std::string_view command, std::string& reply, int attempts) {
  buffer_.Clear();
  int rc = 0;
  for (int attempt = 1; attempt <= attempts; ++attempt) {
    LogTitle(command);
    if (attempt > 1) LogFile().Debug(fmt::format("Попытка {}", attempt));
    SendLine(command);
    rc = ExpectEcho(command);
    if (rc != 0) continue;
    rc = ReadLine(reply);
    if (rc != 0) {
      LogFile().Error(ReturnCodeText(rc));
      continue;
    }
    if (reply.size() <= kShortReply) break;
    // A long reply is text of the terminal's own mode: let it run out, then acknowledge.
    std::string rest;
    while (ReadLine(rest) == 0) {
    }
    SendLine("OK");
    ExpectEcho("OK");
  }
  return rc;
}

int TISPInterface::RunCommand(std::string_view command) {
  std::string reply;
  if (int rc = SendCommand(command, reply, 1)) return rc;
  std::int64_t code = 0;
  if (!TryStrToInt64(reply, code) || code < INT32_MIN || code > INT32_MAX) {
    LogFile().Error(ReturnCodeText(kIspBadReply));
    return kIspBadReply;
  }
  if (code != 0) LogFile().Error(ReturnCodeText(static_cast<int>(code)));
  return static_cast<int>(code);
}

int TISPInterface::ExecuteSyncLine(std::string_view line) {
  std::string reply;
  if (int rc = SendCommand(line, reply, 1)) return rc;
  if (reply == "OK") return 0;
  std::int64_t code = 0;
  if (!TryStrToInt64(reply, code) || code < INT32_MIN || code > INT32_MAX) {
    LogFile().Error(ReturnCodeText(kIspBadReply));
    return kIspBadReply;
  }
  if (code != 0) LogFile().Error(ReturnCodeText(static_cast<int>(code)));
  return static_cast<int>(code);
}

void TISPInterface::RaiseOnError(int code) {
  if (code != 0) throw EISPProgrammerException(code);
}

std::uint32_t TISPInterface::ByteSum(std::string_view bytes) {
  std::uint32_t sum = 0;
  for (char b : bytes) sum += static_cast<unsigned char>(b);
  return sum;
}

int TISPInterface::ReadSyncLine(std::string& line) {
  if (int rc = ReadLine(line)) return rc;
  if (line.size() <= kLongSyncLine) return 0;
  std::string rest;
  for (int i = 0; i < kDrainLines && ReadLine(rest) == 0; ++i) {
  }
  SendLine("OK");
  return ExpectEcho("OK");
}

int TISPInterface::Synchronize(int crystalKHz) {
  LogTitle("?");
  SendLine("?");
  std::string line;
  if (int rc = ReadSyncLine(line)) return rc;
  if (line == "?") {
    if (int rc = ReadSyncLine(line)) return rc;
  }
  // Anything else means the bootloader went through the handshake before.
  if (line != "Synchronized") return 0;
  int rc = ExecuteSyncLine("Synchronized");
  if (rc == 0) rc = ExecuteSyncLine(std::to_string(crystalKHz));
  return rc;
}

int TISPInterface::UnlockCommands() { return RunCommand(std::string("U ") + kUnlockCode); }

int TISPInterface::ReadPartId(std::string& id) {
  id.clear();
  int rc = RunCommand("J");
  if (rc == 0) rc = ReadLine(id);
  return rc;
}

int TISPInterface::PrepareSectors(int first, int last) {
  return RunCommand(fmt::format("P {} {}", first, last));
}

int TISPInterface::EraseSectors(int first, int last) {
  return RunCommand(fmt::format("E {} {}", first, last));
}

int TISPInterface::WriteRam(std::uint32_t address, std::string_view bytes, std::string& encoded) {
  if (bytes.size() > kMaxBlock) throw Exception(kBlockTooLarge);
  std::string data(bytes);
  data.resize((data.size() + 3) / 4 * 4, '\0');
  encoded.clear();
  std::vector<std::string> lines;
  for (std::size_t pos = 0; pos < data.size(); pos += kUULineBytes) {
    lines.push_back(UUEncodeLine(std::string_view(data).substr(pos, kUULineBytes)));
    encoded += lines.back() + "\r\n";
  }
  if (int rc = RunCommand(fmt::format("W {} {}", address, data.size()))) return rc;
  // After RESEND the part waits for the same block again, not for a new command.
  int rc = kIspResendExceeded;
  for (int attempt = 0; attempt < kAttempts && rc == kIspResendExceeded; ++attempt) {
    if (attempt > 0) LogFile().Debug(fmt::format("Попытка {}", attempt + 1));
    rc = SendDataBlock(lines, ByteSum(data));
  }
  return rc;
}

// The data lines and the checksum line of one block: 0 when the part answered OK, 100
// when it asked for the block again, or the failure of a line.
int TISPInterface::SendDataBlock(const std::vector<std::string>& lines, std::uint32_t sum) {
  for (const std::string& line : lines) {
    buffer_.Clear();
    SendLine(line);
    if (int rc = ExpectEcho(line)) {
      LogFile().Error(ReturnCodeText(rc));
      return rc;
    }
  }
  buffer_.Clear();
  std::string sumLine = std::to_string(sum);
  SendLine(sumLine);
  if (int rc = ExpectEcho(sumLine)) return rc;
  std::string reply;
  if (int rc = ReadLine(reply)) return rc;
  return reply == "OK" ? 0 : kIspResendExceeded;
}

int TISPInterface::WriteRamFast(std::uint32_t address, std::string_view bytes) {
  if (bytes.size() > kFastBlock)
    throw Exception(fmt::format("Блок данных не может превышать {} байт", kFastBlock));
  std::string data(bytes);
  data.resize((data.size() + 3) / 4 * 4, '\0');
  if (int rc = RunCommand(fmt::format("W {} {}", address, data.size()))) return rc;
  // The part wants a checksum after every 20 lines and, on RESEND, that group again: so one
  // write per group, never the whole block, or the groups after a RESEND would be taken as
  // its repetition.
  for (std::size_t from = 0; from < data.size(); from += kMaxBlock) {
    const std::string_view group = std::string_view(data).substr(from, kMaxBlock);
    std::vector<std::string> lines;
    for (std::size_t pos = 0; pos < group.size(); pos += kUULineBytes)
      lines.push_back(UUEncodeLine(group.substr(pos, kUULineBytes)));
    int rc = kIspResendExceeded;
    for (int attempt = 0; attempt < kAttempts && rc == kIspResendExceeded; ++attempt) {
      if (attempt > 0) LogFile().Debug(fmt::format("Попытка {}", attempt + 1));
      rc = SendDataGroup(lines, ByteSum(group));
    }
    if (rc != 0) return rc;
  }
  return 0;
}

// One group of data lines and its checksum line in one write, then their echoes and the
// reply: 0 for OK, 100 for RESEND (or any other reply), -1 when the line went quiet, -2
// when the part took the group (OK) but echoed something else than was sent.
int TISPInterface::SendDataGroup(const std::vector<std::string>& lines, std::uint32_t sum) {
  const std::string sumLine = std::to_string(sum);
  // The part ends a line at CR, LF or both, so a bare LF spares one byte in 63 on the
  // direction that limits the run.
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  text += sumLine + "\n";
  buffer_.Clear();
  port_.Write(text);
  // Every echo is read even after a wrong one, so that the reply is found where it belongs.
  int echo = 0;
  for (std::size_t i = 0; i <= lines.size(); ++i) {
    const int rc = ExpectEcho(i < lines.size() ? std::string_view(lines[i]) : std::string_view(sumLine));
    if (rc == kIspNoLink) return rc;
    if (echo == 0) echo = rc;
  }
  std::string reply;
  if (int rc = ReadLine(reply)) return rc;
  if (reply != "OK") return kIspResendExceeded;
  if (echo != 0) LogFile().Error(ReturnCodeText(echo));
  return echo;
}

int TISPInterface::ReadMemory(std::uint32_t address, std::size_t count, std::string& text,
                              std::string& bytes) {
  if (count > kMaxBlock) throw Exception(kBlockTooLarge);
  text.clear();
  bytes.clear();
  if (int rc = RunCommand(fmt::format("R {} {}", address, count))) return rc;
  for (int attempt = 1; attempt <= kAttempts; ++attempt) {
    bool matched = false;
    if (int rc = ReadDataBlock(count, text, bytes, matched)) return rc;
    // On RESEND the part sends the same block again; after the last try it is released with
    // OK, and the caller's comparison judges the data.
    SendLine(matched || attempt == kAttempts ? "OK" : "RESEND");
    std::string echo;
    ReadLine(echo);
    if (matched) break;
  }
  return 0;
}

int TISPInterface::ReadDataBlock(std::size_t count, std::string& text, std::string& bytes, bool& matched) {
  text.clear();
  bytes.clear();
  std::size_t lines = (count + kUULineBytes - 1) / kUULineBytes;
  std::string line;
  for (std::size_t i = 0; i < lines; ++i) {
    if (int rc = ReadLine(line)) {
      LogFile().Error("ReadRam");
      return rc;
    }
    bytes += UUDecodeLine(line);
    text += line + "\r\n";
  }
  if (int rc = ReadLine(line)) return rc;
  matched = StrToInt64(line) == static_cast<std::int64_t>(ByteSum(bytes));
  return 0;
}

int TISPInterface::CopyRamToFlash(std::uint32_t flashAddress, std::uint32_t ramAddress, std::size_t count) {
  return RunCommand(fmt::format("C {} {} {}", flashAddress, ramAddress, count));
}

int TISPInterface::GoToAddress(std::uint32_t address, int mode) {
  return RunCommand(fmt::format("G {} {}", address, mode == 0 ? "T" : "A"));
}

void TISPInterface::WritePage(std::uint32_t flashAddress, std::string_view bytes) {
  if (bytes.size() > kPageSize)
    throw Exception(fmt::format("Страница не может превышать {} байт", kPageSize));
  // The copy always moves a whole page: without the padding, the tail would come from
  // whatever the previous page left in RAM.
  std::string page(bytes);
  page.resize(kPageSize, '\xFF');
  std::string encoded;
  const std::size_t half = kPageSize / 2;
  RaiseOnError(WriteRam(kRamBuffer, std::string_view(page).substr(0, half), encoded));
  RaiseOnError(WriteRam(kRamBuffer2, std::string_view(page).substr(half), encoded));
  RaiseOnError(PrepareSectors(0, 27));
  RaiseOnError(CopyRamToFlash(flashAddress, kRamBuffer, kPageSize));
}

void TISPInterface::WriteFastBlock(std::uint32_t flashAddress, std::string_view bytes) {
  const TFlashSector sector = FlashSectorOf(flashAddress);
  const std::uint64_t end = std::uint64_t{flashAddress} + bytes.size();
  if (bytes.empty() || bytes.size() > kFastBlock || bytes.size() % kPageSize != 0 ||
      flashAddress % kPageSize != 0 || sector.Index < 0 || end > std::uint64_t{sector.Start} + sector.Size)
    throw Exception(fmt::sprintf("Неверный блок записи: 0x%.8X, %u байт", flashAddress, bytes.size()));
  RaiseOnError(WriteRamFast(kRamBuffer, bytes));
  // The part copies 256, 512, 1024 or 4096 bytes at a time, and each copy needs its prepare.
  const std::size_t step = bytes.size() == kFastBlock ? kFastBlock : kPageSize;
  for (std::size_t offset = 0; offset < bytes.size(); offset += step) {
    RaiseOnError(PrepareSectors(sector.Index, sector.Index));
    RaiseOnError(CopyRamToFlash(flashAddress + static_cast<std::uint32_t>(offset),
                                kRamBuffer + static_cast<std::uint32_t>(offset), step));
  }
}

int TISPInterface::EnableFlashReadout() {
  std::string encoded;
  int rc = WriteRam(kRamBuffer, FlashReadoutRoutine(), encoded);
  if (rc == 0) rc = UnlockCommands();
  if (rc == 0) rc = GoToAddress(kRamBuffer, 1);
  return rc;
}

void TISPInterface::PatchVectorChecksum(std::string& data) {
  if (data.size() <= 23) return;
  auto word = [&data](std::size_t offset) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i)
      if (offset + i < data.size())
        v |= static_cast<std::uint32_t>(static_cast<unsigned char>(data[offset + i])) << (8 * i);
    return v;
  };
  std::uint32_t sum = 0;
  for (std::size_t offset : {0, 4, 8, 12, 16, 24, 28}) sum += word(offset);
  std::uint32_t check = 0u - sum;
  for (std::size_t i = 0; i < 4; ++i) data[20 + i] = static_cast<char>(check >> (8 * i) & 0xFF);
}

}  // namespace quorvel
