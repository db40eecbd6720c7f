#include "HexFile.h"

#include "Errors.h"
#include "RandomBytes.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

using namespace quorvel;
using quorvel::test::HaveProgram;
using quorvel::test::RunCommand;
using quorvel::test::TempDir;

namespace {

using quorvel::test::RandomBytes;

void WriteBinary(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadBinary(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The blocks laid out from the lowest address with 0xFF in the gaps, as the tools write a
// binary image.
std::string Flatten(const THexBlocks& blocks, std::uint32_t& lowest) {
  lowest = UINT32_MAX;
  std::uint64_t end = 0;
  for (std::size_t i = 0; i < blocks.Count(); ++i) {
    auto base = static_cast<std::uint32_t>(blocks[i].Rec.BaseAddress);
    lowest = std::min(lowest, base);
    end = std::max<std::uint64_t>(end, base + blocks[i].Rec.Data.size());
  }
  std::string image(end - lowest, '\xFF');
  for (std::size_t i = 0; i < blocks.Count(); ++i)
    image.replace(static_cast<std::uint32_t>(blocks[i].Rec.BaseAddress) - lowest, blocks[i].Rec.Data.size(),
                  blocks[i].Rec.Data);
  return image;
}

std::string Shell(const std::string& command) {
  int status = -1;
  std::string out = RunCommand(command + " 2>&1", &status);
  EXPECT_EQ(status, 0) << command << "\n" << out;
  return out;
}

// One record with its correct checksum.
std::string Record(unsigned address, unsigned type, const std::string& bytes) {
  unsigned sum = static_cast<unsigned>(bytes.size()) + (address >> 8) + (address & 0xFF) + type;
  std::string text;
  char hex[16];
  std::snprintf(hex, sizeof hex, ":%02X%04X%02X", static_cast<unsigned>(bytes.size()), address, type);
  text = hex;
  for (unsigned char b : bytes) {
    std::snprintf(hex, sizeof hex, "%02X", b);
    text += hex;
    sum += b;
  }
  std::snprintf(hex, sizeof hex, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
  return text + hex;
}

std::string LoadError(const std::vector<std::string>& lines) {
  THexFile hex;
  try {
    hex.LoadFromLines(lines);
  } catch (const Exception& e) {
    EXPECT_EQ(hex.Blocks().Count(), 0u) << "a refused file must leave no blocks";
    return e.what();
  }
  return "(accepted)";
}

}  // namespace

class HexFileTools : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveProgram("objcopy")) GTEST_SKIP() << "objcopy is not installed";
  }
  // Our image of a HEX file compared with the binary objcopy makes of the same file.
  void ExpectSameAsObjcopy(const std::string& hexPath, std::uint32_t expectedLowest) {
    Shell("objcopy -I ihex -O binary --gap-fill 0xFF " + hexPath + " " + dir.File("ref.bin"));
    THexFile hex;
    hex.LoadFromFile(hexPath);
    std::uint32_t lowest = 0;
    std::string image = Flatten(hex.Blocks(), lowest);
    EXPECT_EQ(lowest, expectedLowest);
    EXPECT_TRUE(image == ReadBinary(dir.File("ref.bin"))) << "image differs from objcopy's";
  }
  TempDir dir;
};

TEST_F(HexFileTools, OneSegmentFromObjcopyIsOneBlockAtZero) {
  std::string bytes = RandomBytes(5000, 1);
  WriteBinary(dir.File("a.bin"), bytes);
  Shell("objcopy -I binary -O ihex " + dir.File("a.bin") + " " + dir.File("a.hex"));
  THexFile hex;
  hex.LoadFromFile(dir.File("a.hex"));
  ASSERT_EQ(hex.Blocks().Count(), 1u);
  EXPECT_EQ(hex.Blocks()[0].Rec.BaseAddress, 0);
  EXPECT_TRUE(hex.Blocks()[0].Rec.Data == bytes);
}

