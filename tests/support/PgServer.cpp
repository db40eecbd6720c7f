#include "PgServer.h"

#include <libpq-fe.h>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

namespace quorvel::test {

namespace {

namespace fs = std::filesystem;

constexpr const char* kSystemUser = "postgres";  // PostgreSQL refuses to run as root
constexpr auto kStartDeadline = std::chrono::seconds(60);
constexpr std::size_t kSocketPathMax = 100;  // sun_path is 108 bytes with ".s.PGSQL.NNNNN"

std::atomic<int> serversMade{0};

bool IsProgram(const fs::path& path) { return ::access(path.c_str(), X_OK) == 0; }

// The folder that holds both initdb and postgres: PATH first, then Debian's
// /usr/lib/postgresql/<version>/bin, the newest version first.
std::string FindBin() {
  std::vector<fs::path> candidates;
  if (const char* path = std::getenv("PATH")) {
    std::stringstream list(path);
    for (std::string dir; std::getline(list, dir, ':');)
      if (!dir.empty()) candidates.emplace_back(dir);
  }
  std::vector<std::pair<int, fs::path>> versions;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", ec)) {
    const std::string name = entry.path().filename().string();
    if (!name.empty() && std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; }))
      versions.emplace_back(std::stoi(name), entry.path() / "bin");
  }
  std::sort(versions.begin(), versions.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  for (const auto& [version, dir] : versions) candidates.push_back(dir);
  for (const fs::path& dir : candidates)
    if (IsProgram(dir / "initdb") && IsProgram(dir / "postgres")) return dir.string();
  return {};
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string QuoteIdentifier(const std::string& name) {
  std::string out = "\"";
  for (char c : name) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

std::string QuoteLiteral(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

}  // namespace

std::string TPgTestServer::MissingReason() {
  if (FindBin().empty())
    return "PostgreSQL server programs (initdb, postgres) not found on PATH nor in /usr/lib/postgresql/*/bin";
  if (::geteuid() == 0 && ::getpwnam(kSystemUser) == nullptr)
    return "running as root, and there is no system user \"postgres\" to run the server as";
  return {};
}

TPgTestServer::TPgTestServer() : bin_(FindBin()) {
  if (bin_.empty()) throw std::runtime_error(MissingReason());
  if (::geteuid() == 0) {
    const passwd* pw = ::getpwnam(kSystemUser);
    if (pw == nullptr) throw std::runtime_error(MissingReason());
    uid_ = pw->pw_uid;
    gid_ = pw->pw_gid;
    asOther_ = true;
  }
  const char* tmp = std::getenv("TMPDIR");
  std::string base = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
  if (base.size() + 40 > kSocketPathMax) base = "/tmp";
  std::string pattern = base + "/quorvel-pg-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp " + pattern + " failed");
  folder_ = pattern;
  // The port only names the socket in our own folder; pid-based so the lock files of servers
  // in parallel test processes never collide even if the folders did.
  port_ = 10000 + static_cast<int>((::getpid() + 7919L * serversMade++) % 55000);
  try {
    if (asOther_ && ::chown(folder_.c_str(), uid_, gid_) != 0)
      throw std::runtime_error("chown " + folder_ + " to postgres failed");
    const int status = Run({bin_ + "/initdb", "-D", folder_ + "/data", "-A", "trust", "--no-sync", "-U",
                            "postgres", "-E", "UTF8", "--locale=C"},
                           folder_ + "/initdb.log");
    if (status != 0) throw std::runtime_error("initdb failed:\n" + ReadText(folder_ + "/initdb.log"));
    Start();
  } catch (...) {
    if (Running()) Stop();
    std::error_code ec;
    fs::remove_all(folder_, ec);
    throw;
  }
}

TPgTestServer::~TPgTestServer() {
  if (Running()) Stop();
  std::error_code ec;
  fs::remove_all(folder_, ec);
}

pid_t TPgTestServer::Spawn(const std::vector<std::string>& args, const std::string& log) const {
  // Everything the child needs is made before fork: after it only async-signal-safe calls.
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid > 0) return pid;
  if (asOther_ && (::setgroups(0, nullptr) != 0 || ::setgid(gid_) != 0 || ::setuid(uid_) != 0)) ::_exit(126);
  // A test process that dies (a crash, ctest's timeout) takes its server with it; set after
  // setuid, which clears it.
  if (::prctl(PR_SET_PDEATHSIG, SIGINT) != 0 || ::getppid() != parent) ::_exit(126);
  if (::chdir(folder_.c_str()) != 0) ::_exit(126);
  const int in = ::open("/dev/null", O_RDONLY);
  const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  if (in < 0 || out < 0) ::_exit(126);
  ::dup2(in, 0);
  ::dup2(out, 1);
  ::dup2(out, 2);
  ::execv(argv[0], argv.data());
  ::_exit(127);
}

