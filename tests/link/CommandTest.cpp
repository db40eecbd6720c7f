// TCommandParams, the command line, ResultCodeText and single exchanges of TCommand.
// The reply table split at every byte is in CommandFrameTest.cpp, late replies in
// CommandLateReplyTest.cpp, waiting in CommandWaitTest.cpp.
#include "Command.h"

#include "CommandTestSupport.h"
#include "Errors.h"

#include <gtest/gtest.h>

using namespace quorvel;
using quorvel::test::Sum256;

// ---------------------------------------------------------------------------------------------
// Worked examples of the wire format

TEST(CommandLine, SequencedWithoutParameters) {
  TCommand c;
  c.SetName("SMSTATE");
  c.SetSequenced(true);
  c.Prepare();
  EXPECT_EQ(c.SeqNo(), 1);
  EXPECT_EQ(c.CommandLine(), "AT+SMSTATE=1,93");
}

TEST(CommandLine, SequencedWithOneParameter) {
  TCommand c;
  c.SetSeqNo(5);
  c.SetName("SMHEADER");
  c.SetSequenced(true);
  c.Params().AppendInt(3);
  c.BuildLine();
  EXPECT_EQ(c.CommandLine(), "AT+SMHEADER=5,3,192");
}

TEST(CommandLine, PlainWithoutParameters) {
  TCommand c;
  c.SetName("CGMI");
  c.BuildLine();
  EXPECT_EQ(c.CommandLine(), "AT+CGMI");
}

TEST(CommandLine, PlainWithParametersHasNoTrailingComma) {
  TCommand c;
  c.SetName("GLOBALOP");
  c.Params().AppendInt(-5);
  c.Params().AppendQuoted("x");
  c.BuildLine();
  EXPECT_EQ(c.CommandLine(), "AT+GLOBALOP=-5,\"x\"");
}

TEST(CommandLine, NameATAloneBuildsAT) {
  TCommand c;
  c.SetName("AT");
  c.BuildLine();
  EXPECT_EQ(c.CommandLine(), "AT");
}

TEST(CommandLine, EmptyNameIsAnError) {
  TCommand c;
  try {
    c.BuildLine();
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Пустое название команды");
  }
  EXPECT_THROW(c.Prepare(), Exception);
}

TEST(CommandLine, ChecksumIsOverTheWindows1251Bytes) {
  TCommand c;
  c.SetName("SMHEADER");
  c.SetSequenced(true);
  c.Params().AppendInt(1);
  c.Params().AppendQuoted("Привет");
  c.BuildLine();
  const std::string body = "1,1,\"\xCF\xF0\xE8\xE2\xE5\xF2\",";
  EXPECT_EQ(c.CommandLine(), "AT+SMHEADER=" + body + std::to_string(Sum256(body)));
}

TEST(CommandLine, SeqNoIsUsedAsItIsWhenBuilt) {
  TCommand c;
  c.SetName("SMSN");
  c.SetSequenced(true);
  c.SetSeqNo(42);
  c.BuildLine();
  EXPECT_EQ(c.CommandLine(), "AT+SMSN=42," + std::to_string(Sum256("42,")));
}

TEST(CommandLine, ResetKeepsSeqNoProgressTextAndResult) {
  TCommand c;
  c.SetName("SMSTATE");
  c.SetSequenced(true);
  c.SetTimeout(1000);
  c.SetWaitForOk(true);
  c.SetCheckCrc(false);
  c.SetProgressText("Запрос состояния модема");
  c.Params().AppendInt(1);
  c.Prepare();
  c.Feed("ERROR\r\n+SMSTATE: 1");
  c.NextSeq();
  c.Reset();
  EXPECT_EQ(c.Name(), "");
  EXPECT_EQ(c.LineBuffer(), "");
  EXPECT_TRUE(c.Params().Empty());
  EXPECT_EQ(c.Timeout(), 2000);
  EXPECT_FALSE(c.WaitForOk());
  EXPECT_TRUE(c.CheckCrc());
  EXPECT_FALSE(c.Sequenced());
  EXPECT_EQ(c.SeqNo(), 2);
  EXPECT_EQ(c.ProgressText(), "Запрос состояния модема");
  EXPECT_EQ(c.ResultCode(), 1000);
}

TEST(CommandLine, PrepareKeepsAnUnfinishedLine) {
  TCommand c;
  c.SetName("CGMI");
  c.Prepare();
  c.Feed("Ort");
  c.Prepare();
  EXPECT_EQ(c.LineBuffer(), "Ort");
}

// ---------------------------------------------------------------------------------------------
// Checksums, base name, sequence numbers

