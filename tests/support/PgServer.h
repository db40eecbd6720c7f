#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace quorvel::test {

/// A PostgreSQL server of one test's own: made by initdb in a fresh folder under $TMPDIR (or
/// /tmp), listening on a Unix socket in that folder only (no TCP), fsync off, superuser
/// "postgres" trusted over the socket. Run as root, the folder is given to the system user
/// "postgres" and initdb and the server run as that user (PostgreSQL refuses root).
/// The destructor stops the server and removes the folder, also when the test failed.
/// Raises std::runtime_error (with the server's log) when it cannot be made or started.
///
/// Use from a test (library target quorvel_test_pg):
///   QUORVEL_SKIP_WITHOUT_PG_SERVER();
///   quorvel::test::TPgTestServer server;
///   server.CreateRole("bench", "secret");          // LOGIN, password optional
///   server.CreateDatabase("service", "bench");     // owned by bench
///   std::string url = server.Url("service", "bench");
///   server.Stop(); ... server.Start();              // the same server away and back
///
/// A test process that dies without its destructor (a crash, ctest's timeout) still stops its
/// server: the server gets SIGINT when the thread that started it ends, so make and Start()
/// it on a thread that outlives it (the test's own).
/// Threads: one thread at a time; the servers of tests running in parallel never share a
/// folder or a socket.
class TPgTestServer {
 public:
  /// Why no server can be made here ("" when it can): initdb or postgres not found on PATH
  /// nor under /usr/lib/postgresql/*/bin, or no "postgres" user when running as root.
  static std::string MissingReason();

  /// Makes the cluster and starts the server; waits until it accepts connections.
  TPgTestServer();
  ~TPgTestServer();
  TPgTestServer(const TPgTestServer&) = delete;
  TPgTestServer& operator=(const TPgTestServer&) = delete;

  /// The folder holding the data directory (data/), the socket and the log (server.log).
  const std::string& Folder() const { return folder_; }
  /// The port number that names the socket (.s.PGSQL.<port> in Folder()).
  int Port() const { return port_; }

  /// "postgresql:///<database>?host=<folder>&port=<port>&user=<user>" (user empty: none, so
  /// libpq's own choice: PGUSER or the system user).
  std::string Url(const std::string& database, const std::string& user = "postgres") const;

  /// Runs sql (one or more statements) as the superuser in database; returns the first column
  /// of the last statement's rows, one per line. Raises std::runtime_error with the server's
  /// message when it fails.
  std::string Sql(const std::string& sql, const std::string& database = "postgres") const;
  /// Makes a login role; with a password (kept as SCRAM), which counts only for the roles
  /// RequirePassword names.
  void CreateRole(const std::string& name, const std::string& password = "");
  /// Makes a database owned by owner.
  void CreateDatabase(const std::string& name, const std::string& owner = "postgres");
  /// From now on role must give its password (scram-sha-256) over the socket; others stay
  /// trusted. Restarts the server, so it takes effect before this returns.
  void RequirePassword(const std::string& role);

  /// Stops the server (fast shutdown: connections are closed) and waits for it to end.
  void Stop();
  /// Starts the stopped server again on the same folder and socket; waits until it accepts
  /// connections.
  void Start();
  bool Running() const { return pid_ > 0; }

 private:
  pid_t Spawn(const std::vector<std::string>& args, const std::string& log) const;
  int Run(const std::vector<std::string>& args, const std::string& log) const;
  void WaitReady();
  std::string ReadLog() const;

  std::string bin_;
  std::string folder_;
  int port_ = 0;
  pid_t pid_ = -1;
  uid_t uid_ = 0;
  gid_t gid_ = 0;
  bool asOther_ = false;
};

}  // namespace quorvel::test

/// Skips the running test when no PostgreSQL server can be made here, saying why.
#define QUORVEL_SKIP_WITHOUT_PG_SERVER()                                                  \
  do {                                                                                    \
    const std::string quorvelPgMissing = ::quorvel::test::TPgTestServer::MissingReason(); \
    if (!quorvelPgMissing.empty()) GTEST_SKIP() << quorvelPgMissing;                      \
  } while (false)
