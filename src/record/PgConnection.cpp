#include "PgConnection.h"

#include "RecordUrl.h"

#include <fmt/format.h>
#include <libpq-fe.h>

#include <poll.h>

#include <cstdlib>
#include <cstring>

namespace quorvel {

namespace {

constexpr const char* kRecordErrorFormat = "Журнал обслуживания {}: {}";
constexpr const char* kNoConnection = "нет связи с сервером";
constexpr const char* kDefaultConnectTimeout = "10";  // seconds

// libpq's text ends with a newline and may run over several lines.
std::string OneLine(const char* text) {
  std::string line;
  for (const char* c = text != nullptr ? text : ""; *c != '\0'; ++c) {
    const bool blank = *c == '\n' || *c == '\t' || *c == ' ' || *c == '\r';
    if (!blank)
      line += *c;
    else if (!line.empty() && line.back() != ' ')
      line += ' ';
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

// Whether the socket has something to read now.
bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return fd >= 0 && ::poll(&p, 1, 0) > 0;
}

// The reasons people meet, by SQLSTATE class or code; the rest is the server's refusal.
std::string ReasonOf(const char* state) {
  const std::string code = state != nullptr ? state : "";
  if (code.rfind("08", 0) == 0 || code.rfind("57P", 0) == 0) return kNoConnection;
  if (code.rfind("28", 0) == 0) return "сервер не принял вход";
  if (code == "42501") return "нет прав на запись в журнал";
  if (code == "53100") return "на сервере нет места на диске";
  if (code.rfind("53", 0) == 0) return "серверу не хватает ресурсов";
  if (code == "40001" || code == "40P01") return "запись столкнулась с записью другого стенда";
  if (code == "55P03" || code == "57014") return "журнал занят другой программой слишком долго";
  return "сервер отказал";
}

// Notices (a table that already exists, the server's goodbye) are nobody's business on stderr.
void IgnoreNotice(void*, const char*) {}

}  // namespace

TPgResult::~TPgResult() { PQclear(result_); }

int TPgResult::Rows() const { return PQntuples(result_); }

std::string TPgResult::Text(int row, int column) const {
  return std::string(PQgetvalue(result_, row, column), PQgetlength(result_, row, column));
}

std::int64_t TPgResult::Int(int row, int column) const {
  return std::strtoll(PQgetvalue(result_, row, column), nullptr, 10);
}

double TPgResult::Real(int row, int column) const {
  return std::strtod(PQgetvalue(result_, row, column), nullptr);
}

bool TPgResult::IsNull(int row, int column) const { return PQgetisnull(result_, row, column) != 0; }

int TPgResult::Status() const { return result_ != nullptr ? PQresultStatus(result_) : PGRES_FATAL_ERROR; }

const char* TPgResult::ErrorField(int field) const {
  return result_ != nullptr ? PQresultErrorField(result_, field) : nullptr;
}

TPgConnection::TPgConnection(const std::string& url) : location_(UrlWithoutPassword(url)) {
  // Keywords are applied in order and the URL's come last, so the URL overrides these
  // defaults; an empty value lets libpq take the PG* environment.
  const char* timeout = std::getenv("PGCONNECT_TIMEOUT") != nullptr ? "" : kDefaultConnectTimeout;
  const char* const keywords[] = {"fallback_application_name", "connect_timeout", "dbname", nullptr};
  const char* const values[] = {"quorvel", timeout, url.c_str(), nullptr};
  conn_ = PQconnectdbParams(keywords, values, 1);
  if (conn_ == nullptr) Fail("нет памяти для соединения");
  PQsetNoticeProcessor(conn_, IgnoreNotice, nullptr);
  if (PQstatus(conn_) != CONNECTION_OK) {
    try {
      FailConnection();
    } catch (...) {
      PQfinish(conn_);
      conn_ = nullptr;
      throw;
    }
  }
}

TPgConnection::~TPgConnection() { PQfinish(conn_); }

void TPgConnection::Fail(const std::string& reason) const {
  throw ERecordError(fmt::format(kRecordErrorFormat, location_, reason));
}

void TPgConnection::FailConnection() const {
  const std::string text = OneLine(PQerrorMessage(conn_));
  if (PQconnectionNeedsPassword(conn_))
    Fail(fmt::format("сервер требует пароль (задайте его в ~/.pgpass или PGPASSFILE): {}", text));
  Fail(fmt::format("{}: {}", kNoConnection, text));
}

void TPgConnection::Ready() {
  // A server that closed the connection while it was idle has left its goodbye and the end of
  // the stream in the socket: reading them, without sending anything, marks the connection
  // bad. The goodbye and the end come in separate reads; the bound keeps a chatty server
  // (notifications) from holding the call.
  for (int i = 0; i < 4 && PQstatus(conn_) == CONNECTION_OK && PQtransactionStatus(conn_) == PQTRANS_IDLE &&
                  Readable(PQsocket(conn_));
       ++i) {
    if (PQconsumeInput(conn_) == 0) break;
    PQisBusy(conn_);
  }
  if (PQstatus(conn_) == CONNECTION_OK) return;
  PQreset(conn_);
  if (PQstatus(conn_) != CONNECTION_OK) FailConnection();
}

std::string TPgConnection::Param(double value) { return fmt::format("{}", value); }

TPgResult TPgConnection::ExecParams(std::string_view sql, const std::vector<std::string>& params) {
  std::vector<const char*> values;
  values.reserve(params.size());
  for (const std::string& p : params) values.push_back(p.c_str());
  const std::string text(sql);
  return Checked(PQexecParams(conn_, text.c_str(), static_cast<int>(values.size()), nullptr, values.data(),
                              nullptr, nullptr, 0));
}

void TPgConnection::ExecScript(const char* sql) { Checked(PQexec(conn_, sql)); }

TPgResult TPgConnection::Checked(pg_result* raw) const {
  TPgResult result(raw);
  const auto status = static_cast<ExecStatusType>(result.Status());
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return result;
  if (PQstatus(conn_) != CONNECTION_OK)
    Fail(fmt::format("{}: {}", kNoConnection, OneLine(PQerrorMessage(conn_))));
  const char* primary = result.ErrorField(PG_DIAG_MESSAGE_PRIMARY);
  Fail(fmt::format("{}: {}", ReasonOf(result.ErrorField(PG_DIAG_SQLSTATE)),
                   OneLine(primary != nullptr ? primary : PQerrorMessage(conn_))));
}

void TPgConnection::ExecQuietly(const char* sql) noexcept {
  if (PQstatus(conn_) != CONNECTION_OK) return;
  PQclear(PQexec(conn_, sql));
}

TPgTransaction::TPgTransaction(TPgConnection& connection) : connection_(connection) {
  connection_.Exec("BEGIN");
}

TPgTransaction::~TPgTransaction() {
  if (open_) connection_.ExecQuietly("ROLLBACK");
}

void TPgTransaction::Commit() {
  open_ = false;
  connection_.Exec("COMMIT");
}

}  // namespace quorvel