TEST_F(HexFileTools, ImageAbove64KiBWithType02RecordsKeepsItsAddresses) {
  // objcopy writes extended segment records (type 02) below 1 MiB.
  std::string bytes = RandomBytes(256 * 1024, 2);
  WriteBinary(dir.File("big.bin"), bytes);
  Shell("objcopy -I binary -O ihex " + dir.File("big.bin") + " " + dir.File("big.hex"));
  ASSERT_NE(Shell("grep -c ':02000002' " + dir.File("big.hex")), "0\n");
  THexFile hex;
  hex.LoadFromFile(dir.File("big.hex"));
  ASSERT_EQ(hex.Blocks().Count(), 1u);
  EXPECT_TRUE(hex.Blocks()[0].Rec.Data == bytes);
  EXPECT_EQ(hex.Blocks().TotalSize(), bytes.size());
}

TEST_F(HexFileTools, ChangedAddressesGiveTheRealAddress) {
  WriteBinary(dir.File("a.bin"), RandomBytes(300, 3));
  Shell("objcopy -I binary -O ihex --change-addresses 0x12340 " + dir.File("a.bin") + " " +
        dir.File("a.hex"));
  ExpectSameAsObjcopy(dir.File("a.hex"), 0x12340);
  THexFile hex;
  hex.LoadFromFile(dir.File("a.hex"));
  ASSERT_EQ(hex.Blocks().Count(), 1u);
  EXPECT_EQ(hex.Blocks()[0].Rec.ExtendedSegmentAddress, 0x1000);
}

TEST_F(HexFileTools, TwoSegmentsFromSrecCatWithType04Records) {
  if (!HaveProgram("srec_cat")) GTEST_SKIP() << "srec_cat is not installed";
  WriteBinary(dir.File("a.bin"), RandomBytes(300, 4));
  WriteBinary(dir.File("b.bin"), RandomBytes(200, 5));
  Shell("srec_cat " + dir.File("a.bin") + " -binary " + dir.File("b.bin") + " -binary -offset 0x10010 -o " +
        dir.File("two.hex") + " -intel");
  ASSERT_NE(Shell("grep -c ':020000040001' " + dir.File("two.hex")), "0\n");
  ExpectSameAsObjcopy(dir.File("two.hex"), 0);
  THexFile hex;
  hex.LoadFromFile(dir.File("two.hex"));
  ASSERT_EQ(hex.Blocks().Count(), 2u);
  EXPECT_EQ(hex.Blocks()[0].Rec.BaseAddress, 0);
  EXPECT_EQ(hex.Blocks()[0].Rec.Data.size(), 300u);
  EXPECT_EQ(hex.Blocks()[1].Rec.BaseAddress, 0x10010);
  EXPECT_EQ(hex.Blocks()[1].Rec.Data.size(), 200u);
  // And srec_cat reads it back to the same bytes it was made from.
  Shell("srec_cat " + dir.File("two.hex") + " -intel -crop 0x10010 0x100D8 -offset -0x10010 -o " +
        dir.File("b2.bin") + " -binary");
  EXPECT_TRUE(hex.Blocks()[1].Rec.Data == ReadBinary(dir.File("b2.bin")));
}

TEST(HexFile, RecordsArePlacedByAddressNotByFileOrder) {
  THexFile hex;
  hex.LoadFromLines({
      "leading text is not a record", Record(0, 4, std::string("\x00\x00", 2)),
      Record(0x10, 0, "\x11\x22\x33\x44"), Record(0x00, 0, "\x01\x02\x03\x04"),
      Record(0x04, 0, "\x05\x06\x07\x08"),  // joins the run at 0
      "  " + Record(0, 1, "") + "  \r",
      Record(0x20, 0, "\x99\x99\x99\x99"),  // after the end of file: not read
  });
  EXPECT_EQ(hex.Lines().Count(), 5u);
  ASSERT_EQ(hex.Blocks().Count(), 2u);
  EXPECT_EQ(hex.Blocks()[0].Rec.BaseAddress, 0);
  EXPECT_EQ(hex.Blocks()[0].Rec.Data, std::string("\x01\x02\x03\x04\x05\x06\x07\x08"));
  EXPECT_EQ(hex.Blocks()[1].Rec.BaseAddress, 0x10);
  EXPECT_EQ(hex.Blocks()[1].Rec.Data, std::string("\x11\x22\x33\x44"));
  EXPECT_EQ(hex.Lines()[1].Rec.Address, 0x10);
  EXPECT_EQ(hex.Lines()[1].Rec.Data, "11223344");
  EXPECT_EQ(hex.Lines()[1].Rec.LineNumber, 3u);
}

