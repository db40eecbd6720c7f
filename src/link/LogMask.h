#pragma once

#include <string>
#include <string_view>

namespace quorvel {

/// Text that stands in the log for a secret value.
inline constexpr const char* kMaskedValue = "***";

/// Wire text (windows-1251 bytes, any number of lines) as the log may show it: in the lines
/// of the commands that carry private key material or passwords, and in their echoes and
/// answers, those values are replaced by kMaskedValue (quotes kept). Masked: SMRSA with the
/// private parts PRTP, PRTQ, PRTDP, PRTDQ, PRTIQ and PRTD; the PIN and password of
/// SMSIMSETUP (and the password of its answer); the key body and password of SMCRSECSET; the
/// PIN of EPCARD; the password of XPCASSIR; the key of XPKEY; the password of OSMPPARAMS; the
/// key and code-word packets of SMEASYPAY, SMKRASPLAT, SMABSOLUTPLAT and SMEUROFON. Every
/// other line is returned unchanged.
std::string MaskSecrets(std::string_view wireText);

/// MaskSecrets for text that arrives in pieces (the chunks a port receives): a piece that
/// ends inside a line which may carry a secret is held until the line is complete, so a
/// value cut in two is still masked. Everything else comes back at once.
/// Threads: one thread at a time.
class TLogLineMask {
 public:
  /// The part of everything fed so far that can be logged now, masked.
  std::string Feed(std::string_view chunk);

 private:
  std::string pending_;
  bool midLine_ = false;  // what went out last ended inside a line
};

}  // namespace quorvel
