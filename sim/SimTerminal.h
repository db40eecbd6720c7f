#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "SimFaults.h"
#include "SimPortHandler.h"
#include "SimState.h"
#include "SimWireFormat.h"

namespace quorvel::sim {

/// What the terminal shares with the simulator's public side; guarded by the server's lock.
struct TSimShared {
  TSimState State;
  std::optional<TSimState> Backup;
  TSimFaults Faults;
  bool DebugLines = false;
  bool UnsolicitedLines = false;
  bool BootloaderOnSync = false;
  std::uint64_t CommandCount = 0;
};

/// Transfers in progress: they live in the terminal's working memory and a restart drops
/// them.
struct TSimPending {
  std::map<std::int32_t, std::vector<std::string>> Scripts;  ///< number -> packets so far
  std::map<std::string, std::pair<int, std::string>> Files;  ///< key -> (parts, Base64 text)
};

/// A command refused with a terminal error code (+SMERROR).
struct TSimRefusal {
  std::int32_t Code;
};

/// One command being carried out: its parameters, the state it may change (a copy that is
/// kept only when the command succeeds) and the reply lines it builds. The large values of
/// the state (XmlData, PhoneBase, Files) and the transfers in progress are the terminal's
/// own, lent for the call: a handler changes them only after its last Refuse.
class TSimCall {
 public:
  TSimCall(std::string name, bool sequenced, std::vector<TSimArg> args, TSimState& state,
           TSimPending& pending, const std::optional<TSimState>& backup);

  std::size_t Count() const { return args_.size(); }
  /// Refuses with code 1 unless there are between min and max parameters.
  void Expect(std::size_t min, std::size_t max) const;
  /// Parameter i as an unquoted decimal number in min..max; otherwise refused with code 1.
  std::int32_t Int(std::size_t i, std::int64_t min, std::int64_t max) const;
  /// Parameter i, which must be quoted, as UTF-8.
  std::string Text(std::size_t i) const;
  /// Parameter i, which must be quoted, as the wire bytes.
  std::string TextBytes(std::size_t i) const;
  /// Parameter i, which must not be quoted, as UTF-8.
  std::string Raw(std::size_t i) const;
  [[noreturn]] static void Refuse(std::int32_t code = 1);

  /// A data line "+BASE: fields" (with the checksum in the sequenced form); fields are
  /// wire bytes joined by commas.
  void Data(const std::string& fields);
  /// A bare answer line (plain commands).
  void Line(const std::string& bytes);
  /// A UTF-8 text quoted for the wire; a character windows-1251 lacks refuses with code 2.
  static std::string Q(const std::string& utf8);
  /// A UTF-8 text as wire bytes; a character windows-1251 lacks refuses with code 2.
  static std::string W(const std::string& utf8);
  /// Code 8 when the text is empty.
  static void Need(const std::string& value);

  const std::string& Name() const { return name_; }
  bool Sequenced() const { return sequenced_; }
  const std::vector<std::string>& Lines() const { return lines_; }
  int ChecksumIndex() const { return checksumIndex_; }

  TSimState& S;
  TSimPending& P;
  const std::optional<TSimState>& Backup;

 private:
  const TSimArg& Arg(std::size_t i) const;

  std::string name_;
  bool sequenced_;
  std::vector<TSimArg> args_;
  std::vector<std::string> lines_;
  int checksumIndex_ = -1;
};

/// A command of the catalogue: its wire name, form and handler.
struct TSimCommandDef {
  const char* Name;
  bool Sequenced;
  void (*Run)(TSimCall&);
};

/// The catalogue entry of a command name, or nullptr for an unknown command.
const TSimCommandDef* FindSimCommand(const std::string& name);

/// Handlers of the packet transfers and payment-system settings (SimTransfers.cpp).
namespace transfers {
void SmScript(TSimCall& c);
void SaveXml(TSimCall& c);
void LoadXml(TSimCall& c);
void SavePhoneBase(TSimCall& c);
void LoadPhoneBase(TSimCall& c);
void SmEasyPay(TSimCall& c);
void SmKrasplat(TSimCall& c);
void SmBercut(TSimCall& c);
void SmAbsolutplat(TSimCall& c);
void SmEurofon(TSimCall& c);
void SmSpb(TSimCall& c);
void SmCrSalePoint(TSimCall& c);
void SmCrSecSet(TSimCall& c);
void SmCrPubSet(TSimCall& c);
void EpCard(TSimCall& c);
void EpPoint(TSimCall& c);
void XpCassir(TSimCall& c);
void XpKey(TSimCall& c);
void OsmpParams(TSimCall& c);
void OsmpId(TSimCall& c);
}  // namespace transfers

/// The terminal's command mode: assembles lines, checks and carries out commands, applies
/// the armed faults and queues the replies.
/// Threads: server thread only, with the server's lock held.
class TSimTerminal : public ISimPortHandler {
 public:
  /// enterBootloader is asked when "?" is the first line after a restart; it gets the
  /// bytes of that line with its line end and returns false when there is no bootloader.
  using TEnterBootloader = std::function<bool(std::string_view trigger)>;

  TSimTerminal(TSimShared& shared, TEnterBootloader enterBootloader);

  void Feed(std::string_view bytes, ISimWire& wire) override;
  /// A reboot: drops the unfinished line and the transfers in progress; the next line may
  /// enter the bootloader.
  void Restart();
  /// The line being assembled is lost, as when the cable is pulled in the middle of it.
  void DropLine();
  /// Queues an unsolicited line when those are switched on (the server's idle timer).
  void IdleNoise(ISimWire& wire);

 private:
  void HandleLine(const std::string& line, ISimWire& wire);
  std::vector<std::string> Execute(const std::string& line, int& checksumIndex);
  void SendReply(const std::string& echo, const std::vector<std::string>& lines, const TSimFaultHit& hit,
                 ISimWire& wire);
  void Noise(std::vector<std::string>& out);

  TSimShared& shared_;
  TEnterBootloader enterBootloader_;
  TSimPending pending_;
  std::string line_;
  bool overflow_ = false;
  bool bootWindow_ = false;
};

}  // namespace quorvel::sim
