#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "WireText.h"

namespace quorvel {

/// The ordered text fields of a command: the parameters to send or the answer fields
/// received. Each entry holds WIRE BYTES (windows-1251), already quoted where the field is
/// quoted, because the checksums are sums over the 8-bit codes. Operations that take text take
/// UTF-8 and convert it (EEncodingError, naming the character, before anything is appended);
/// the *Raw operations move bytes unchanged.
/// Threads: not synchronised; one thread at a time (TCommand guards its own lists).
class TCommandParams {
 public:
  /// Number of fields.
  std::size_t Count() const { return items_.size(); }
  bool Empty() const { return items_.empty(); }
  /// Removes every field.
  void Clear() { items_.clear(); }
  /// All fields, wire bytes.
  const std::vector<std::string>& Items() const { return items_; }

  /// Appends UTF-8 text unchanged but for the conversion to windows-1251, no quotes (serial
  /// numbers, PIN codes, selectors given as text). EEncodingError when not representable;
  /// Exception (nothing appended) for a comma, a double quote or a control code (0..31, DEL),
  /// which would split the field or break the line.
  void Add(std::string_view utf8);
  /// Appends wire bytes exactly as they are (packet data that must travel unchanged).
  void AddRaw(std::string_view bytes);
  /// Appends the signed decimal text of value, e.g. -5.
  void AppendInt(std::int32_t value);
  /// Appends the UTF-8 text converted to windows-1251 between two double quotes; nothing inside
  /// is escaped. EEncodingError (nothing appended) when a character is not representable;
  /// Exception (nothing appended) for a double quote or a control code (0..31, DEL): the wire
  /// has no escape, and the terminal would end the value or the line there.
  void AppendQuoted(std::string_view utf8);
  /// Appends wire bytes between two double quotes, unchanged; refused as AppendQuoted.
  void AppendQuotedRaw(std::string_view bytes);
  /// Appends "0" for false, "1" for true.
  void AppendBool(bool value);
  /// CheckGuid, then AppendQuoted: the GUID goes in its own letter case, without braces.
  void AppendGuid(std::string_view guid);
  /// Raises Exception "Неверное значение GUID" unless text is a GUID in the 36-character
  /// hyphenated form 8-4-4-4-12 of hexadecimal digits (either case), without braces.
  static void CheckGuid(std::string_view text);

  /// The field converted to UTF-8, or "" when index is outside the list.
  std::string FieldText(int index) const;
  /// The field's wire bytes unchanged, or "" when index is outside the list.
  std::string FieldRaw(int index) const;
  /// Raises Exception "Неверный индекс параметра, <index + 1>" when index is outside the list.
  void CheckIndex(int index) const;
  /// CheckIndex, then the field as a decimal 32-bit integer; EConvertError when it is not one.
  std::int32_t FieldInt(int index) const;
  /// CheckIndex, then true unless the field is exactly "0" (an empty field is true).
  bool FieldBool(int index) const;

  /// Appends the fields of wire text: a double quote toggles the inside-quotes state and is
  /// dropped; a comma inside quotes is kept; a comma outside ends the field, which is appended
  /// even when empty; at the end the pending field is appended only when it is not empty.
  /// So "5," gives 5; "a,,b" gives a, "", b. Returns false when a closing quote is followed by
  /// anything but a comma or the end, or a quote is left open: the value held a double quote
  /// of its own and the fields appended are not what the terminal stored.
  bool SplitFields(std::string_view bytes);
  /// All fields joined with "," (wire bytes).
  std::string JoinFields() const;

  friend bool operator==(const TCommandParams&, const TCommandParams&) = default;

