// The terminal's packet transfers (scripts, XML data file, phone base, files in Base64
// parts) and the payment-system settings. Packets must come in order: a packet out of
// turn is refused with code 1 and the transfer in progress stays where it was.
#include <array>
#include <cstdint>

#include <fmt/format.h>

#include "Cp1251.h"
#include "SimTerminal.h"

namespace quorvel::sim::transfers {

namespace {

constexpr std::size_t kScriptPacket = 300;  // characters of one script packet
constexpr std::size_t kDataPacket = 256;    // bytes of one XML or phone base packet
constexpr std::size_t kFilePart = 200;      // Base64 characters of one file part
constexpr std::int64_t kIntMax = 2147483647;

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Strict: groups of four, '=' only as the padding of the last group.
bool DecodeBase64(const std::string& text, std::string& out) {
  out.clear();
  if (text.size() % 4 != 0) return false;
  for (std::size_t at = 0; at < text.size(); at += 4) {
    const bool last = at + 4 == text.size();
    std::array<int, 4> v{};
    int pad = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const char c = text[at + k];
      if (c == '=' && last && k >= 2) {
        ++pad;
        v[k] = 0;
        continue;
      }
      if (pad > 0) return false;
      v[k] = Base64Value(c);
      if (v[k] < 0) return false;
    }
    const std::uint32_t word = (static_cast<std::uint32_t>(v[0]) << 18) |
                               (static_cast<std::uint32_t>(v[1]) << 12) |
                               (static_cast<std::uint32_t>(v[2]) << 6) |
                               static_cast<std::uint32_t>(v[3]);
    out += static_cast<char>((word >> 16) & 0xFF);
    if (pad < 2) out += static_cast<char>((word >> 8) & 0xFF);
    if (pad < 1) out += static_cast<char>(word & 0xFF);
  }
  return true;
}

bool IsBase64Text(const std::string& text) {
  for (char c : text) {
    if (Base64Value(c) < 0 && c != '=') return false;
  }
  return true;
}

bool DecodeHex(const std::string& text, std::string& out) {
  auto digit = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;  // lower case is not how the host writes it
  };
  out.clear();
  if (text.size() % 2 != 0) return false;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int hi = digit(text[i]);
    const int lo = digit(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out += static_cast<char>(hi * 16 + lo);
  }
  return true;
}

std::string EncodeHex(std::string_view bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

void SaveData(TSimCall& c, std::optional<std::string>& data) {
  c.Expect(3, 3);
  const std::int32_t packet = c.Int(0, 0, kIntMax / kDataPacket);
  const std::int32_t count = c.Int(1, 0, kDataPacket);
  std::string bytes;
  if (!DecodeHex(c.TextBytes(2), bytes) || bytes.size() != static_cast<std::size_t>(count)) {
    TSimCall::Refuse(1);
  }
  if (packet == 0) {
    data = bytes;
    return;
  }
  if (!data || data->size() != static_cast<std::size_t>(packet) * kDataPacket) TSimCall::Refuse(1);
  *data += bytes;
}

void LoadData(TSimCall& c, const std::optional<std::string>& data) {
  c.Expect(1, 1);
  const std::int32_t packet = c.Int(0, 0, kIntMax / kDataPacket);
  const std::size_t offset = static_cast<std::size_t>(packet) * kDataPacket;
  if (!data || offset > data->size()) TSimCall::Refuse(8);
  const std::string chunk = data->substr(offset, kDataPacket);
  c.Data(fmt::format("{},{},{},{}", packet, chunk.size(), data->size(),
                     QuoteField(EncodeHex(chunk))));
}

// One part of a file in Base64 parts: "selector, part number, text"; the empty part one
// past the last ends the file, which is then decoded and kept.
void FilePart(TSimCall& c, const std::string& key) {
  c.Expect(3, 3);
  const std::int32_t part = c.Int(1, 1, kIntMax);
  const std::string text = c.TextBytes(2);
  if (text.size() > kFilePart || !IsBase64Text(text)) TSimCall::Refuse(1);
  // Every check comes before the first change: the transfer is changed in place.
  const auto pending = c.P.Files.find(key);
  const bool next = pending != c.P.Files.end() && part == pending->second.first + 1;
  if (part != 1 && !next) TSimCall::Refuse(1);
  if (!text.empty()) {
    if (part == 1) {
      c.P.Files[key] = {part, text};
    } else {
      pending->second.first = part;
      pending->second.second += text;
    }
    return;
  }
  std::string decoded;
  if (part == 1 || !DecodeBase64(pending->second.second, decoded) || decoded.empty()) TSimCall::Refuse(1);
  c.S.Files[key] = std::move(decoded);
  c.P.Files.erase(pending);
}

void SetCredential(TSimCall& c, const char* key, std::size_t index) {
  c.S.Credentials[key] = c.Text(index);
}

void ReadCredential(TSimCall& c, const char* key) {
  c.Expect(1, 1);
  const auto it = c.S.Credentials.find(key);
  if (it == c.S.Credentials.end() || it->second.empty()) TSimCall::Refuse(8);
  c.Data(TSimCall::Q(it->second));
}

// SMABSOLUTPLAT and SMEUROFON: 1 agent id, 2 device id, 3 code word in parts, 4 and 5 read.
void AgentDevice(TSimCall& c, const char* agent, const char* device, const std::string& file) {
  c.Expect(1, 3);
  const std::int32_t selector = c.Int(0, 1, 5);
  switch (selector) {
    case 1: c.Expect(2, 2); SetCredential(c, agent, 1); break;
    case 2: c.Expect(2, 2); SetCredential(c, device, 1); break;
    case 3: FilePart(c, file); break;
    case 4: ReadCredential(c, agent); break;
    default: ReadCredential(c, device); break;
  }
}

}  // namespace

