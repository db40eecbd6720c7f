#include "RecordedWrite.h"

#include "Errors.h"
#include "ServiceRecord.h"

namespace quorvel::ui {

TRecordedWrite::TRecordedWrite(const std::string& configured, TWriteNote note)
    : note_(std::move(note)), record_(OpenServiceRecord(ServiceRecordLocation(configured))) {}

TRecordedWrite::~TRecordedWrite() = default;

void TRecordedWrite::Finish(std::exception_ptr error) {
  if (!error) {
    Finish(kRecordPassed, {});
    return;
  }
  std::string result = kRecordFailed;
  std::string message;
  try {
    std::rethrow_exception(error);
  } catch (const EAbort&) {
    result = kRecordStopped;
    message = kAbortMessage;
  } catch (const std::exception& e) {
    message = e.what();
  } catch (...) {
    message = "Неизвестная ошибка";
  }
  try {
    Finish(result, message);
  } catch (const std::exception&) {
    // The write's own error is the one the user must see.
  }
}

void TRecordedWrite::Finish(const std::string& result, const std::string& message) {
  TOperationRecord entry;
  entry.Host = HostName();
  entry.Operator = UserName();
  entry.Program = "quorvel";
  entry.Operation = note_.Operation;
  entry.Port = note_.Port;
  entry.Result = result;
  entry.Message = message;
  record_->AddOperation(entry);
}

}  // namespace quorvel::ui