TEST(CommandCrc, Examples) {
  EXPECT_EQ(TCommand::FrameCrc("1,"), 93);
  EXPECT_EQ(TCommand::FrameCrc("5,3,"), 192);
  EXPECT_EQ(TCommand::FrameCrc(""), 0);
  EXPECT_EQ(TCommand::FrameCrc("\xFF\xFF"), (255 + 255) % 256);
  EXPECT_TRUE(TCommand::CrcValid("3,ABC,81"));
  EXPECT_FALSE(TCommand::CrcValid("3,ABC,82"));
  EXPECT_TRUE(TCommand::CrcValid("0"));        // no comma: empty covered part, sum 0
  EXPECT_FALSE(TCommand::CrcValid("3,ABC,"));  // empty checksum is not a number
  EXPECT_FALSE(TCommand::CrcValid("3,ABC,8x"));
  EXPECT_FALSE(TCommand::CrcValid("3,ABC, 81"));
  EXPECT_FALSE(TCommand::CrcValid("3,ABC,99999999999999999999999"));
  EXPECT_FALSE(TCommand::CrcValid("3,ABC,337"));  // the sum is taken modulo 256
}

TEST(CommandCrc, BaseName) {
  TCommand c;
  const std::pair<const char*, const char*> rows[] = {{"SMSN", "SMSN"},
                                                      {"CCLK?", "CCLK"},
                                                      {"GLOBALOP?", "GLOBALOP"},
                                                      {"WDWL?", "WDWL"},
                                                      {"SMTRYCOUNT?", "SMTRYCOUNT"},
                                                      {"A_B[1", "A_B["},  // '_' and '[' lie in 65..122
                                                      {"", ""},
                                                      {"1ABC", ""},
                                                      {"ab{c", "ab"}};
  for (auto [name, base] : rows) {
    c.SetName(name);
    EXPECT_EQ(c.BaseName(), base) << name;
  }
}

TEST(CommandSeq, NextSeqWrapsAfter99) {
  TCommand c;
  EXPECT_EQ(c.SeqNo(), 1);
  c.NextSeq();
  EXPECT_EQ(c.SeqNo(), 2);
  c.SetSeqNo(99);
  c.NextSeq();
  EXPECT_EQ(c.SeqNo(), 1);
  EXPECT_THROW(c.SetSeqNo(0), Exception);
  EXPECT_THROW(c.SetSeqNo(100), Exception);
  EXPECT_EQ(c.SeqNo(), 1);
}

TEST(CommandSeq, SeqNo99FollowedByOneReplyGives1) {
  TCommand c;
  c.SetSeqNo(99);
  c.SetName("SMSTATE");
  c.SetSequenced(true);
  c.Prepare();
  EXPECT_EQ(c.CommandLine(), "AT+SMSTATE=99," + std::to_string(Sum256("99,")));
  c.Feed(c.CommandLine() + "\r\n" + quorvel::test::DataLine("SMSTATE", "1,0,5,") + "\r\n");
  EXPECT_TRUE(c.Done());
  EXPECT_EQ(c.SeqNo(), 1);
}

TEST(CommandSeq, AdvancesOncePerDataAndErrorLineOnly) {
  TCommand c;
  c.SetName("SMSTATE");
  c.SetSequenced(true);
  c.Prepare();
  c.Feed("AT+SMSTATE=1,93\r\n[debug] x\r\n+CREG: 1\r\nstray\r\nOK\r\nERROR\r\n");
  EXPECT_EQ(c.SeqNo(), 1);
  c.Prepare();
  c.Feed("+SMERROR: 8,zz\r\n");  // even a +SMERROR with a bad checksum counts
  EXPECT_EQ(c.SeqNo(), 2);
  c.Prepare();
  c.Feed("+SMSTATE: bad\r\n");  // even a data line with a bad checksum counts
  EXPECT_EQ(c.SeqNo(), 3);
}

// ---------------------------------------------------------------------------------------------
// Result codes