 private:
  std::vector<std::string> items_;
};

/// Message of a result code carried by a +SMERROR line (UTF-8): the known codes have their own texts, and
/// "Ortena: неизвестный код ошибки, <code>" for a code the table does not name.
std::string ResultCodeText(std::int32_t code);

/// Result codes the link sets itself.
inline constexpr std::int32_t kResultOk = 0;               ///< OK line
inline constexpr std::int32_t kResultNoData = 8;           ///< terminal: no requested data
inline constexpr std::int32_t kResultError = 1000;         ///< ERROR line
inline constexpr std::int32_t kResultBadCrc = 1001;        ///< reply checksum wrong or not a number
inline constexpr std::int32_t kResultBadErrorCode = 1002;  ///< +SMERROR code not a number
inline constexpr std::int32_t kResultBreak = 1004;         ///< BREAK on the line
inline constexpr std::int32_t kResultNoLink = 1005;        ///< no complete reply within Timeout
inline constexpr std::int32_t kResultBadQuote = 1006;      ///< a quoted reply value holds a quote

/// Message texts of the frame.
inline constexpr const char* kNoErrorsText = "Ошибок нет";
inline constexpr const char* kErrorLineText = "Устройство вернуло ошибку: ERROR";
inline constexpr const char* kBadCrcText = "Неверная CRC принятого кадра";
inline constexpr const char* kBadErrorCodeText = "Неверное значение кода ошибки в команде SM";
/// Followed by ": " and the reply text (at most 60 characters of it).
inline constexpr const char* kBadQuoteText = "Значение в ответе терминала содержит двойную кавычку";
/// Followed by " (<length> > <cap>)".
inline constexpr const char* kLineTooLongText = "Слишком длинная строка команды";
/// Followed by ": " and the character.
inline constexpr const char* kBadParamCharText = "Недопустимый символ в параметре команды";
inline constexpr const char* kBreakText = "Линия находится в состоянии BREAK";
inline constexpr const char* kNoLinkText =
    "Нет связи с устройством.\r\nТерминал не подключен или находится в неверном режиме.\r\n"
    "Перезапустите терминал, переведите его в режим связи с ПК и повторите операцию.";
inline constexpr const char* kNoDataText = "нет данных";
inline constexpr const char* kEmptyNameText = "Пустое название команды";
inline constexpr const char* kBadGuidText = "Неверное значение GUID";
inline constexpr const char* kBadIndexText = "Неверный индекс параметра";

/// Default Timeout after Reset, ms.
inline constexpr std::int32_t kDefaultTimeoutMs = 2000;
/// Longest reply line kept in LineBuffer, bytes. The longest line of the protocol is a
/// LOADXML/LOADPHONEBASE packet (512 hexadecimal digits plus a few short fields, about 540
/// bytes); a script packet is at most 300 characters. Anything longer is noise (a wrong baud
/// rate gives a stream without line ends) and is discarded up to its line end.
inline constexpr std::size_t kMaxLineLength = kMaxWireLineLength;

/// One framed exchange with the terminal: the command line built from Name, the
/// form and Params, the reply parser and the result. One object is reused for every command
/// of a driver, so SeqNo runs on across commands.
///
/// Text: CommandLine, LineBuffer, AnswerText and the entries of Params and Answer are wire
/// bytes (windows-1251); Name, ProgressText, ResultText, AnswerField and FieldText are UTF-8.
///
/// Threads: Feed runs on the port's receiving thread; Fail on the receiving thread (or any
/// thread) of the command driver; everything else on the caller's thread, one call at a time.
/// Every member takes the object's lock, so a late reply fed while the caller reconfigures
/// the object is safe. Params() hands out the list itself: touch it on the caller's thread
/// only (Feed never reads Params). Done is published last under the lock: the result read
/// after WaitResult (or Done) returned true is the complete result of that exchange.
///
/// Late replies: replies carry no sequence number. After the echo of another command (a line
/// beginning with "AT" that is not CommandLine, also one received before Prepare of this
/// attempt), the lines up to that reply's final line (OK, ERROR, +SMERROR) or up to this
/// command's own echo belong to that other command: its data, ERROR and +SMERROR lines
/// change no result here (SeqNo still advances for them as specified). Once the exchange is
/// complete (Done, timeout or Fail) later lines no longer change its result either, until
/// the next Prepare.
class TCommand {
 public:
  /// Both lists empty, SeqNo 1, the fields as after Reset.
  TCommand();
  TCommand(const TCommand&) = delete;
  TCommand& operator=(const TCommand&) = delete;

  /// Before a new command is configured: clears Name, LineBuffer and Params; Timeout 2000;
  /// WaitForOk false; CheckCrc true; Sequenced false; TextAnswer false. SeqNo, ProgressText,
  /// Answer and the result stay. Caller's thread.
  void Reset();
  /// Before each attempt: clears Answer, ResultCode 0, ResultText "", Done, EchoSeen and
  /// DataSeen false, then BuildLine (Exception "Пустое название команды" for an empty Name,
  /// EEncodingError for a Name windows-1251 cannot hold). Caller's thread.
  void Prepare();
  /// Builds CommandLine with the current SeqNo: "AT" for Name "AT", else "AT+" Name; plain
  /// form: "=" and the parameters joined by "," when there are any; sequenced form:
  /// "=" + "<SeqNo>," + each parameter followed by "," + the checksum of that body.
  /// Exception "Пустое название команды" when Name is empty; Exception naming the character
  /// for a control code (0..31, DEL) in the line, and naming the length for a line longer than
  /// kMaxLineLength (its echo could not come back): such a line is never sent. Caller's thread.
  void BuildLine();
  /// Takes one received chunk of bytes: assembles lines (CR or LF ends a line, bytes 0..31
  /// otherwise dropped, 32..255 kept) and handles each. Never raises. Receiving thread.
  void Feed(std::string_view chunk);
  /// Waits until Done or until Timeout ms have passed, sleeping on a condition variable.
  /// Returns ResultCode; on timeout sets ResultCode 1005 with the no-link message and
  /// returns 1005. Caller's thread.
  std::int32_t WaitResult();
  /// Ends a running exchange from outside (the command driver, when the port is lost): when
  /// the exchange is not yet complete, sets ResultCode and ResultText (UTF-8), then Done, and
  /// wakes WaitResult. Does nothing when the exchange is already complete. Any thread.
  void Fail(std::int32_t code, const std::string& text);

