#pragma once

#include "Ortenas.h"

#include <string>

namespace quorvel {

class TSimCard;

/// Width of the labels of the report's value lines, in characters.
inline constexpr int kReportLabelWidth = 19;
/// Width of the labels of the two server lines, which put the value in the same column.
inline constexpr int kReportServerLabelWidth = 20;
/// Characters of a separator line.
inline constexpr int kReportSeparatorWidth = 58;

/// text followed by blanks up to width characters (counted as characters, not UTF-8 bytes);
/// a longer text is kept whole.
std::string PadRight(const std::string& text, int width);

/// " <label padded to 19 characters> : <value>" (padding counts characters, not bytes).
std::string ReportLine(const std::string& label, const std::string& value);

/// The status page's report, one line per report line, each ended by "\n": a line holding a
/// single blank, a separator, the versions and identity, a separator, the terminal's numbers,
/// queue and battery, the server, then the SIM blocks of both slots.
std::string FormatStatusReport(const TOrtenaStatus& status);

/// The report's block of one SIM slot read with result code result (0, 8 or 1000): the slot
/// line ("используется", "не используется" or "нет данных") and, for result 0 only, the
/// priority, APN, login and password lines.
std::string FormatSimBlock(const TSimCardRec& card, int result);

/// The block of a slot of the document (as read into it): the slot line, and the four detail
/// lines when the slot is in use.
std::string FormatSimCard(const TSimCard& card);

}  // namespace quorvel
