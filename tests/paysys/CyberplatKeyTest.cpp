#include "CyberplatKey.h"

#include "Errors.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <vector>

using namespace quorvel;

namespace {

using Lines = std::vector<std::string>;

// A name line: the name padded with blanks to 20 characters, then the number.
std::string NameLine(const std::string& name, const std::string& number, int pad) {
  return name + std::string(static_cast<std::size_t>(pad), ' ') + number;
}

// One key block as an operator's key file holds it.
Lines Block(const std::string& marker, const std::string& name, const std::string& key,
            const std::string& sig) {
  return {"0000000346" + marker + "00010000000000",
          NameLine(name, "0000017033", 20 - static_cast<int>(name.size())),
          NameLine("SIGNER", "0000017000", 14),
          "-----BEGIN-----",
          key.substr(0, 8),
          key.substr(8),
          "-----END-----",
          "-----BEGIN SIGNATURE-----",
          sig,
          "-----END SIGNATURE-----"};
}

std::string Join(const Lines& lines, const std::string& lineEnd) {
  std::string text;
  for (const auto& line : lines) text += line + lineEnd;
  return text;
}

Lines Concat(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TCyberplatKey Filled() {
  TCyberplatKey key;
  key.Key = "K";
  key.Sig = "S";
  key.KeyNum = "1";
  key.SigNum = "2";
  key.KeyName = "kn";
  key.SigName = "sn";
  key.KeyType = 2;
  return key;
}

void ExpectSameKey(const TCyberplatKey& a, const TCyberplatKey& b) {
  EXPECT_EQ(a.Key, b.Key);
  EXPECT_EQ(a.Sig, b.Sig);
  EXPECT_EQ(a.KeyNum, b.KeyNum);
  EXPECT_EQ(a.SigNum, b.SigNum);
  EXPECT_EQ(a.KeyName, b.KeyName);
  EXPECT_EQ(a.SigName, b.SigName);
  EXPECT_EQ(a.KeyType, b.KeyType);
}

std::string WriteFile(const test::TempDir& dir, const std::string& name, const std::string& bytes) {
  std::ofstream(dir.File(name), std::ios::binary) << bytes;
  return dir.File(name);
}

}  // namespace

TEST(CyberplatKey, ParsesOneBlock) {
  const Lines lines = Block("NM", "SECRET", "ABCDEFGHijklmnop", "sigbody==");
  TCyberplatKey key;
  std::size_t index = 0;
  ASSERT_TRUE(key.ParseBlock(lines, index));
  EXPECT_EQ(index, lines.size());
  EXPECT_EQ(key.KeyType, kCyberplatSecretKey);
  EXPECT_EQ(key.KeyName, "SECRET");
  EXPECT_EQ(key.KeyNum, "0000017033");
  EXPECT_EQ(key.SigName, "SIGNER");
  EXPECT_EQ(key.SigNum, "0000017000");
  EXPECT_EQ(key.Key, "ABCDEFGHijklmnop");
  EXPECT_EQ(key.Sig, "sigbody==");

  TCyberplatKey copy = Filled();
  copy.Assign(key);
  ExpectSameKey(copy, key);
}

TEST(CyberplatKey, TakesTypeFromCharactersElevenAndTwelve) {
  const struct {
    std::string line;
    int type;
  } rows[] = {
      {"0123456789NM", kCyberplatSecretKey},
      {"0123456789NSxxxx", kCyberplatPublicKey},
      {"0123456789nm", 0},
      {"012345678NMx", 0},  // one column early
      {"0123456789N", 0},   // the line ends inside the marker
      {"", 0},
      {"Ключ_xNS", 0},  // characters, not bytes: "NS" stands at 11-12 only in UTF-8 bytes
      {"Ключ-файл NS", kCyberplatPublicKey},
  };
  for (const auto& row : rows) {
    TCyberplatKey key;
    std::size_t index = 0;
    ASSERT_TRUE(key.ParseBlock({row.line, "a", "b", "c"}, index));
    EXPECT_EQ(key.KeyType, row.type) << row.line;
  }
}

TEST(CyberplatKey, SplitsNameAndNumberAtCharacterTwenty) {
  const struct {
    std::string line;
    std::string name;
    std::string number;
  } rows[] = {
      {NameLine("NAME", "12345", 16), "NAME", "12345"},
      {NameLine("EXACTLY-TWENTY-CHARS", "", 0), "EXACTLY-TWENTY-CHARS", ""},
      {NameLine("TWENTY", "", 14), "TWENTY", ""},  // 20 characters, blanks at the end
      {"SHORT", "SHORT", ""},
      {"", "", ""},
      {NameLine("N", "  12 \t", 19), "N", "  12"},  // only trailing blanks go
      {NameLine("Ключ", "77", 16), "Ключ", "77"},   // Cyrillic counts one character each
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZ", "ABCDEFGHIJKLMNOPQRST", "UVWXYZ"},
  };
  for (const auto& row : rows) {
    TCyberplatKey key;
    std::size_t index = 0;
    ASSERT_TRUE(key.ParseBlock({"0123456789NS", row.line, row.line, "body"}, index));
    EXPECT_EQ(key.KeyName, row.name) << row.line;
    EXPECT_EQ(key.KeyNum, row.number) << row.line;
    EXPECT_EQ(key.SigName, row.name) << row.line;
    EXPECT_EQ(key.SigNum, row.number) << row.line;
  }
}

TEST(CyberplatKey, BlockBoundaries) {
  // fewer than four lines: nothing consumed, fields cleared
  TCyberplatKey key = Filled();
  std::size_t index = 1;
  EXPECT_FALSE(key.ParseBlock({"x", "a", "b", "c"}, index));
  EXPECT_EQ(index, 1u);
  ExpectSameKey(key, TCyberplatKey());
  index = 5;
  EXPECT_FALSE(key.ParseBlock({"a", "b", "c"}, index));
  EXPECT_EQ(index, 5u);

  // a plain line after the name lines starts the next block
  index = 0;
  EXPECT_TRUE(key.ParseBlock({"t", "n", "s", "plain", "more"}, index));
  EXPECT_EQ(index, 3u);
  EXPECT_EQ(key.Key, "");

  // "BEGIN SIGNATURE" wins over "BEGIN"; marker words count anywhere in a line
  index = 0;
  const Lines mixed = {
      "t",  "n",     "s",  "xxBEGINxx", "k1",  "SIGNATURE BEGIN", "k2", "ENDING", "BEGIN SIGNATURE",
      "s1", "BEGIN", "k3", "END",       "next"};
  EXPECT_TRUE(key.ParseBlock(mixed, index));
  EXPECT_EQ(key.Key, "k1k2k3");
  EXPECT_EQ(key.Sig, "s1");
  EXPECT_EQ(index, mixed.size() - 1);

  // the block also ends at the end of the list, inside a body
  index = 0;
  EXPECT_TRUE(key.ParseBlock({"t", "n", "s", "BEGIN SIGNATURE", "s1", "s2"}, index));
  EXPECT_EQ(key.Sig, "s1s2");
  EXPECT_EQ(index, 6u);
}

TEST(CyberplatKeys, LoadsEveryBlockInFileOrder) {
  test::TempDir dir;
  const Lines secret = Block("NM", "SECRET", "0123456789abcdef", "sig1");
  const Lines pub = Block("NS", "PUBLIC", "fedcba9876543210", "sig2");
  const Lines other = Block("XX", "OTHER", "zzzzzzzzzzzzzzzz", "sig3");
  for (const std::string lineEnd : {"\n", "\r\n", "\r"}) {
    TCyberplatKeys keys;
    keys.LoadFromFile(WriteFile(dir, "keys.txt", Join(Concat(Concat(secret, pub), other), lineEnd)));
    ASSERT_EQ(keys.Count(), 3u);
    EXPECT_EQ(keys[0].KeyType, kCyberplatSecretKey);
    EXPECT_EQ(keys[0].Key, "0123456789abcdef");
    EXPECT_EQ(keys[1].KeyType, kCyberplatPublicKey);
    EXPECT_EQ(keys[1].KeyName, "PUBLIC");
    EXPECT_EQ(keys[1].Sig, "sig2");
    EXPECT_EQ(keys[2].KeyType, 0);
    EXPECT_EQ(keys[2].Key, "zzzzzzzzzzzzzzzz");
  }

  // the file is windows-1251; names arrive as UTF-8, cut by characters
  TCyberplatKeys keys;
  keys.LoadFromText("0000000346NM\r\n\xCA\xEB\xFE\xF7" + std::string(16, ' ') + "42\r\nS\r\nbody");
  ASSERT_EQ(keys.Count(), 1u);
  EXPECT_EQ(keys[0].KeyName, "Ключ");
  EXPECT_EQ(keys[0].KeyNum, "42");

  // reloading replaces; a file that cannot be read keeps what was loaded
  keys.LoadFromText(Join(pub, "\n"));
  ASSERT_EQ(keys.Count(), 1u);
  EXPECT_THROW(keys.LoadFromFile(dir.File("missing.txt")), Exception);
  ASSERT_EQ(keys.Count(), 1u);
  EXPECT_EQ(keys[0].KeyName, "PUBLIC");
  keys.LoadFromText("a\nb\nc\n");
  EXPECT_EQ(keys.Count(), 0u);
}

TEST(CyberplatKey, LoadFromFileTakesTheLastKeyOfTheWantedType) {
  test::TempDir dir;
  const Lines secret = Block("NM", "SECRET", "0123456789abcdef", "sig1");
  const Lines pub = Block("NS", "PUBLIC", "fedcba9876543210", "sig2");
  const std::string both = WriteFile(dir, "both.txt", Join(Concat(secret, pub), "\r\n"));

  TCyberplatKey key;
  key.LoadFromFile(both, kCyberplatPublicKey);
  EXPECT_EQ(key.KeyType, kCyberplatPublicKey);
  EXPECT_EQ(key.KeyName, "PUBLIC");
  EXPECT_EQ(key.Key, "fedcba9876543210");

  const std::string secretOnly = WriteFile(dir, "secret.txt", Join(secret, "\n"));
  key.LoadFromFile(secretOnly, kCyberplatSecretKey);
  EXPECT_EQ(key.KeyName, "SECRET");
  EXPECT_EQ(key.Sig, "sig1");
}

TEST(CyberplatKey, RefusedFilesLeaveTheKeyUnchanged) {
  test::TempDir dir;
  const Lines secret = Block("NM", "SECRET", "0123456789abcdef", "sig1");
  const Lines pub = Block("NS", "PUBLIC", "fedcba9876543210", "sig2");
  const struct {
    std::string name;
    std::string file;
    int wanted;
    std::string message;  // empty: the file error, whatever its text
  } rows[] = {
      {"last key is public", WriteFile(dir, "both.txt", Join(Concat(secret, pub), "\n")), kCyberplatSecretKey,
       "Файл содержит ключ другого типа"},
      {"no type marker", WriteFile(dir, "plain.txt", "a\nb\nc\nd\n"), kCyberplatSecretKey,
       "Файл содержит ключ другого типа"},
      {"three lines", WriteFile(dir, "three.txt", "0000000346NM\na\nb\n"), kCyberplatSecretKey,
       "В файле ключи не найдены, " + dir.File("three.txt")},
      {"empty file", WriteFile(dir, "empty.txt", ""), kCyberplatPublicKey,
       "В файле ключи не найдены, " + dir.File("empty.txt")},
      {"missing file", dir.File("missing.txt"), kCyberplatPublicKey, ""},
  };
  for (const auto& row : rows) {
    TCyberplatKey key = Filled();
    try {
      key.LoadFromFile(row.file, row.wanted);
      ADD_FAILURE() << row.name << ": no error";
    } catch (const Exception& e) {
      if (!row.message.empty()) {
        EXPECT_EQ(e.what(), row.message) << row.name;
      } else {
        EXPECT_NE(std::string(e.what()).find("missing.txt"), std::string::npos) << e.what();
      }
    }
    ExpectSameKey(key, Filled());
  }
}
