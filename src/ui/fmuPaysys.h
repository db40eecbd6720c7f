#pragma once

#include "fmuPaysysPage.h"

namespace quorvel::ui {

// The pages of the payment systems, each on its system object of the application document.
// They differ only in their tables (fmuPaysys.cpp); TfmPaysysPage does the rest.

/// "MasterPort": the test configuration (".." or Enter in the file field), restore, write.
class TfmMasterPort final : public TfmPaysysPage {
 public:
  TfmMasterPort(TUiContext& context, TOperationRunner& runner, QWidget* parent = nullptr);
};

/// "PegasPay - Мастерпорт": as MasterPort, on the PegasMP object.
class TfmPegasMP final : public TfmPaysysPage {
 public:
  TfmPegasMP(TUiContext& context, TOperationRunner& runner, QWidget* parent = nullptr);
};

/// "CyberPlat": the point, the two keys and the password (kept for this run only).
class TfmCyberPlat final : public TfmPaysysPage {
 public:
  TfmCyberPlat(TUiContext& context, TOperationRunner& runner, QWidget* parent = nullptr);
};

/// "EPort": card number, PIN and point of sale.
class TfmEPort final : public TfmPaysysPage {
 public:
  TfmEPort(TUiContext& context, TOperationRunner& runner, QWidget* parent = nullptr);
};

/// "Закрытый ключ" under EPort: a PEM private key typed or loaded into the page and written;
/// never kept in the model.
class TfmEPortPrivateKey final : public TfmPaysysPage {
 public:
  TfmEPortPrivateKey(TUiContext& context, TOperationRunner& runner, QWidget* parent = nullptr);
};

/// "XPlat": point, login, password (kept for this run only) and the secret key file.
class TfmXPlat final : public TfmPaysysPage {
 public:
  TfmXPlat(TUiContext& context, TOperationRunner& runner, QWidget* parent = nullptr);
};

/// "ОСМП": login, password (kept for this run only), terminal number.
class TfmOSMP final : public TfmPaysysPage {
 public:
  TfmOSMP(TUiContext& context, TOperationRunner& runner, QWidget* parent = nullptr);
};

/// "PEGAS - ОСМП": as OSMP, on the PegasOSMP object.
class TfmPegasOSMP final : public TfmPaysysPage {
 public:
  TfmPegasOSMP(TUiContext& context, TOperationRunner& runner, QWidget* parent = nullptr);
};

/// "ЛЕГКО И УДОБНО": the key and certificate files.
class TfmEasyPay final : public TfmPaysysPage {
 public:
  TfmEasyPay(TUiContext& context, TOperationRunner& runner, QWidget* parent = nullptr);
};

/// "ПлатеЖКа": key, certificate and code-word files, device number.
class TfmKrasplat final : public TfmPaysysPage {
 public:
  TfmKrasplat(TUiContext& context, TOperationRunner& runner, QWidget* parent = nullptr);
};

/// "Беркут": the device id.
class TfmBercut final : public TfmPaysysPage {
 public:
  TfmBercut(TUiContext& context, TOperationRunner& runner, QWidget* parent = nullptr);
};

/// Absolutplat (captioned with the operator's web domain): agent id, device id, code word.
class TfmAbsolutplat final : public TfmPaysysPage {
 public:
  TfmAbsolutplat(TUiContext& context, TOperationRunner& runner, QWidget* parent = nullptr);
};

/// "Eurofon": as Absolutplat.
class TfmEurofon final : public TfmPaysysPage {
 public:
  TfmEurofon(TUiContext& context, TOperationRunner& runner, QWidget* parent = nullptr);
};

/// "Объединённые Биллинговые Системы": URL, device id, agent id.
class TfmUbsPay final : public TfmPaysysPage {
 public:
  TfmUbsPay(TUiContext& context, TOperationRunner& runner, QWidget* parent = nullptr);
};

}  // namespace quorvel::ui
