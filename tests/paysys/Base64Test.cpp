#include "Base64.h"

#include "Errors.h"
#include "RandomBytes.h"
#include "TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <random>

using namespace quorvel;
using namespace std::string_literals;

namespace {

using quorvel::test::RandomBytes;

}  // namespace

TEST(Base64, EncodesWithStandardAlphabetAndPadding) {
  const struct {
    std::string bytes;
    std::string text;
  } rows[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {"\x00\x01\x00\x01"s, "AAEAAQ=="},  // public exponent 65537 as four bytes
      {"\x00\x00\x00"s, "AAAA"},          // trailing zero bytes are encoded, not dropped
      {"a\x00"s, "YQA="},
      {"\xFB\xFF\xBF", "+/+/"},  // the two last alphabet characters
      {"\xFF\xFF", "//8="},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(Base64Encode(row.bytes), row.text) << row.text;
    if (!row.bytes.empty()) {
      EXPECT_EQ(Base64Decode(row.text), row.bytes) << row.text;
    }
  }
}

TEST(Base64, DecodingRefusesLengthsThatAreNotAWholeGroup) {
  for (const std::string text : {"", "A", "AB", "ABC", "ABCDE", "ABCDEF", "ABCDEFG", "QUJD\nREVG"}) {
    try {
      Base64Decode(text);
      ADD_FAILURE() << "no error for '" << text << "'";
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), "Base64ToStr: illegal input length!") << text;
    }
  }
}

TEST(Base64, DecodingCountsForeignCharactersAsSixtyOne) {
  const struct {
    std::string text;
    std::string bytes;
  } rows[] = {
      // ' ' and the '9' it stands for: 0, 61, 0, 0 -> 0x03D000
      {"A AA", "\x03\xD0\x00"s},
      {"A9AA", "\x03\xD0\x00"s},
      // '=' inside the text is no padding: 0, 1, 61, 2 -> 0x001F42
      {"AB=C", "\x00\x1F\x42"s},
      {"=AAA", "\xF4\x00\x00"s},
      {"A\tA\xC3", "\x03\xD0\x3D"s},
      // trailing '=' drop one byte each, as many as there are, never more than decoded
      {"QQ==", "A"},
      {"QUI=", "AB"},
      {"Q===", ""},
      {"====", ""},
      {"AAAA====", "\x00\x00"s},
      {"AAAAAAA=", "\x00\x00\x00\x00\x00"s},
  };
  for (const auto& row : rows) EXPECT_EQ(Base64Decode(row.text), row.bytes) << row.text;
}

TEST(Base64, RoundTripsEveryLengthAndByteValue) {
  for (std::size_t size = 1; size <= 70; ++size) {
    const std::string bytes = RandomBytes(size, static_cast<unsigned>(size));
    const std::string text = Base64Encode(bytes);
    EXPECT_EQ(text.size(), (size + 2) / 3 * 4);
    EXPECT_EQ(Base64Decode(text), bytes) << size;
  }
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(Base64Decode(Base64Encode(all)), all);
}

TEST(Base64, EncodingMatchesOpenssl) {
  if (!test::HaveProgram("openssl")) GTEST_SKIP() << "openssl command not installed";
  test::TempDir dir;
  for (std::size_t size : {1u, 2u, 3u, 1000u, 1001u, 1002u}) {
    const std::string bytes = RandomBytes(size, 7 + static_cast<unsigned>(size));
    std::ofstream(dir.File("in.bin"), std::ios::binary) << bytes;
    int status = -1;
    std::string reference = test::RunCommand("openssl base64 -A -in " + dir.File("in.bin"), &status);
    ASSERT_EQ(status, 0);
    while (!reference.empty() && reference.back() == '\n') reference.pop_back();
    EXPECT_EQ(Base64Encode(bytes), reference) << size;
  }
}

// The strict decoder of the program's own files: what openssl's decoder takes, with line
// breaks anywhere; nothing outside the alphabet, no padding but at the end.
TEST(Base64, StrictDecodingTakesTheAlphabetAndLineBreaksOnly) {
  const struct {
    const char* text;
    std::string bytes;  // when error is empty
    const char* error;
  } cases[] = {
      {"", "", ""},
      {" \r\n\t", "", ""},
      {"QQ==", "A", ""},
      {"QUI=", "AB", ""},
      {"QUJD", "ABC", ""},
      {"QU\r\nJD\nRA\n==\n", "ABCD", ""},
      {"+/+/", "\xFB\xFF\xBF", ""},
      {"AA99", "\x00\x0F\x7D"s, ""},
      {"QUJ", "", "Base64: число символов не кратно четырем"},
      {"QQ=", "", "Base64: число символов не кратно четырем"},
      {"Q===", "", "Base64: недопустимый символ (код 0x3D) в позиции 2"},
      {"QQ=A", "", "Base64: недопустимый символ (код 0x41) в позиции 4"},
      {"QQ==QUJD", "", "Base64: недопустимый символ (код 0x51) в позиции 5"},
      {"QU*D", "", "Base64: недопустимый символ (код 0x2A) в позиции 3"},
      {"QUJD\x80", "", "Base64: недопустимый символ (код 0x80) в позиции 5"},
      {"QU-_", "", "Base64: недопустимый символ (код 0x2D) в позиции 3"},
  };
  for (const auto& c : cases) {
    std::string error;
    std::string bytes;
    try {
      bytes = Base64DecodeStrict(c.text);
    } catch (const Exception& e) {
      error = e.what();
    }
    EXPECT_EQ(error, c.error) << c.text;
    if (*c.error == '\0') {
      EXPECT_EQ(bytes, c.bytes) << c.text;
    }
  }
  // Whatever the encoder writes reads back, split at any width.
  const std::string bytes = RandomBytes(1000, 3);
  std::string text = Base64Encode(bytes);
  for (std::size_t at = 76; at < text.size(); at += 78) text.insert(at, "\r\n");
  EXPECT_EQ(Base64DecodeStrict(text), bytes);
}

TEST(ReverseBytes, ReversesAnyBytes) {
  EXPECT_EQ(ReverseBytes(""), "");
  EXPECT_EQ(ReverseBytes("\x01"), "\x01");
  EXPECT_EQ(ReverseBytes("\x01\x00\x01\x00"s), "\x00\x01\x00\x01"s);
  EXPECT_EQ(ReverseBytes("abcde"), "edcba");
  const std::string bytes = RandomBytes(33, 1);
  EXPECT_EQ(ReverseBytes(ReverseBytes(bytes)), bytes);
}
