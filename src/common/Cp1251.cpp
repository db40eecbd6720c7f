#include "Cp1251.h"

#include "Errors.h"
#include "TextUtils.h"

#include <cerrno>
#include <iconv.h>

#include <fmt/format.h>

namespace quorvel {

namespace {

constexpr unsigned char kUndefinedByte = 0x98;  // the only hole in windows-1251

// One iconv descriptor per direction and thread: iconv_open is costly and a descriptor
// carries conversion state, so it must not be shared between threads.
class IconvHandle {
public:
  IconvHandle(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1))
      throw EEncodingError(fmt::format("Преобразование {} -> {} недоступно", from, to));
  }
  ~IconvHandle() { iconv_close(cd_); }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;

  iconv_t get() {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // reset shift state
    return cd_;
  }

private:
  iconv_t cd_;
};

iconv_t ToCp1251() {
  thread_local IconvHandle h("CP1251", "UTF-8");
  return h.get();
}

iconv_t ToUtf8() {
  thread_local IconvHandle h("UTF-8", "CP1251");
  return h.get();
}


}  // namespace

std::string Utf8ToCp1251(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  iconv_t cd = ToCp1251();
  char* in = const_cast<char*>(utf8.data());
  std::size_t inLeft = utf8.size();
  char buf[1024];
  while (inLeft > 0) {
    char* outPtr = buf;
    std::size_t outLeft = sizeof buf;
    std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(buf, static_cast<std::size_t>(outPtr - buf));
    if (rc != static_cast<std::size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // U+0098 stands for the undefined byte 0x98 (see Cp1251ToUtf8).
    if (inLeft >= 2 && static_cast<unsigned char>(in[0]) == 0xC2 && static_cast<unsigned char>(in[1]) == 0x98) {
      out.push_back(static_cast<char>(kUndefinedByte));
      in += 2;
      inLeft -= 2;
      continue;
    }
    std::size_t len = Utf8SequenceLength(static_cast<unsigned char>(in[0]));
    if (errno == EILSEQ && len > 1 && len <= inLeft)
      throw EEncodingError(fmt::format("Символ \"{}\" (U+{:04X}) нельзя записать в кодировке windows-1251",
                                       std::string_view(in, len), [&] {
                                         unsigned cp = static_cast<unsigned char>(in[0]) & (0xFF >> (len + 1));
                                         for (std::size_t i = 1; i < len; ++i)
                                           cp = (cp << 6) | (static_cast<unsigned char>(in[i]) & 0x3F);
                                         return cp;
                                       }()));
    throw EEncodingError("Текст не в кодировке UTF-8");
  }
  return out;
}

std::string Cp1251ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  iconv_t cd = ToUtf8();
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  char buf[2048];
  while (inLeft > 0) {
    char* outPtr = buf;
    std::size_t outLeft = sizeof buf;
    std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(buf, static_cast<std::size_t>(outPtr - buf));
    if (rc != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
    // Only the undefined byte 0x98 fails; keep it as the code point of the same number.
    auto b = static_cast<unsigned char>(*in);
    out.push_back(static_cast<char>(0xC0 | (b >> 6)));
    out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
    ++in;
    --inLeft;
  }
  return out;
}

bool IsCp1251Representable(std::string_view utf8) {
  try {
    Utf8ToCp1251(utf8);
    return true;
  } catch (const EEncodingError&) {
    return false;
  }
}

}  // namespace quorvel
