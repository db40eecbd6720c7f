#include "StatusReport.h"

#include "PaymentSystem.h"
#include "SimCard.h"
#include "TextUtils.h"

#include <fmt/format.h>
#include <fmt/printf.h>

namespace quorvel {

namespace {

constexpr const char* kNoData = "нет данных";

std::string ServerLine(const std::string& label, const std::string& value) {
  return " " + PadRight(label, kReportServerLabelWidth) + ": " + value + "\n";
}

std::string Line(const std::string& label, const std::string& value) {
  return ReportLine(label, value) + "\n";
}

std::string Separator() { return " " + std::string(kReportSeparatorWidth, '-') + "\n"; }

std::string SlotLabel(int slotNumber) { return fmt::sprintf("SIM-карта %d", slotNumber); }

std::string SlotDetails(bool priority, const std::string& apn, const std::string& login,
                        const std::string& password) {
  return Line("  Приоритетна", priority ? "[x]" : "[ ]") + Line("  APN", apn) + Line("  Login", login) +
         Line("  Password", password);
}

}  // namespace

// The labels are Cyrillic: padding by bytes would misalign the value column.
std::string PadRight(const std::string& text, int width) {
  const auto length = static_cast<int>(Utf8Length(text));
  return length >= width ? text : text + std::string(static_cast<std::size_t>(width - length), ' ');
}

std::string ReportLine(const std::string& label, const std::string& value) {
  return " " + PadRight(label, kReportLabelWidth) + " : " + value;
}

std::string FormatSimBlock(const TSimCardRec& card, int result) {
  if (result != 0) return Line(SlotLabel(card.SlotNumber), result == 8 ? "не используется" : kNoData);
  return Line(SlotLabel(card.SlotNumber), card.Enabled ? "используется" : "не используется") +
         SlotDetails(card.Priority, card.Apn, card.Login, card.Password);
}

std::string FormatSimCard(const TSimCard& card) {
  if (!card.Enabled) return Line(SlotLabel(card.SlotNumber), "не используется");
  return Line(SlotLabel(card.SlotNumber), "используется") +
         SlotDetails(card.Priority, card.Apn, card.Login, card.Password);
}

std::string FormatStatusReport(const TOrtenaStatus& s) {
  std::string out = " \n";
  out += Separator();
  out += Line("Версия загрузчика", s.LoaderVersion);
  out += Line("Версия ОС", s.OsVersion);
  out += Line("Версия оборудования", s.HardwareVersion);
  out += Line("Заводской номер", s.FactoryNumber);
  out += Line("Модель", s.Model);
  out += Line("Производитель", s.Manufacturer);
  out += Line("Дата и время", s.DateTime);
  out += Line("Дата производства", s.ProductionDate);
  out += Separator();
  out += Line("Номер терминала", s.TerminalNumber);
  out += Line("Серийный номер", s.SerialNumber);
  out += Line("Платежная система", PaymentSystemName(s.ActiveSystem));
  out += Line("Количество повторов", fmt::format("{}", s.RetryCount));
  out += Line("Платежей в очереди", s.DeviceState.QueuedPayments);
  out += Line("Свободно позиций", s.DeviceState.FreePositions);
  out += Line("Напряжение батареи", fmt::sprintf("%s V", s.DeviceState.VoltageText));
  out += Line("Уровень сигнала", s.SignalLevel);
  out += ServerLine("IP адрес сервера", s.ServerAddress);
  out += ServerLine("Порт сервера", s.ServerPort);
  out += FormatSimBlock(s.Sim1, s.Sim1.Result);
  out += FormatSimBlock(s.Sim2, s.Sim2.Result);
  return out;
}

}  // namespace quorvel