void SmScript(TSimCall& c) {
  c.Expect(3, 4);
  const std::int32_t action = c.Int(0, 1, 2);
  const std::int32_t number = c.Int(1, 0, kIntMax);
  const std::int32_t packet = c.Int(2, 1, kIntMax);
  if (action == 2) {
    c.Expect(3, 3);
    const auto it = c.S.Scripts.find(number);
    if (it == c.S.Scripts.end() || static_cast<std::size_t>(packet) > it->second.size() + 1) {
      TSimCall::Refuse(8);
    }
    const std::size_t index = static_cast<std::size_t>(packet) - 1;
    c.Data(TSimCall::Q(index < it->second.size() ? it->second[index] : std::string()));
    return;
  }
  c.Expect(4, 4);
  const std::string bytes = c.TextBytes(3);
  if (bytes.size() > kScriptPacket) TSimCall::Refuse(1);
  auto pending = c.P.Scripts.find(number);
  if (packet == 1) {
    c.P.Scripts[number].clear();
    pending = c.P.Scripts.find(number);
  } else if (pending == c.P.Scripts.end() ||
             static_cast<std::size_t>(packet) != pending->second.size() + 1) {
    TSimCall::Refuse(1);
  }
  if (!bytes.empty()) {
    pending->second.push_back(Cp1251ToUtf8(bytes));
    return;
  }
  c.S.Scripts[number] = pending->second;
  c.P.Scripts.erase(pending);
}

void SaveXml(TSimCall& c) { SaveData(c, c.S.XmlData); }
void LoadXml(TSimCall& c) { LoadData(c, c.S.XmlData); }
void SavePhoneBase(TSimCall& c) { SaveData(c, c.S.PhoneBase); }
void LoadPhoneBase(TSimCall& c) { LoadData(c, c.S.PhoneBase); }

void SmEasyPay(TSimCall& c) {
  c.Expect(3, 3);
  const std::int32_t selector = c.Int(0, 1, 2);
  FilePart(c, fmt::format("SMEASYPAY.{}", selector));
}

void SmKrasplat(TSimCall& c) {
  c.Expect(3, 3);
  const std::int32_t selector = c.Int(0, 1, 4);
  if (selector == 4) {
    c.Int(1, 0, 0);
    SetCredential(c, cred::kKrasplatDeviceId, 2);
    return;
  }
  FilePart(c, fmt::format("SMKRASPLAT.{}", selector));
}

void SmBercut(TSimCall& c) {
  c.Expect(2, 2);
  c.Int(0, 2, 2);
  SetCredential(c, cred::kBercutDeviceId, 1);
}

void SmAbsolutplat(TSimCall& c) {
  AgentDevice(c, cred::kAbsolutplatAgentId, cred::kAbsolutplatDeviceId, files::kAbsolutplatCodeWord);
}

void SmEurofon(TSimCall& c) {
  AgentDevice(c, cred::kEurofonAgentId, cred::kEurofonDeviceId, files::kEurofonCodeWord);
}

void SmSpb(TSimCall& c) {
  c.Expect(1, 2);
  const std::int32_t selector = c.Int(0, 1, 5);
  if (selector >= 4) {
    ReadCredential(c, selector == 4 ? cred::kUbsPayAgentId : cred::kUbsPayDeviceId);
    return;
  }
  c.Expect(2, 2);
  const char* keys[] = {cred::kUbsPayAgentId, cred::kUbsPayDeviceId, cred::kUbsPayUrl};
  SetCredential(c, keys[selector - 1], 1);
}

void SmCrSalePoint(TSimCall& c) {
  c.Expect(3, 3);
  c.S.Credentials[cred::kCyberSD] = c.Raw(0);
  c.S.Credentials[cred::kCyberAP] = c.Raw(1);
  c.S.Credentials[cred::kCyberOP] = c.Raw(2);
}

void SmCrSecSet(TSimCall& c) {
  c.Expect(4, 4);
  SetCredential(c, cred::kSecKeyCode, 0);
  c.S.Credentials[cred::kSecKeyRest] = c.Raw(1);
  SetCredential(c, cred::kSecKey, 2);
  SetCredential(c, cred::kSecPassword, 3);
}

void SmCrPubSet(TSimCall& c) {
  c.Expect(3, 3);
  SetCredential(c, cred::kPubKeyCode, 0);
  c.S.Credentials[cred::kPubKeyRest] = c.Raw(1);
  SetCredential(c, cred::kPubKey, 2);
}

void EpCard(TSimCall& c) {
  c.Expect(2, 2);
  SetCredential(c, cred::kEPortCardNumber, 0);
  SetCredential(c, cred::kEPortCardPin, 1);
}

void EpPoint(TSimCall& c) {
  c.Expect(1, 1);
  SetCredential(c, cred::kEPortPoint, 0);
}

void XpCassir(TSimCall& c) {
  c.Expect(3, 3);
  SetCredential(c, cred::kXPlatPoint, 0);
  SetCredential(c, cred::kXPlatLogin, 1);
  SetCredential(c, cred::kXPlatPassword, 2);
}

void XpKey(TSimCall& c) {
  c.Expect(1, 1);
  SetCredential(c, cred::kXPlatKey, 0);
}

void OsmpParams(TSimCall& c) {
  c.Expect(2, 2);
  SetCredential(c, cred::kOsmpLogin, 0);
  SetCredential(c, cred::kOsmpPassword, 1);
}

void OsmpId(TSimCall& c) {
  c.Expect(1, 1);
  SetCredential(c, cred::kOsmpTerminalId, 0);
}

}  // namespace quorvel::sim::transfers
