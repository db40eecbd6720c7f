// quorvel-cli refuses values the wire cannot carry unchanged before the first command: the
// simulated terminal receives nothing and keeps what it held.
#include "CliFixture.h"

namespace {

using quorvel::sim::TSimState;
namespace cred = quorvel::sim::cred;
namespace files = quorvel::sim::files;

class CliWire : public quorvel::test::CliTest {};

struct Row {
  std::string Args;
  std::string Err;
};

TEST_F(CliWire, RefusedValuesSendNothing) {
  sim.Update([](TSimState& s) {
    s.ActiveSystem = 4;
    s.ServerAddress = "10.0.0.1";
    s.ServerPort = 443;
    s.Header[0] = "Старая строка";
    s.Credentials[cred::kCyberSD] = "5";
  });
  const std::string emoji = WriteFile("emoji.txt", "Магазин\nСкидка 😀\n");
  const std::string key = WriteFile("easypay.key", "KEY");
  const Row rows[] = {
      {"server write osmp --address '1.2.3.4\",9999,\"x' --port 9000",
       "Поле \"IP-адрес сервера\" содержит недопустимый символ: \"\"\" (код 34)\n"},
      {"header write " + Quote(emoji),
       "Поле \"Клише, строка 2\": Символ \"😀\" (U+1F600) нельзя записать в кодировке windows-1251\n"},
      {"paysys write cyberplat --sd 1,2 --ap 42 --op 7",
       "Поле \"Код дилера\" должно содержать только цифры: \"1,2\"\n"},
      {"paysys write xplat --point 5 --login " + std::string(30, 'l'),
       "Поле \"Логин\": слишком длинное значение, 30 символов (не более 29)\n"},
      {"paysys write easypay --key " + Quote(key), "Не задан файл: --cer\n"},
      {"paysys write ubspay --url u --device-id 'D\"1' --agent-id A",
       "Поле \"Идентификатор устройства\" содержит недопустимый символ: \"\"\" (код 34)\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Args);
    sim.ClearReceivedLines();
    const auto r = Cli("--yes " + row.Args);
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err, row.Err);
    EXPECT_EQ(Commands(), std::vector<std::string>{});
  }
  const TSimState s = sim.State();
  EXPECT_EQ(s.ServerAddress, "10.0.0.1");
  EXPECT_EQ(s.ServerPort, 443);
  EXPECT_EQ(s.Header[0], "Старая строка");
  EXPECT_EQ(s.Credentials.at(cred::kCyberSD), "5");
  EXPECT_EQ(s.Credentials.count(cred::kXPlatLogin), 0u);
  EXPECT_EQ(s.Files.count(files::kEasyPayKey), 0u);
  EXPECT_EQ(s.ActiveSystem, 4);
}

}  // namespace
