// quorvel-cli firmware info/write, run as the real program against a bootloader on a pty.
#include "BootloaderPty.h"
#include "Cp1251.h"
#include "ISPInterface.h"
#include "Pty.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using quorvel::test::HaveProgram;
using quorvel::test::RunCommand;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class FirmwareCli : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef QUORVEL_CLI_PATH
    GTEST_SKIP() << "quorvel-cli is not built in this configuration";
#endif
    if (!HaveProgram("objcopy")) GTEST_SKIP() << "objcopy is not installed";
    part.Start();
  }
  void TearDown() override { part.Stop(); }

  static std::string Pattern(std::size_t size, unsigned seed) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 131 + seed * 17 + (i >> 8)) & 0xFF);
    return s;
  }

  // A HEX file made by objcopy from segments (address, bytes) with one end-of-file record.
  std::string MakeHex(const std::vector<std::pair<std::uint32_t, std::string>>& segments,
                      const std::string& name = "image.hex") {
    std::string parts;
    for (std::size_t i = 0; i < segments.size(); ++i) {
      std::string bin = dir.File("s" + std::to_string(i) + ".bin");
      std::string hex = dir.File("s" + std::to_string(i) + ".hex");
      std::ofstream(bin, std::ios::binary) << segments[i].second;
      RunCommand("objcopy -I binary -O ihex --change-addresses " + std::to_string(segments[i].first) + " " +
                 bin + " " + hex);
      parts += "grep -v -e ':00000001FF' -e '^:04000003' " + hex + ";";
    }
    std::string file = dir.File(name);
    RunCommand("(" + parts + " echo ':00000001FF') > " + file);
    return file;
  }

  // Runs the program with arguments and stdin; stdout is returned, stderr goes to *err
  // (through a file unless errPath names another place, such as a terminal).
  std::string Cli(const std::string& args, int* status, std::string* err,
                  const std::string& input = "/dev/null", const std::string& errPath = "") {
    std::string errFile = errPath.empty() ? dir.File("stderr.txt") : errPath;
#ifdef QUORVEL_CLI_PATH
    std::string out = RunCommand(
        std::string("'") + QUORVEL_CLI_PATH + "' " + args + " < " + input + " 2> '" + errFile + "'", status);
#else
    std::string out;
    *status = -1;
#endif
    std::stringstream text;
    if (errPath.empty()) {
      std::ifstream in(errFile);
      text << in.rdbuf();
    }
    *err = text.str();
    return out;
  }

  std::size_t LinesStartingWith(const std::string& prefix) {
    std::size_t count = 0;
    for (const std::string& line : part.ReceivedLines()) count += line.rfind(prefix, 0) == 0 ? 1 : 0;
    return count;
  }

  std::string Flash() { return memory->Flash(); }
  bool FlashBlank() { return Flash() == std::string(quorvel::sim::TBootloaderFlash::kFlashSize, '\xFF'); }

  quorvel::test::TempDir dir;
  std::shared_ptr<quorvel::sim::TBootloaderFlash> memory = std::make_shared<quorvel::sim::TBootloaderFlash>();
  quorvel::sim::TBootloaderPty part{memory};
};

}  // namespace

TEST_F(FirmwareCli, InfoListsTheBlocksWithHexAddressesAndSizes) {
  std::string file = MakeHex({{0, Pattern(2048, 1)}, {0x12010, Pattern(700, 2)}});
  int status = -1;
  std::string err;
  std::string out = Cli("firmware info '" + file + "'", &status, &err);
  EXPECT_EQ(status, 0) << err;
  EXPECT_EQ(out, file +
                     "\n"
                     "Блок 1: 0x00000000-0x000007FF, 2048 байт (0x800)\n"
                     "Блок 2: 0x00012010-0x000122CB, 700 байт (0x2BC)\n"
                     "Всего: 2748 байт (0xABC), страниц по 1024 байт: 3\n");
}

TEST_F(FirmwareCli, WriteIntoThePartLeavesTheImageInFlash) {
  const std::string low = Pattern(2048, 3);
  const std::string high = Pattern(1500, 4);
  const std::string file = MakeHex({{0, low}, {0x8000, high}});
  struct Row {
    const char* flags;
    const char* progress;  // the last progress figures: steps done/total
  };
  for (const Row& row : {Row{"", "8/8 стр."}, Row{"--no-verify --baud 57600", "4/4 стр."}}) {
    SCOPED_TRACE(row.flags);
    part.Restart();
    int status = -1;
    std::string err;
    std::string out =
        Cli("--yes --port '" + part.SlavePath() + "' firmware write " + row.flags + " '" + file + "'",
            &status, &err);
    EXPECT_EQ(status, 0) << err;
    EXPECT_TRUE(Contains(out, "Запись выполнена успешно.\nДля программирования")) << out;
    EXPECT_FALSE(Contains(out, "\r"));
    EXPECT_FALSE(Contains(err, "стр.")) << "no progress line into a file: " << err;
    const std::string flash = Flash();
    EXPECT_TRUE(flash.substr(24, 2048 - 24) == low.substr(24));
    EXPECT_TRUE(flash.substr(0x8000, 1500) == high);

    // On a terminal the progress line is drawn.
    part.Restart();
    quorvel::test::Pty terminal;
    Cli("--yes --port '" + part.SlavePath() + "' firmware write " + row.flags + " '" + file + "'", &status,
        &err, "/dev/null", terminal.SlavePath());
    EXPECT_EQ(status, 0);
    const std::string drawn = terminal.Read(1 << 20, 5000);
    EXPECT_TRUE(Contains(drawn, row.progress)) << drawn;
    EXPECT_TRUE(Contains(drawn, "байт/с")) << drawn;
  }
}

