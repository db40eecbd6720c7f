#pragma once

#include "FeeTable.h"
#include "Ortenas.h"
#include "PaymentSystem.h"
#include "SimCard.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace quorvel {

class TXmlItem;

/// The groups of terminal settings a profile may hold, in the order they are written.
enum class TProfileGroup {
  Firmware,     ///< a firmware image, written first through the bootloader
  Paysys,       ///< the active payment system and its server parameters
  Credentials,  ///< the active system's identifiers, keys, passwords and key files
  Sim,          ///< the SIM card slots
  Header,       ///< the receipt header lines
  Trailer,      ///< the advertisement lines
  Fees,         ///< the ten fee tables
  Scripts,      ///< the input scripts of the active payment system
  XmlData,      ///< the provider file
  PhoneBase,    ///< the phone-number base
};

using TProfileGroups = std::set<TProfileGroup>;

/// Every group, in writing order.
const std::vector<TProfileGroup>& AllProfileGroups();
/// The name of a group on the command line and in reports (firmware, paysys, credentials,
/// sim, header, trailer, fees, scripts, xmldata, phonebase).
std::string ProfileGroupName(TProfileGroup group);
/// Groups from a comma-separated list of names; raises Exception "Неизвестная группа
/// настроек: <name>" for a name that is not one. An empty list is every group.
TProfileGroups ParseProfileGroups(const std::string& list);

/// Root element of a profile file (the configuration document's own).
inline constexpr const char* kProfileRootName = "settings";

/// The settings of a whole terminal, or of some groups of them, kept in a file of the
/// configuration document's schema (Quorvel.xml) holding only the elements of its groups:
///   ActiveSystemID                       paysys, credentials, scripts
///   the active system's section          paysys (its `server`), scripts (its `scripts`),
///     named as in the document             credentials (the document's values of the system,
///     (Masterport, PegasMP, the short      and what the document never keeps: `Password`,
///     name), the root for EPort            the XPlat `Key`, the contents of the key,
///                                          certificate and code-word files in Base64 as
///                                          `KeyFile`, `CerFile`, `WordFile`)
///   FeeTables                            fees
///   UpdateParams/Header, Trailer         header, trailer
///   SimCards                             sim
///   XmlData, PhoneBase, Firmware         xmldata, phonebase, firmware (a HEX file): the
///                                        file's bytes in Base64 (elements the document
///                                        does not have)
/// A group is in the profile when its element is in the file.
/// Threads: one thread at a time; separate profiles may be used on separate threads.
class TProfile {
 public:
  /// No groups; all thirteen payment systems with their defaults; active system 0.
  TProfile();
  TProfile(const TProfile&) = delete;
  TProfile& operator=(const TProfile&) = delete;

  /// The groups the profile holds.
  TProfileGroups Groups;

  /// The active payment system's code (ActiveSystemID).
  std::int32_t ActiveSystem() const { return activeSystem_; }
  /// Raises Exception "Неизвестная платежная система, <code>" for a code no system has.
  void SetActiveSystem(std::int32_t code);
  /// The payment system of ActiveSystem (MasterPort for 0, OSMP for 4).
  TPaymentSystem& System() const;

  TSimCards SimCards;
  TFeeTables FeeTables;
  std::string Header;     ///< lines ended by CR LF
  std::string Trailer;    ///< lines ended by CR LF
  std::string XmlData;    ///< bytes
  std::string PhoneBase;  ///< bytes
  std::string Firmware;   ///< the bytes of an Intel HEX file
  /// The contents of the active system's key, certificate and code-word files (credentials).
  TPaysysFileData Files;

  /// The profile as the bytes of its file (windows-1251 XML).
  std::string SaveToText() const;
  /// Writes the file atomically; raises "Ошибка записи файла ...".
  void SaveToFile(const std::string& fileName) const;
  /// Reads a profile's bytes (name is used in messages). Raises "Ошибка чтения файла <name>"
  /// with the reason for a file that is not XML, "Профиль <name>: <reason>" for a group that
  /// cannot be read, and "Профиль <name> не содержит ни одной группы настроек" for an empty
  /// one. A failed read leaves nothing of the file in the profile but the groups before the
  /// failing one.
  void LoadFromText(const std::string& bytes, const std::string& name);
  /// LoadFromText of the file's bytes (its read errors).
  void LoadFromFile(const std::string& fileName);

  /// The group's element(s) as XML text, the form two profiles are compared in; "" when the
  /// profile lacks the group.
  std::string GroupText(TProfileGroup group) const;

 private:
  void WriteSystem(TXmlItem& root, const TProfileGroups& groups) const;
  void ReadSystem(TXmlItem& section);
  void WriteGroup(TXmlItem& root, TProfileGroup group) const;
  void ReadGroups(TXmlItem& root);

  TPaymentSystems systems_;
  std::int32_t activeSystem_ = 0;
};

}  // namespace quorvel
