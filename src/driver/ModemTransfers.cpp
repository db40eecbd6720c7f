// Packet transfers: the data files in hexadecimal, input scripts, Base64 key files.
#include "AnswerFields.h"
#include "Cp1251.h"
#include "Errors.h"
#include "FileText.h"
#include "ModemDriver.h"
#include "TextUtils.h"
#include "TransferProgress.h"
#include "WireText.h"

#include <fmt/printf.h>

namespace quorvel {

namespace {

// A terminal that never ends a read (a firmware fault, a garbled line) must not keep the
// program reading for ever; no terminal holds anywhere near this much.
constexpr int kMaxReadPackets = 100000;

struct TDataFileCommand {
  const char* SaveName;
  const char* LoadName;
  const char* SaveFmt;
  const char* LoadFmt;
};

TDataFileCommand DataFileCommand(TDataFile file) {
  if (file == TDataFile::PhoneBase)
    return {"SAVEPHONEBASE", "LOADPHONEBASE", "Запись данных базы номеров, пакет %d",
            "Чтение данных базы номеров, пакет %d"};
  return {"SAVEXML", "LOADXML", "Запись данных XML файла, пакет %d", "Чтение данных XML файла, пакет %d"};
}

// A script packet is script source: it holds quoted strings and commas of its own, which
// the general field splitting would drop and cut. The text is everything between the first
// and the last quote before the checksum.
std::string ScriptPacketText(std::string_view answer) {
  const auto comma = answer.rfind(',');
  std::string_view text = comma == std::string_view::npos ? answer : answer.substr(0, comma);
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
  return std::string(text);
}

[[noreturn]] void RaiseTooLong() {
  throw Exception("Терминал передает данные без конца: чтение прервано");
}

}  // namespace

void TModemDriver::CheckStop() const {
  if (StopRequested()) RaiseAbort();
}

int TModemDriver::SaveDataPacket(TDataFile file, int packetNumber, std::string_view bytes) {
  const TDataFileCommand target = DataFileCommand(file);
  TCommandParams& params = Begin(target.SaveName, true).Params();
  params.AppendInt(packetNumber);
  params.AppendInt(static_cast<std::int32_t>(bytes.size()));
  params.AppendQuotedRaw(StrToHex(bytes));
  return RunWith(fmt::sprintf(target.SaveFmt, packetNumber));
}

int TModemDriver::LoadDataPacket(TDataFile file, int packetNumber, std::string& bytes) {
  const TDataFileCommand target = DataFileCommand(file);
  Begin(target.LoadName, true).Params().AppendInt(packetNumber);
  const int result = RunWith(fmt::sprintf(target.LoadFmt, packetNumber));
  if (!Succeeded(result)) return result;
  const TCommand& command = Command();
  const std::int32_t count = DataInt(command, 1);
  std::string data = HexToStr(DataFieldRaw(command, 3));
  // Fewer bytes than announced is a damaged packet, not a short one: taking it as the end
  // of the file would silently drop the rest.
  if (count < 0 || static_cast<std::size_t>(count) > data.size())
    throw Exception(fmt::sprintf("Неверный размер пакета %d: %d байт, получено %d", packetNumber, count,
                                 static_cast<int>(data.size())));
  data.resize(static_cast<std::size_t>(count));
  bytes = std::move(data);
  return result;
}

void TModemDriver::WriteDataFile(TDataFile file, std::string_view bytes) {
  const auto count = static_cast<std::size_t>(DataFilePackets(bytes.size()));
  for (std::size_t packet = 0; packet < count; ++packet) {
    CheckStop();
    const std::string_view part = bytes.substr(packet * kDataPacketSize, kDataPacketSize);
    CheckResultStrict(SaveDataPacket(file, static_cast<int>(packet), part));
  }
}

std::string TModemDriver::ReadDataFile(TDataFile file) {
  std::string result;
  for (int packet = 0; packet < kMaxReadPackets; ++packet) {
    CheckStop();
    std::string part;
    CheckResultStrict(LoadDataPacket(file, packet, part));
    result += part;
    if (part.size() < kDataPacketSize) return result;
  }
  RaiseTooLong();
}

int TModemDriver::WriteScriptPacket(int scriptNumber, int packetNumber, std::string_view bytes) {
  TCommandParams& params = Begin("SMSCRIPT", true).Params();
  params.AppendInt(1);
  params.AppendInt(scriptNumber);
  params.AppendInt(packetNumber);
  params.AppendQuotedRaw(bytes);
  return RunWith(fmt::sprintf("%s %d", "Запись сценария ввода", scriptNumber));
}

int TModemDriver::ReadScriptPacket(int scriptNumber, int packetNumber, std::string& bytes) {
  TCommand& command = Begin("SMSCRIPT", true);
  command.SetTextAnswer(true);  // script source: taken whole from AnswerText, quotes and all
  TCommandParams& params = command.Params();
  params.AppendInt(2);
  params.AppendInt(scriptNumber);
  params.AppendInt(packetNumber);
  const int result = RunWith(fmt::sprintf("%s %d", "Чтение сценария ввода", scriptNumber));
  if (Succeeded(result)) bytes = ScriptPacketText(Command().AnswerText());
  return result;
}

std::string StripScriptText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  bool inComment = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      inComment = false;
      continue;
    }
    if (inComment) continue;
    if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
      inComment = true;
      continue;
    }
    out += c;
  }
  return out;
}

