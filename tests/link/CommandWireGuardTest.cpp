// The frame's last guard: no parameter that would break the line is ever framed, and a reply
// whose quoted value holds a quote of its own is reported instead of silently altered.
#include "Command.h"
#include "CommandTestSupport.h"
#include "ErrorOf.h"
#include "Errors.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace quorvel;
using quorvel::test::ErrorOf;
using namespace quorvel::test;

namespace {

TEST(CommandWireGuard, ParametersThatWouldBreakTheFrameAreNotAppended) {
  const struct {
    std::function<void(TCommandParams&)> Append;
    std::string Expected;
  } rows[] = {
      {[](TCommandParams& p) { p.AppendQuoted("1.2.3.4\",9999,\"x"); },
       "Недопустимый символ в параметре команды: \"\"\" (код 34)"},
      {[](TCommandParams& p) { p.AppendQuoted("login\r\nAT+SMSN=5"); },
       "Недопустимый символ в параметре команды: CR (код 13)"},
      {[](TCommandParams& p) { p.AppendQuotedRaw("a\tb"); },
       "Недопустимый символ в параметре команды: TAB (код 9)"},
      {[](TCommandParams& p) { p.AppendQuotedRaw("a\"b"); },
       "Недопустимый символ в параметре команды: \"\"\" (код 34)"},
      {[](TCommandParams& p) { p.Add("1,2"); }, "Недопустимый символ в параметре команды: \",\" (код 44)"},
      {[](TCommandParams& p) { p.Add("1\"2"); }, "Недопустимый символ в параметре команды: \"\"\" (код 34)"},
      {[](TCommandParams& p) { p.Add("1\n"); }, "Недопустимый символ в параметре команды: LF (код 10)"},
      {[](TCommandParams& p) { p.AppendQuoted("касса\x7F"); },
       "Недопустимый символ в параметре команды: DEL (код 127)"},
      {[](TCommandParams& p) {
         p.AppendQuotedRaw(
             "a\x7F"
             "b");
       },
       "Недопустимый символ в параметре команды: DEL (код 127)"},
      {[](TCommandParams& p) { p.Add("12\x7F"); }, "Недопустимый символ в параметре команды: DEL (код 127)"},
      {[](TCommandParams& p) { p.AppendQuoted("Магазин, касса 1"); }, ""},
      {[](TCommandParams& p) { p.Add("0017"); }, ""},
  };
  for (const auto& row : rows) {
    TCommandParams params;
    EXPECT_EQ(ErrorOf([&] { row.Append(params); }), row.Expected);
    EXPECT_EQ(params.Count(), row.Expected.empty() ? 1u : 0u) << row.Expected;
  }
}

TEST(CommandWireGuard, ALineTheEchoCannotCarryIsNeverBuilt) {
  TCommand command;
  command.SetName("SMHEADER");
  command.SetSequenced(true);
  command.Params().AppendInt(1);
  // "AT+SMHEADER=" (12) + "1,1," (4) + quotes (2) + "," (1) + a checksum of up to three digits.
  command.Params().AppendQuoted(std::string(kMaxLineLength - 22, 'x'));
  EXPECT_NO_THROW(command.Prepare());
  EXPECT_LE(command.CommandLine().size(), kMaxLineLength);

  command.Reset();
  command.SetName("SMHEADER");
  command.SetSequenced(true);
  command.Params().AppendInt(1);
  command.Params().AppendQuoted(std::string(5000, 'x'));
  const std::string line = "AT+SMHEADER=" + WithCrc("1,1,\"" + std::string(5000, 'x') + "\",");
  EXPECT_EQ(ErrorOf([&] { command.Prepare(); }),
            "Слишком длинная строка команды (" + std::to_string(line.size()) + " > 4096)");

  // Bytes that bypass the text operations are caught on the whole line.
  command.Reset();
  command.SetName("SMSN");
  command.Params().AddRaw("123\r\n");
  EXPECT_EQ(ErrorOf([&] { command.Prepare(); }), "Недопустимый символ в параметре команды: CR (код 13)");
  command.Reset();
  command.SetName("SMSN");
  command.Params().AddRaw(
      "1\x7F"
      "3");
  EXPECT_EQ(ErrorOf([&] { command.Prepare(); }), "Недопустимый символ в параметре команды: DEL (код 127)");
}

TEST(CommandWireGuard, SplitFieldsTellsAQuoteInsideAValue) {
  const struct {
    std::string Text;
    bool WellFormed;
  } rows[] = {
      {"1,\"a,b\",\"\",7", true}, {"5,", true},           {"\"x\"", true},
      {"2.1, rev \"B,C\"", true},  // a quoted part at a field's end is the frame's
      {"1,\"ab\"c\",7", false},   {"1,ab\"c,7", false},   {"1,\"ab\"\"c\",7", false},
      {"1,\"open,7", false},      {"1,\"ab\"x,7", false},
  };
  for (const auto& row : rows) {
    TCommandParams fields;
    EXPECT_EQ(fields.SplitFields(row.Text), row.WellFormed) << row.Text;
  }
}

// Feeds the echo of the prepared command and then the given reply line.
void Answer(TCommand& command, const std::string& line) {
  command.Feed(command.CommandLine() + "\r\n" + line + "\r\n");
}

TEST(CommandWireGuard, AReplyValueHoldingAQuoteIsReported) {
  TCommand command;
  command.SetName("SMHEADER");
  command.SetSequenced(true);
  command.Params().AppendInt(2);
  command.Prepare();
  Answer(command, DataLine("SMHEADER", "2,\"say \"hi\" there\","));
  ASSERT_TRUE(command.Done());
  EXPECT_EQ(command.ResultCode(), kResultBadQuote);
  EXPECT_EQ(command.ResultText(), "Значение в ответе терминала содержит двойную кавычку: \"" +
                                      WithCrc("2,\"say \"hi\" there\",") + "\"");
  EXPECT_EQ(ResultCodeText(kResultBadQuote), kBadQuoteText);

  // A well-formed reply of the same command is taken as before.
  command.Prepare();
  Answer(command, DataLine("SMHEADER", "2,\"say hi, there\","));
  EXPECT_EQ(command.ResultCode(), kResultOk);
  EXPECT_EQ(command.AnswerField(1), "say hi, there");

  // A command that waits for the final OK keeps the report.
  command.Reset();
  command.SetName("CCLK?");
  command.SetWaitForOk(true);
  command.Prepare();
  Answer(command, "+CCLK: \"26/12/09,\"17:05\"\"\r\nOK");
  ASSERT_TRUE(command.Done());
  EXPECT_EQ(command.ResultCode(), kResultBadQuote);

  // A script packet is source text read whole: its quotes are its own.
  command.Reset();
  command.SetName("SMSCRIPT");
  command.SetSequenced(true);
  command.SetTextAnswer(true);
  command.Prepare();
  Answer(command, DataLine("SMSCRIPT", "\"INPUT(\"N\")\","));
  EXPECT_EQ(command.ResultCode(), kResultOk);
}

}  // namespace