int TPgTestServer::Run(const std::vector<std::string>& args, const std::string& log) const {
  const pid_t pid = Spawn(args, log);
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void TPgTestServer::Start() {
  if (Running()) return;
  pid_ = Spawn({bin_ + "/postgres", "-D", folder_ + "/data", "-k", folder_, "-p", std::to_string(port_), "-c",
                "listen_addresses=", "-c", "fsync=off", "-c", "synchronous_commit=off", "-c",
                "full_page_writes=off", "-c", "shared_buffers=16MB", "-c", "max_connections=40"},
               folder_ + "/server.log");
  WaitReady();
}

void TPgTestServer::WaitReady() {
  const std::string conninfo = Url("postgres");
  const auto deadline = std::chrono::steady_clock::now() + kStartDeadline;
  while (PQping(conninfo.c_str()) != PQPING_OK) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      throw std::runtime_error("the PostgreSQL server ended at its start:\n" + ReadLog());
    }
    if (std::chrono::steady_clock::now() > deadline) {
      Stop();
      throw std::runtime_error("the PostgreSQL server did not accept connections in time:\n" + ReadLog());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void TPgTestServer::Stop() {
  if (!Running()) return;
  // SIGINT is the fast shutdown: sessions are ended, the data is written out.
  ::kill(pid_, SIGINT);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
}

std::string TPgTestServer::ReadLog() const { return ReadText(folder_ + "/server.log"); }

std::string TPgTestServer::Url(const std::string& database, const std::string& user) const {
  std::string url = "postgresql:///" + database + "?host=" + folder_ + "&port=" + std::to_string(port_);
  if (!user.empty()) url += "&user=" + user;
  return url;
}

std::string TPgTestServer::Sql(const std::string& sql, const std::string& database) const {
  PGconn* conn = PQconnectdb(Url(database).c_str());
  if (PQstatus(conn) != CONNECTION_OK) {
    const std::string error = PQerrorMessage(conn);
    PQfinish(conn);
    throw std::runtime_error("connecting as postgres: " + error);
  }
  PGresult* result = PQexec(conn, sql.c_str());
  const ExecStatusType status = PQresultStatus(result);
  std::string out;
  if (status == PGRES_TUPLES_OK)
    for (int i = 0; i < PQntuples(result); ++i) out += std::string(PQgetvalue(result, i, 0)) + "\n";
  const std::string error = PQerrorMessage(conn);
  PQclear(result);
  PQfinish(conn);
  if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) throw std::runtime_error(sql + ": " + error);
  return out;
}

void TPgTestServer::CreateRole(const std::string& name, const std::string& password) {
  Sql("CREATE ROLE " + QuoteIdentifier(name) + " LOGIN" +
      (password.empty() ? std::string() : " PASSWORD " + QuoteLiteral(password)));
}

void TPgTestServer::CreateDatabase(const std::string& name, const std::string& owner) {
  Sql("CREATE DATABASE " + QuoteIdentifier(name) + " OWNER " + QuoteIdentifier(owner));
}

void TPgTestServer::RequirePassword(const std::string& role) {
  // The first line that matches decides, so the role's line goes before initdb's "trust".
  const std::string hba = folder_ + "/data/pg_hba.conf";
  const std::string lines = "local all " + QuoteIdentifier(role) + " scram-sha-256\n" + ReadText(hba);
  std::ofstream(hba, std::ios::binary | std::ios::trunc) << lines;
  // A restart rather than a reload: the rule holds once this returns, with no waiting.
  Stop();
  Start();
}

}  // namespace quorvel::test