  /// Answer field (UTF-8): "нет данных" for every index when ResultCode is 8 or 1000;
  /// otherwise FieldText of Answer ("" when missing).
  std::string AnswerField(int index) const;
  /// As AnswerField, wire bytes ("нет данных" in windows-1251 after 8 or 1000).
  std::string AnswerFieldRaw(int index) const;
  /// Advances SeqNo: +1, and 1 after 99.
  void NextSeq();
  /// The leading run of Name's characters with codes 65..122 (SMSN for SMSN, CCLK for CCLK?).
  std::string BaseName() const;
  /// Sum of the 8-bit codes of text modulo 256.
  static int FrameCrc(std::string_view text);
  /// Reply checksum test: with k the position of the last comma (0 when none), the first k
  /// characters (up to and including that comma) must sum to the decimal number that is the
  /// rest of the text. A rest that is not a decimal number is a failed test (false).
  static bool CrcValid(std::string_view text);

  /// The parameters to send. Caller's thread only, between Reset and Prepare.
  TCommandParams& Params() { return params_; }
  const TCommandParams& Params() const { return params_; }
  /// A copy of the answer fields received (wire bytes).
  TCommandParams Answer() const;

  std::string Name() const;
  void SetName(const std::string& name);
  bool Sequenced() const;
  void SetSequenced(bool sequenced);
  /// 1..99.
  std::int32_t SeqNo() const;
  /// Exception (range message) outside 1..99.
  void SetSeqNo(std::int32_t seqNo);
  /// ms.
  std::int32_t Timeout() const;
  void SetTimeout(std::int32_t ms);
  bool WaitForOk() const;
  void SetWaitForOk(bool waitForOk);
  bool CheckCrc() const;
  void SetCheckCrc(bool checkCrc);
  /// True: the answer is one quoted text read whole through AnswerText (script packets), so
  /// double quotes inside it are its own characters, not a damaged reply (result 1006).
  bool TextAnswer() const;
  void SetTextAnswer(bool textAnswer);
  /// Label shown while the command runs (UTF-8); not touched by Reset.
  std::string ProgressText() const;
  void SetProgressText(const std::string& text);

  /// The built command line without CR LF (wire bytes).
  std::string CommandLine() const;
  /// Bytes of the reply line being assembled.
  std::string LineBuffer() const;
  /// Text after the first colon of the last data line, trimmed (wire bytes).
  std::string AnswerText() const;
  bool Done() const;
  bool EchoSeen() const;
  bool DataSeen() const;
  std::int32_t ResultCode() const;
  /// Message of ResultCode (UTF-8).
  std::string ResultText() const;

 private:
  void BuildLineLocked();
  void NextSeqLocked();
  void HandleLine(std::string_view line);
  void HandleDataLine(std::string_view line, bool accept);
  void HandleErrorLine(std::string_view line, bool accept);
  void SetResult(std::int32_t code, std::string text);
  void SetDoneLocked();
  std::string BaseNameLocked() const;

  mutable std::mutex lock_;
  std::condition_variable doneChanged_;

  std::string lineBuffer_;
  bool discarding_ = false;  // inside a line longer than kMaxLineLength, dropped to its end
  std::string answerText_;
  bool done_ = false;
  bool sequenced_ = false;
  TCommandParams params_;
  TCommandParams answer_;
  std::int32_t seqNo_ = 1;
  std::string commandLine_;
  std::string resultText_;
  std::int32_t resultCode_ = 0;
  bool echoSeen_ = false;
  bool dataSeen_ = false;
  std::string name_;
  std::string progressText_;
  std::int32_t timeout_ = kDefaultTimeoutMs;
  bool waitForOk_ = false;
  bool checkCrc_ = true;
  bool textAnswer_ = false;

  bool open_ = true;      // the exchange still takes results (not Done, timed out or failed)
  std::string openEcho_;  // echo line whose reply has not reached its final line yet
};

}  // namespace quorvel