TEST(ResultCodes, Table) {
  const std::pair<int, const char*> rows[] = {
      {0, "Ошибок нет"},
      {1, "Ortena: Ошибка в переданных параметрах"},
      {2, "Ortena: Ошибка состояния терминала"},
      {3, "Ortena: Ошибка проведения платежа"},
      {4, "Ortena: Ошибка ожидания ответа"},
      {8, "Ortena: Нет запрошенных данных"},
      {9, "Ortena: Ошибка записи во флеш память"},
      {12, "Ortena: Нет доступной памяти"},
      {251, "Ortena: Неверный пароль"},
      {1000, "Ortena: Ошибка ERROR"},
      {1001, "Неверная CRC принятого кадра"},
      {1002, "Неверное значение кода ошибки в команде SM"},
      {1004, "Линия находится в состоянии BREAK"},
      {1005,
       "Нет связи с устройством.\r\nТерминал не подключен или находится в неверном режиме.\r\n"
       "Перезапустите терминал, переведите его в режим связи с ПК и повторите операцию."},
      {5, "Ortena: неизвестный код ошибки, 5"},
      {-7, "Ortena: неизвестный код ошибки, -7"},
      {1003, "Ortena: неизвестный код ошибки, 1003"},
  };
  for (auto [code, text] : rows) EXPECT_EQ(ResultCodeText(code), text) << code;
}

// ---------------------------------------------------------------------------------------------
// TCommandParams

TEST(CommandParams, Encodings) {
  TCommandParams p;
  p.AppendInt(-5);
  p.AppendInt(2147483647);
  p.AppendQuoted("a,b");
  p.AppendBool(false);
  p.AppendBool(true);
  p.Add("12345678");
  p.AddRaw("\xFF\x01");
  p.AppendQuotedRaw("\xE0");
  p.AppendQuoted("");
  EXPECT_EQ(p.JoinFields(), "-5,2147483647,\"a,b\",0,1,12345678,\xFF\x01,\"\xE0\",\"\"");
  EXPECT_EQ(p.Count(), 9u);
}

TEST(CommandParams, TextIsConvertedToWindows1251) {
  TCommandParams p;
  p.AppendQuoted("Ёлка №1");
  p.Add("Щ");
  EXPECT_EQ(p.FieldRaw(0),
            "\"\xA8\xEB\xEA\xE0 \xB9"
            "1\"");
  EXPECT_EQ(p.FieldRaw(1), "\xD9");
  EXPECT_EQ(p.FieldText(0), "\"Ёлка №1\"");
}

TEST(CommandParams, UnrepresentableTextRaisesAndAppendsNothing) {
  TCommandParams p;
  EXPECT_THROW(p.AppendQuoted("漢字"), EEncodingError);
  EXPECT_THROW(p.Add("\xFF"), EEncodingError);  // not UTF-8
  EXPECT_TRUE(p.Empty());
}

TEST(CommandParams, Guid) {
  const char* good[] = {"6F9619FF-8B86-D011-B42D-00C04FC964FF", "6f9619ff-8b86-d011-b42d-00c04fc964ff",
                        "00000000-0000-0000-0000-000000000000"};
  for (const char* g : good) {
    TCommandParams p;
    EXPECT_NO_THROW(TCommandParams::CheckGuid(g)) << g;
    p.AppendGuid(g);
    EXPECT_EQ(p.FieldRaw(0), std::string("\"") + g + "\"");  // own letter case, no braces
  }
  const char* bad[] = {"{6F9619FF-8B86-D011-B42D-00C04FC964FF}",
                       "6F9619FF-8B86-D011-B42D-00C04FC964F",
                       "6F9619FF-8B86-D011-B42D-00C04FC964FFF",
                       "6F9619FF8B86-D011-B42D-00C04FC964FF0",
                       "6F9619FG-8B86-D011-B42D-00C04FC964FF",
                       "6F9619FF-8B86-D011-B42D-00C04FC964F ",
                       "",
                       "6F9619FF-8B86-D011-B42D_00C04FC964FF",
                       "ЁF9619FF-8B86-D011-B42D-00C04FC964F"};
  for (const char* g : bad) {
    TCommandParams p;
    try {
      p.AppendGuid(g);
      ADD_FAILURE() << "accepted " << g;
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), "Неверное значение GUID");
    }
    EXPECT_TRUE(p.Empty());
  }
}

TEST(CommandParams, FieldAccess) {
  TCommandParams p;
  p.SplitFields("12,0,,x,\xCF\xF0");
  EXPECT_EQ(p.FieldText(4), "Пр");
  EXPECT_EQ(p.FieldRaw(4), "\xCF\xF0");
  EXPECT_EQ(p.FieldText(5), "");
  EXPECT_EQ(p.FieldText(-1), "");
  EXPECT_EQ(p.FieldInt(0), 12);
  EXPECT_FALSE(p.FieldBool(1));
  EXPECT_TRUE(p.FieldBool(2));  // empty is true
  EXPECT_TRUE(p.FieldBool(3));
  EXPECT_THROW(p.FieldInt(3), EConvertError);
  EXPECT_THROW(p.FieldInt(2), EConvertError);
  try {
    p.FieldBool(5);
    FAIL() << "no error";
  } catch (const EConvertError&) {
    FAIL() << "wrong kind";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Неверный индекс параметра, 6");
  }
  try {
    p.CheckIndex(-1);
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Неверный индекс параметра, 0");
  }
}