// The writer's steps reach the log as on the update page, from --log or from settings.xml.
TEST_F(FirmwareCli, TheWritersStepsGoToTheLog) {
  const std::string file = MakeHex({{0, Pattern(2048, 12)}});
  const std::string home = dir.File("home");
  std::filesystem::create_directory(home);
  const std::string settingsLog = dir.File("settings.log");
  std::ofstream(home + "/settings.xml")
      << "<settings><Driver><PortNumber>1</PortNumber><MaxRetryCount>1</MaxRetryCount><LogEnabled>1</"
         "LogEnabled>"
      << "<LogFileName>" << settingsLog << "</LogFileName></Driver></settings>";
  struct Row {
    const char* what;
    std::string option;
    std::string log;
  };
  for (const Row& row : {Row{"--log", "--log '" + dir.File("run.log") + "' ", dir.File("run.log")},
                         Row{"settings.xml", "", settingsLog}}) {
    SCOPED_TRACE(row.what);
    part.Restart();
    int status = -1;
    std::string err;
    Cli("--home '" + home + "' " + row.option + "--yes --port '" + part.SlavePath() + "' firmware write '" +
            file + "'",
        &status, &err);
    ASSERT_EQ(status, 0) << err;
    std::ifstream in(row.log, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    const std::string log = quorvel::Cp1251ToUtf8(bytes.str());
    for (const char* step : {"[DEBUG] Размер данных, байт : 2048", "[DEBUG] Количество страниц  : 2",
                             "[DEBUG] Запись данных 0x00000000", "[DEBUG] Запись данных 0x00000400",
                             "[DEBUG] Чтение данных 0x00000400"})
      EXPECT_TRUE(Contains(log, step)) << step << "\n" << log;
  }
}

TEST_F(FirmwareCli, WriteIntoTheBuiltInSimulatorSucceeds) {
  const std::string file = MakeHex({{0, Pattern(3000, 5)}});
  int status = -1;
  std::string err;
  std::string out = Cli("--simulator --yes firmware write '" + file + "'", &status, &err);
  EXPECT_EQ(status, 0) << err;
  EXPECT_TRUE(Contains(out, "Запись выполнена успешно.")) << out << err;
  EXPECT_EQ(err, "") << "no progress line into a file";
}

TEST_F(FirmwareCli, RefusalsWriteNothing) {
  const std::string good = MakeHex({{0, Pattern(256, 6)}});
  // One data digit of the third record changed, its checksum kept.
  std::string damaged = dir.File("damaged.hex");
  RunCommand(
      "awk 'NR==3 { c = substr($0, 10, 1); $0 = substr($0, 1, 9) (c == \"0\" ? \"1\" : \"0\") "
      "substr($0, 11) } { print }' '" +
      good + "' > '" + damaged + "'");
  std::string cut = dir.File("cut.hex");
  RunCommand("grep -v ':00000001FF' '" + good + "' > '" + cut + "'");
  const std::string port = "--port '" + part.SlavePath() + "' ";
  struct Row {
    const char* what;
    std::string args;
    std::string input;
    std::string message;  // a part of stderr
  };
  const std::vector<Row> rows = {
      {"damaged record", "--yes " + port + "firmware write '" + damaged + "'", "/dev/null",
       "Строка 3: неверная контрольная сумма"},
      {"no end record", "--yes " + port + "firmware write '" + cut + "'", "/dev/null",
       "Нет записи конца файла"},
      {"no terminal to answer", port + "firmware write '" + good + "'", "/dev/null", "--yes"},
      {"an answer in a file is no answer", port + "firmware write '" + good + "'", "file", "--yes"},
      {"no port", "--yes firmware write '" + good + "'", "/dev/null", "--port"},
      {"a rate the port does not offer", "--yes " + port + "firmware write --baud 12345 '" + good + "'",
       "/dev/null", "12345"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    int status = -1;
    std::string err;
    std::string out;
    if (row.input == "/dev/null") {
      out = Cli(row.args, &status, &err);
    } else {
      std::string answer = dir.File("answer.txt");
      std::ofstream(answer) << "\n";
      out = Cli(row.args, &status, &err, "'" + answer + "'");
    }
    EXPECT_NE(status, 0);
    EXPECT_FALSE(err.empty());
    EXPECT_TRUE(Contains(err, row.message)) << err;
    EXPECT_FALSE(Contains(out, "успешно"));
  }
  EXPECT_TRUE(part.ReceivedLines().empty()) << "nothing reached the part";
  EXPECT_TRUE(FlashBlank());

  int status = -1;
  std::string err;
  Cli("firmware info '" + damaged + "'", &status, &err);
  EXPECT_EQ(status, 1);
  EXPECT_TRUE(Contains(err, "Строка 3")) << err;
}

TEST_F(FirmwareCli, ImagesThatCannotStartOrFitAreRefusedBeforeTheRestartQuestion) {
  const std::string old = Pattern(4096, 7);
  memory->LoadFlash(0, old);
  std::string eofOnly = dir.File("eof.hex");
  std::ofstream(eofOnly) << ":00000001FF\n";
  struct Row {
    const char* what;
    std::string file;
    std::string message;
  };
  const std::vector<Row> rows = {
      {"end record only", eofOnly, "Файл " + eofOnly + " не содержит данных для записи"},
      {"no vector area", MakeHex({{0x2000, Pattern(1024, 8)}}, "high.hex"),
       "нет данных по адресу 0x00000000"},
      {"beyond the flash", MakeHex({{0, Pattern(64, 9)}, {0x7DF00, Pattern(0x200, 9)}}),
       "Данные по адресу 0x0007DF00 не помещаются во флэш-память"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    // A user at a terminal who would press Enter at once.
    quorvel::test::Pty terminal;
    ASSERT_TRUE(terminal.Write("\n"));
    int status = -1;
    std::string err;
    std::string out = Cli("--port '" + part.SlavePath() + "' firmware write '" + row.file + "'", &status,
                          &err, terminal.SlavePath());
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(Contains(err, row.message)) << err;
    EXPECT_FALSE(Contains(err, "Перезапустите терминал")) << err;
    EXPECT_FALSE(Contains(out, "успешно"));
  }
  EXPECT_TRUE(part.ReceivedLines().empty()) << "nothing reached the part";
  EXPECT_TRUE(Flash().substr(0, old.size()) == old) << "the old firmware is still there";
}

TEST_F(FirmwareCli, ARefusedRamWriteIsReportedAndNothingIsCopiedAfterIt) {
  quorvel::sim::TBootloaderFaults faults;
  faults.WriteErrorOnCommand = 2;  // the second half of the first page
  part.SetFaults(faults);
  int status = -1;
  std::string err;
  std::string out = Cli(
      "--yes --port '" + part.SlavePath() + "' firmware write '" + MakeHex({{0, Pattern(2048, 10)}}) + "'",
      &status, &err);
  EXPECT_EQ(status, 1);
  EXPECT_TRUE(Contains(err, quorvel::ReturnCodeText(faults.WriteErrorCode))) << err;
  EXPECT_EQ(LinesStartingWith("W "), 2u);
  EXPECT_EQ(LinesStartingWith("C "), 0u) << "RAM that was not written must not reach the flash";
  EXPECT_TRUE(FlashBlank());
}

TEST_F(FirmwareCli, APulledCableIsReportedAsTheLostPort) {
  quorvel::sim::TBootloaderFaults faults;
  faults.HangUpOnLine = "E ";  // while the part erases
  part.SetFaults(faults);
  int status = -1;
  std::string err;
  Cli("--yes --port '" + part.SlavePath() + "' firmware write '" + MakeHex({{0, Pattern(2048, 11)}}) + "'",
      &status, &err);
  EXPECT_EQ(status, 1);
  EXPECT_TRUE(Contains(
      err, "Связь с устройством потеряна: порт " + part.SlavePath() + " закрыт (устройство отключено?)"))
      << err;
  EXPECT_FALSE(Contains(err, "Нет связи")) << err;
}

TEST_F(FirmwareCli, FastWriteCopiesWholeBlocksAndLeavesTheImageInFlash) {
  const std::string image = Pattern(0x2400, 13);
  int status = -1;
  std::string err;
  std::string out = Cli("--yes --port '" + part.SlavePath() + "' firmware write --fast --no-verify '" +
                            MakeHex({{0, image}}) + "'",
                        &status, &err);
  EXPECT_EQ(status, 0) << err;
  EXPECT_TRUE(Contains(out, "Запись выполнена успешно.")) << out;
  const std::string flash = Flash();
  EXPECT_TRUE(flash.substr(24, image.size() - 24) == image.substr(24));
  EXPECT_EQ(LinesStartingWith("C 0 1073742336 4096"), 1u);
  EXPECT_EQ(LinesStartingWith("C 4096 1073742336 4096"), 1u);
  EXPECT_EQ(LinesStartingWith("C 8192 1073742336 1024"), 1u);
  EXPECT_EQ(LinesStartingWith("C "), 3u);
}