TEST(HexFile, SixteenRecordsUnderOneType04GiveOne256ByteBlock) {
  std::vector<std::string> lines = {Record(0, 4, std::string(2, '\0'))};
  for (unsigned i = 0; i < 16; ++i) lines.push_back(Record(i * 16, 0, std::string(16, static_cast<char>(i))));
  lines.push_back(Record(0, 1, ""));
  THexFile hex;
  hex.LoadFromLines(lines);
  ASSERT_EQ(hex.Blocks().Count(), 1u);
  EXPECT_EQ(hex.Blocks()[0].Rec.BaseAddress, 0);
  ASSERT_EQ(hex.Blocks()[0].Rec.Data.size(), 256u);
  EXPECT_EQ(hex.Blocks()[0].Rec.Data[255], '\x0F');
}

TEST(HexFile, SegmentsOfType04AndType02RecordsAndTheirGaps) {
  THexFile hex;
  hex.LoadFromLines({
      Record(0, 4, std::string("\x00\x00", 2)),
      Record(0, 0, "AB"),
      Record(0, 4, std::string("\x00\x01", 2)),
      Record(0, 0, "CD"),
      Record(0, 2, std::string("\x20\x00", 2)),
      Record(0x0002, 0, "EF"),  // 0x20000 + 2
      Record(0, 1, ""),
  });
  ASSERT_EQ(hex.Blocks().Count(), 3u);
  EXPECT_EQ(hex.Blocks()[0].Rec.BaseAddress, 0);
  EXPECT_EQ(hex.Blocks()[1].Rec.BaseAddress, 0x10000);
  EXPECT_EQ(hex.Blocks()[1].Rec.Data, "CD");
  EXPECT_EQ(hex.Blocks()[2].Rec.BaseAddress, 0x20002);
  EXPECT_EQ(hex.Blocks()[2].Rec.ExtendedSegmentAddress, 0x2000);
}