TEST(CommandParams, SplitFieldsRules) {
  struct Row {
    const char* text;
    std::vector<std::string> fields;
  };
  const Row rows[] = {
      {"5,", {"5"}},
      {"a,,b", {"a", "", "b"}},
      {"\"x,y\",z", {"x,y", "z"}},
      {"", {}},
      {",", {""}},
      {",,", {"", ""}},
      {"a,\"\"", {"a"}},       // an empty quoted last field is dropped like any empty one
      {"a,\"\",", {"a", ""}},  // but kept when a comma ends it
      {"\"unterminated,x", {"unterminated,x"}},
      {"ab\"c\"d", {"abcd"}},
      {" a , b ", {" a ", " b "}},
  };
  for (const auto& r : rows) {
    TCommandParams p;
    p.AddRaw("before");
    p.SplitFields(r.text);
    std::vector<std::string> expected{"before"};
    expected.insert(expected.end(), r.fields.begin(), r.fields.end());
    EXPECT_EQ(p.Items(), expected) << r.text;
  }
}

// ---------------------------------------------------------------------------------------------
// Exchanges fed in one chunk (the table of CommandFrameTest.cpp covers more)

TEST(CommandExchange, AnswerFieldsAfterSuccess) {
  TCommand c;
  c.SetName("SMSIMSETUP");
  c.SetSequenced(true);
  c.Params().AppendInt(1);
  c.Prepare();
  c.Feed(c.CommandLine() + "\r\n" +
         quorvel::test::DataLine("SMSIMSETUP", "1,1,\"internet.\xEC\xF2\xF1\",\"\",\"\",0,") + "\r\nOK\r\n");
  ASSERT_TRUE(c.Done());
  EXPECT_EQ(c.ResultCode(), 0);
  EXPECT_EQ(c.AnswerField(2), "internet.мтс");
  EXPECT_EQ(c.AnswerFieldRaw(2), "internet.\xEC\xF2\xF1");
  EXPECT_EQ(c.AnswerField(3), "");
  EXPECT_EQ(c.AnswerField(5), "0");
  EXPECT_EQ(c.AnswerField(6), std::to_string(Sum256("1,1,\"internet.\xEC\xF2\xF1\",\"\",\"\",0,")));
  EXPECT_EQ(c.AnswerField(7), "");
  EXPECT_TRUE(c.Answer().FieldBool(1));
}

TEST(CommandExchange, NoDataAfter8And1000) {
  for (std::string reply : {std::string("+SMERROR: 8,100"), std::string("ERROR")}) {
    TCommand c;
    c.SetName("SMSTATE");
    c.SetSequenced(true);
    c.Prepare();
    c.Feed(c.CommandLine() + "\r\n" + reply + "\r\n");
    ASSERT_TRUE(c.Done());
    for (int i : {-1, 0, 1, 5}) {
      EXPECT_EQ(c.AnswerField(i), "нет данных");
      EXPECT_EQ(c.AnswerFieldRaw(i), "\xED\xE5\xF2 \xE4\xE0\xED\xED\xFB\xF5");
    }
  }
}

TEST(CommandExchange, OtherErrorCodesKeepTheAnswerFields) {
  TCommand c;
  c.SetName("SMSTATE");
  c.SetSequenced(true);
  c.Prepare();
  c.Feed("+SMERROR: 251," + std::to_string(Sum256("251,")) + "\r\n");
  EXPECT_TRUE(c.Done());
  EXPECT_EQ(c.ResultCode(), 251);
  EXPECT_EQ(c.ResultText(), "Ortena: Неверный пароль");
  EXPECT_EQ(c.AnswerField(0), "251");
}

TEST(CommandExchange, ControlBytesNeverReachALineHighBytesDo) {
  TCommand c;
  c.SetName("CGMI");
  c.Prepare();
  std::string reply = "AT+CGMI\r\n";
  std::string text;
  for (int b = 0; b < 256; ++b) {
    if (b == 10 || b == 13) continue;
    reply.push_back(static_cast<char>(b));
    if (b >= 32) text.push_back(static_cast<char>(b));
  }
  reply += "\r\nOK\r\n";
  c.Feed(reply);
  ASSERT_TRUE(c.Done());
  // the line is trimmed: the leading blank (32) goes, the rest stays
  ASSERT_EQ(c.Answer().Count(), 1u);
  EXPECT_EQ(c.Answer().FieldRaw(0), text.substr(1));
}

