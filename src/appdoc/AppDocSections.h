#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

class TCyberplatKey;
class TCyberplatPoint;
class TFeeTables;
class TGprsProviders;
class TPaymentSystem;
class TPrivateKey;
class TProviderGroup;
class TPublicKey;
class TScripts;
class TServerParams;
class TServiceProviders;
class TSimCards;
class TXmlItem;

/// The pieces of the configuration document that occur in several places (a system's server,
/// scripts, providers and provider tree, keys, fee tables, receipt lines, SIM slots, GPRS
/// operators). Each Write* appends its element(s) as the last children of parent; each Read*
/// looks its element up below the given item with the wrapper's lookup rules (GetItem: the
/// item itself or a direct child, letter case ignored) and raises the wrapper's errors
/// ("Элемент не найден, <name>", "'<text>' - неверное целое значение") or the model's own
/// checks. Values read before an error stay in the model, except that a list entry that
/// failed half way (a script, a provider, a rate, an operator) is not left behind, and keys
/// and the Cyberplat point change only as a whole.
/// Thread rules: as the wrapper (one thread at a time).
namespace appdocxml {

/// Format of the receipt line attribute names, counting from 1.
inline constexpr const char* kLineAttributeFormat = "Line%d";
/// Caption of the root group of a system whose document has no provider tree.
inline constexpr const char* kDefaultGroupText = "Группа 1";

/// `server`: ip, port, trycount, ServerName.
void WriteServerParams(TXmlItem& parent, const TServerParams& params);
/// ip, port and trycount are required (trycount through SetRetryCount); ServerName is
/// optional and cleared first.
void ReadServerParams(TXmlItem& section, TServerParams& params);

/// The system's own values in its section, as the document holds them (MasterPort and PegasMP:
/// test flag, serial number, the three identifiers and both keys; Cyberplat: keys and point;
/// EPort: card and point; XPlat: point and login; OSMP and PegasOSMP: terminal id and login;
/// EasyPay, Krasplat, Absolutplat, Eurofon: the key, certificate and code-word file names as
/// absolute paths, with the device and agent ids; Bercut, UbsPay: their ids and URL); nothing
/// for a system without such values. Passwords and the XPlat key are never written. The
/// server, scripts and providers are not among them (WriteSharedFour).
void WriteCredentials(TXmlItem& section, const TPaymentSystem& system);
void ReadCredentials(TXmlItem& section, TPaymentSystem& system);

/// `scripts`: one `script` (id, text, data) per editable script, in list order.
void WriteScripts(TXmlItem& parent, const TScripts& scripts);
/// ClearEditable, then one new script per child named `script` (letter case ignored), its
/// number through SetNumber; finally Sort.
void ReadScripts(TXmlItem& section, TScripts& scripts);

/// `providers`: one `provider` per provider with its nine values; an empty identifier or text
/// (which the reader's setters would refuse) is left out, so it reads back as the default.
void WriteProviders(TXmlItem& parent, const TServiceProviders& providers);
/// Reads the list element itself (not a parent): clears the list, then one provider per child
/// named exactly `provider`, taking the nine values it meets in any order through the
/// provider's setters.
void ReadProviderList(TXmlItem& list, TServiceProviders& providers);

/// `ProviderGroup`: Text, providers, then the child groups, recursively.
void WriteProviderGroup(TXmlItem& parent, const TProviderGroup& group);
/// Clears the subgroups and providers of root, then reads the optional `ProviderGroup` of
/// section into it; without one, root becomes kDefaultGroupText holding the section's
/// `providers`. Subgroups are children named exactly `ProviderGroup`.
void ReadProviderTree(TXmlItem& section, TProviderGroup& root);

/// The shared four: server, scripts, providers, ProviderGroup.
void WriteSharedFour(TXmlItem& parent, const TPaymentSystem& system);
void ReadSharedFour(TXmlItem& section, TPaymentSystem& system);

/// `name` holding an RSAKeyValue (public: Modulus, Exponent; private: Modulus, Exponent, P, Q,
/// D, DP, DQ, InverseQ).
void WriteKey(TXmlItem& parent, const std::string& name, const TPublicKey& key);
void WriteKey(TXmlItem& parent, const std::string& name, const TPrivateKey& key);

/// `name` with Key, Sig, KeyNum, SigNum, KeyName, SigName; the key type is not written.
void WriteCyberplatKey(TXmlItem& parent, const std::string& name, const TCyberplatKey& key);
/// Reads the six values of element; the key (its type excepted) changes only when all were read.
void ReadCyberplatKey(TXmlItem& element, TCyberplatKey& key);
/// SD, AP, OP below element.
void WriteCyberplatPoint(TXmlItem& element, const TCyberplatPoint& point);
/// Reads SD, AP, OP; the point changes only when all three were read.
void ReadCyberplatPoint(TXmlItem& element, TCyberplatPoint& point);

/// `ServiceProviders`: one `ServiceProvider` per operator, attributes name, apn, login,
/// password.
void WriteGprsProviders(TXmlItem& parent, const TGprsProviders& providers);
/// Reads the list element itself: clears the list, then adds an operator for every element
/// child with a non-blank `name` attribute; other children are skipped. Never raises.
void ReadGprsProviderList(TXmlItem& list, TGprsProviders& providers);

/// `FeeTables`: ItemIndex, then one `FeeTable` (SchemeType, fees/Fee: FeeSum, FeeValue,
/// FeeType) per table.
void WriteFeeTables(TXmlItem& parent, const TFeeTables& tables);
/// Reads the list element itself: ItemIndex, then the k-th `FeeTable` child into the k-th
/// table (further children ignored, missing ones leave their tables). A table's rates are
/// cleared and refilled directly, without the rate rules and without sorting.
void ReadFeeTableList(TXmlItem& list, TFeeTables& tables);

/// A rate as written: up to 15 significant digits, "." as separator ("0.5", "12.35", "1e-07").
std::string FormatFeeValue(double value);
/// Reads a rate written by FormatFeeValue (or any decimal or exponent form with "."); raises
/// EConvertError "'<text>' - неверное вещественное значение" for anything else, infinities
/// and NaN included.
double ParseFeeValue(std::string_view text);
/// Message format of ParseFeeValue's error.
inline constexpr const char* kFloatErrorFormat = "'%s' - неверное вещественное значение";

/// Element `name` with one attribute Line1, Line2, ... per line of text.
void WriteLines(TXmlItem& parent, const std::string& name, const std::string& text);
/// The values of Line1..Line<n> of element, n its number of attributes, each followed by
/// CR LF (a missing attribute gives an empty line).
std::string ReadLines(TXmlItem& element);

/// `SimCards`: one `SimCard` per slot (slotnumber, pin, apn, login, password, enabled,
/// priority).
void WriteSimCards(TXmlItem& parent, const TSimCards& cards);
/// Reads the list element itself: for each child named `SimCard` the slot of that number
/// (created when missing; the list is not cleared) gets the six other values.
void ReadSimCardList(TXmlItem& list, TSimCards& cards);

/// Latin letters upper-cased, everything else kept (identifiers of the MasterPort pair).
std::string UpperLatin(std::string text);

}  // namespace appdocxml

}  // namespace quorvel