TEST(HexFile, DamagedFilesAreRefusedNamingTheLine) {
  struct Row {
    const char* what;
    std::vector<std::string> lines;
    const char* message;
  };
  const std::vector<Row> rows = {
      {"wrong checksum", {":0400000001020304F3", ":00000001FF"}, "Строка 1: неверная контрольная сумма"},
      {"line cut in the data",
       {":020000040000FA", ":04000000010203", ":00000001FF"},
       "Строка 2: запись обрезана"},
      {"line cut in the header", {":0400", ":00000001FF"}, "Строка 1: запись обрезана"},
      {"extra characters", {":0400000001020304F200", ":00000001FF"}, "Строка 1: лишние символы"},
      {"data not hexadecimal",
       {":04000000010G0304EB", ":00000001FF"},
       "Строка 1: данные записи не шестнадцатеричные"},
      {"unknown record type", {":00000006FA", ":00000001FF"}, "Строка 1: неизвестный тип записи 6"},
      {"type 04 of wrong length", {":0100000400FB", ":00000001FF"}, "Строка 1: неверная длина записи типа 4"},
      {"no end-of-file record", {":0400000001020304F2"}, "Нет записи конца файла"},
      {"no record at all", {"hello", "", "world"}, "Неверный формат файла"},
      {"empty file", {}, "Неверный формат файла"},
      {"overlapping data",
       {":0400000001020304F2", ":0400020005060708E0", ":00000001FF"},
       "Строка 2: данные по адресу 0x00000002 перекрывают данные строки 1"},
      {"byte count not hexadecimal",
       {":0X00000001020304F2", ":00000001FF"},
       "Строка 1: '$0X' - неверное целое значение"},
      {"address not hexadecimal",
       {":0400000001020304F2", ":04zz000001020304F2", ":00000001FF"},
       "Строка 2: '$zz00' - неверное целое значение"},
      {"type not hexadecimal", {"", "", ":040000g001020304F2", ":00000001FF"}, "Строка 3: '$g0'"},
      {"checksum not hexadecimal", {":0400000001020304FZ", ":00000001FF"}, "Строка 1: '$FZ'"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(LoadError(row.lines).rfind(row.message, 0), 0u) << row.what << ": " << LoadError(row.lines);
}

TEST(HexFile, NonHexFieldIsAConversionError) {
  THexFile hex;
  EXPECT_THROW(hex.LoadFromLines({":0400000G01020304F2", ":00000001FF"}), EConvertError);
}

TEST(HexFile, BinaryFilesAreNotHexFiles) {
  TempDir dir;
  struct Row {
    const char* what;
    std::string path;
  };
  std::string random = dir.File("random.bin");
  WriteBinary(random, RandomBytes(4096, 7));
  // Binary bytes after a record that parses: still a binary file, not a field error.
  std::string tail = dir.File("tail.hex");
  WriteBinary(tail, ":0400000001020304F2\n" + RandomBytes(64, 8));
  const std::vector<Row> rows = {
      {"random bytes", random}, {"a program (ELF)", "/bin/sh"}, {"data after a record", tail}};
  for (const Row& row : rows) {
    THexFile hex;
    try {
      hex.LoadFromFile(row.path);
      ADD_FAILURE() << row.what << ": accepted";
    } catch (const Exception& e) {
      EXPECT_EQ(std::string(e.what()), "Файл " + row.path + " не является файлом HEX (это двоичный файл)")
          << row.what;
    }
    EXPECT_EQ(hex.Blocks().Count(), 0u) << row.what;
  }
}

TEST(HexFile, MissingFileIsReported) {
  THexFile hex;
  EXPECT_THROW(hex.LoadFromFile("/nonexistent/dir/image.hex"), Exception);
}

TEST(HexBlocks, AlignToPagesPadsWithFFAndJoinsBlocksSharingAPage) {
  THexBlocks blocks;
  blocks.Add({std::string(0x20, '\x11'), 0, 0, 0, 0x410});   // inside page 0x400
  blocks.Add({std::string(0x10, '\x22'), 0, 0, 0, 0x7F0});   // same page, up to 0x800
  blocks.Add({std::string(0x400, '\x33'), 0, 0, 0, 0x800});  // page 0x800 exactly
  blocks.Add({std::string(1, '\x44'), 0, 0, 0, 0x10FFF});    // last byte of page 0x10C00
  blocks.AlignToPages(kHexPageSize);
  ASSERT_EQ(blocks.Count(), 3u);
  // The first two share page 0x400: one block, the gap between them 0xFF.
  EXPECT_EQ(blocks[0].Rec.BaseAddress, 0x400);
  ASSERT_EQ(blocks[0].Rec.Data.size(), 0x400u);
  const std::string& d = blocks[0].Rec.Data;
  EXPECT_EQ(d.substr(0, 0x10), std::string(0x10, '\xFF'));
  EXPECT_EQ(d.substr(0x10, 0x20), std::string(0x20, '\x11'));
  EXPECT_EQ(d.substr(0x30, 0x3C0), std::string(0x3C0, '\xFF'));
  EXPECT_EQ(d.substr(0x3F0, 0x10), std::string(0x10, '\x22'));
  EXPECT_EQ(blocks[1].Rec.BaseAddress, 0x800);
  EXPECT_EQ(blocks[1].Rec.Data, std::string(0x400, '\x33'));
  EXPECT_EQ(blocks[2].Rec.BaseAddress, 0x10C00);
  EXPECT_EQ(blocks[2].Rec.Data, std::string(0x3FF, '\xFF') + "\x44");
  for (std::size_t i = 0; i < blocks.Count(); ++i) {
    EXPECT_EQ(blocks[i].Rec.BaseAddress % kHexPageSize, 0);
    EXPECT_EQ(blocks[i].Rec.Data.size() % kHexPageSize, 0u);
  }
}

TEST(HexBlocks, AlignToPagesKeepsBlocksInSeparatePagesApart) {
  THexBlocks blocks;
  blocks.Add({std::string(5, '\x01'), 0, 0, 0, 0});
  blocks.Add({std::string(5, '\x02'), 0, 0, 0, 0x400});
  blocks.AlignToPages(kHexPageSize);
  ASSERT_EQ(blocks.Count(), 2u);
  EXPECT_EQ(blocks[0].Rec.Data, std::string(5, '\x01') + std::string(0x3FB, '\xFF'));
  EXPECT_EQ(blocks[1].Rec.BaseAddress, 0x400);
}