TEST(CommandExchange, ErrorLineAcceptsTheChecksumWhateverCheckCrcSays) {
  TCommand c;
  c.SetName("SMSERVERNAME");
  c.SetSequenced(true);
  c.SetCheckCrc(false);
  c.Params().AppendInt(1);
  c.Prepare();
  c.Feed(c.CommandLine() + "\r\n+SMERROR: 8,101\r\n");
  EXPECT_TRUE(c.Done());
  EXPECT_EQ(c.ResultCode(), 1001);
}

TEST(CommandExchange, ErrorLineInThePlainFormIsCheckedToo) {
  TCommand c;
  c.SetName("GLOBALOP");
  c.Params().AppendInt(3);
  c.Prepare();
  c.Feed("AT+GLOBALOP=3\r\n+SMERROR: 2," + std::to_string(Sum256("2,")) + "\r\n");
  EXPECT_TRUE(c.Done());
  EXPECT_EQ(c.ResultCode(), 2);
  EXPECT_EQ(c.ResultText(), "Ortena: Ошибка состояния терминала");
  EXPECT_EQ(c.SeqNo(), 2);
}

TEST(CommandExchange, NonNumericChecksumIs1001AndTheRestOfTheChunkIsParsed) {
  TCommand c;
  c.SetName("SMSTATE");
  c.SetSequenced(true);
  c.Prepare();
  // data line first (its checksum is not a number), then the echo in the same chunk
  c.Feed("+SMSTATE: 1,0,abc\r\nAT+SMSTATE=1,93\r\n");
  EXPECT_TRUE(c.EchoSeen());
  EXPECT_TRUE(c.Done());
  EXPECT_EQ(c.ResultCode(), 1001);
  EXPECT_EQ(c.ResultText(), "Неверная CRC принятого кадра");
  EXPECT_TRUE(c.Answer().Empty());
  EXPECT_EQ(c.LineBuffer(), "");
  EXPECT_EQ(c.SeqNo(), 2);
}

TEST(CommandExchange, LineBufferIsBoundedAndTheOverlongLineIsDropped) {
  TCommand c;
  c.SetName("CGMI");
  c.Prepare();
  std::string noise(100000, 'A');
  for (std::size_t i = 0; i < noise.size(); i += 1000) {
    c.Feed(std::string_view(noise).substr(i, 1000));
    EXPECT_LE(c.LineBuffer().size(), kMaxLineLength);
  }
  c.Feed("TAIL\r\nAT+CGMI\r\nOrtena\r\nOK\r\n");
  EXPECT_TRUE(c.Done());
  EXPECT_EQ(c.Answer().Items(), std::vector<std::string>{"Ortena"});
}

TEST(CommandExchange, ALineOfTheLongestPacketIsKept) {
  TCommand c;
  c.SetName("LOADXML");
  c.SetSequenced(true);
  c.Params().AppendInt(0);
  c.Prepare();
  std::string hex;
  for (int i = 0; i < 256; ++i) hex += "A5";
  std::string text = "0,256,0,\"" + hex + "\",";
  c.Feed(c.CommandLine() + "\r\n" + quorvel::test::DataLine("LOADXML", text) + "\r\nOK\r\n");
  ASSERT_TRUE(c.Done());
  EXPECT_EQ(c.ResultCode(), 0);
  EXPECT_EQ(c.Answer().FieldInt(1), 256);
  EXPECT_EQ(c.AnswerField(3), hex);
}

TEST(CommandExchange, ALineOfExactlyTheLimitIsKept) {
  TCommand c;
  c.SetName("CGMI");
  c.Prepare();
  std::string line(kMaxLineLength, 'x');
  c.Feed("AT+CGMI\r\n" + line);
  EXPECT_EQ(c.LineBuffer(), line);
  c.Feed("\r\nOK\r\n");
  EXPECT_TRUE(c.Done());
  EXPECT_EQ(c.Answer().FieldRaw(0), line);
}

TEST(CommandExchange, ResultStaysOnceDone) {
  TCommand c;
  c.SetName("SMSTATE");
  c.SetSequenced(true);
  c.Prepare();
  // bad checksum completes with 1001; the OK that follows must not turn it into 0 while the
  // caller reads code and text
  c.Feed("AT+SMSTATE=1,93\r\n+SMSTATE: 1,0,1\r\n");
  ASSERT_TRUE(c.Done());
  c.Feed("OK\r\nERROR\r\n");
  EXPECT_EQ(c.ResultCode(), 1001);
  EXPECT_EQ(c.ResultText(), "Неверная CRC принятого кадра");
}