std::string ScriptWireText(std::int32_t scriptNumber, std::string_view utf8Text) {
  const std::string caption = fmt::sprintf("%s %d", "Сценарий ввода", scriptNumber);
  std::string text;
  try {
    text = StripScriptText(Utf8ToCp1251(utf8Text));
  } catch (const EEncodingError& e) {
    throw EEncodingError(fmt::sprintf("Поле \"%s\": %s", caption, e.what()));
  }
  constexpr char kApostrophe = '\'';
  bool inString = false;
  for (char& c : text) {
    if (c == kApostrophe) inString = !inString;
    if (c == '\t' && !inString) c = ' ';
  }
  // What is left is checked as any quoted value: a TAB inside a string is refused with the rest.
  CheckWireChars(Cp1251ToUtf8(text), caption);
  return text;
}

void TModemDriver::WriteScript(int scriptNumber, std::string_view utf8Text) {
  // Made whole first: a character the terminal cannot hold stops the transfer before its
  // first packet.
  const std::string text = ScriptWireText(scriptNumber, utf8Text);
  const std::size_t count = (text.size() + kScriptPacketSize - 1) / kScriptPacketSize;
  const std::string_view all(text);
  for (std::size_t packet = 1; packet <= count; ++packet) {
    CheckStop();
    const std::string_view part = all.substr((packet - 1) * kScriptPacketSize, kScriptPacketSize);
    CheckResultStrict(WriteScriptPacket(scriptNumber, static_cast<int>(packet), part));
  }
  CheckStop();
  CheckResultStrict(WriteScriptPacket(scriptNumber, static_cast<int>(count + 1), ""));
}

std::string TModemDriver::ReadScript(int scriptNumber) {
  std::string bytes;
  for (int packet = 1;; ++packet) {
    if (packet > kMaxReadPackets) RaiseTooLong();
    CheckStop();
    std::string part;
    if (!CheckData(ReadScriptPacket(scriptNumber, packet, part)) || part.empty()) break;
    bytes += part;
  }
  return Cp1251ToUtf8(bytes);
}

std::string DriverBase64(std::string_view bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t left = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < 3; ++k)
      group = (group << 8) | (k < left ? static_cast<unsigned char>(bytes[i + k]) : 0U);
    for (std::size_t k = 0; k < 4; ++k)
      out += k <= left ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
  }
  return out;
}

void TModemDriver::WriteKeyFile(TKeyFile file, const std::string& fileName) {
  WriteKeyFileData(file, ReadFileText(fileName));
}

void TModemDriver::WriteKeyFileData(TKeyFile file, std::string_view bytes) {
  if (bytes.empty()) throw Exception(kEmptyFileMessage);
  const std::string text = DriverBase64(bytes);
  const std::string_view all(text);
  const std::size_t count = (text.size() + kKeyPacketSize - 1) / kKeyPacketSize;
  for (std::size_t packet = 1; packet <= count; ++packet) {
    CheckStop();
    const std::string_view part = all.substr((packet - 1) * kKeyPacketSize, kKeyPacketSize);
    CheckResultStrict(SendKeyFilePacket(file, static_cast<int>(packet), part));
  }
  CheckStop();
  CheckResultStrict(SendKeyFilePacket(file, static_cast<int>(count + 1), ""));
}

}  // namespace quorvel
