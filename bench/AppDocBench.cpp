// The configuration document at its largest: 13 payment systems, each with 120 input scripts,
// 1000 providers in the flat list and 1000 more in a three-level group tree (10 groups x 10
// subgroups x 10 providers). Measures writing it to disk and reading it back, as the program
// does at exit and at start. Bytes/s counts the file's size.
#include "AppDoc.h"
#include "AppDocXml.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

using namespace quorvel;

namespace {

void FillProvider(TServiceProvider& provider, int n) {
  provider.SetIdentifier("Провайдер " + std::to_string(n));
  provider.SetText("Оплата услуг " + std::to_string(n % 1000));
  provider.Prefixes = "910;916;926";
  provider.Description = "Описание провайдера номер " + std::to_string(n);
  provider.FeeTableID = n % 11;
  provider.FormatID = 10 + n % 118;
  provider.SetMaxAmount(15000);
}

void FillLarge(TAppDoc& doc) {
  for (int s = 0; s < doc.PaymentSystems().Count(); ++s) {
    TPaymentSystem& system = doc.PaymentSystems().Items(s);
    system.ServerParams().Address = "192.168.0." + std::to_string(s);
    while (system.Scripts().Count() < TScripts::kMaxScripts) {
      TScript& script = system.Scripts().AddNew();
      script.SetName("Скрипт " + std::to_string(script.Number()));
      script.SetText(
          "WINDOW(1);\r\nNUMBER = MASKEDIT(0, 0, 120, 20, \"+7 (***) ***-**-**\", 10);\r\nNEXT_WND(2);\r\n");
    }
    for (int p = 0; p < 1000; ++p) FillProvider(system.Providers().Add(), p);
    TProviderGroup& root = system.ProviderGroup();
    for (int g = 0; g < 10; ++g) {
      TProviderGroup& group = root.AddChild();
      group.Text = "Группа " + std::to_string(g);
      for (int k = 0; k < 10; ++k) {
        TProviderGroup& sub = group.AddChild();
        sub.Text = "Подгруппа " + std::to_string(k);
        for (int p = 0; p < 10; ++p) FillProvider(sub.Providers().Add(), g * 100 + k * 10 + p);
      }
    }
  }
  for (int t = 0; t < doc.FeeTables().Count(); ++t)
    for (int k = 0; k < TFees::kMaxFees; ++k) {
      TFee& fee = doc.FeeTables().Items(t).Fees().Add();
      fee.FeeSum = Money::FromUnits((k + 1) * 1000000);
      fee.FeeValue = 1.5 + k;
    }
}

struct LargeDocument {
  LargeDocument() {
    char pattern[] = "/tmp/quorvel-appdoc-bench-XXXXXX";
    folder = mkdtemp(pattern) ? pattern : "/tmp";
    file = folder + "/Quorvel.xml";
    doc = std::make_unique<TAppDoc>(folder + "/none.xml");
    doc->SaveOnDestroy = false;
    FillLarge(*doc);
    AppDocXml().SaveDocument(*doc, file);
    bytes = static_cast<std::int64_t>(std::filesystem::file_size(file));
  }
  ~LargeDocument() {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  }
  std::string folder;
  std::string file;
  std::unique_ptr<TAppDoc> doc;
  std::int64_t bytes = 0;
};

LargeDocument& Large() {
  static LargeDocument large;
  return large;
}

void BM_SaveDocument(benchmark::State& state) {
  LargeDocument& large = Large();
  for (auto _ : state) AppDocXml().SaveDocument(*large.doc, large.file);
  state.SetBytesProcessed(state.iterations() * large.bytes);
  state.counters["file_MB"] = static_cast<double>(large.bytes) / 1e6;
}
BENCHMARK(BM_SaveDocument)->Unit(benchmark::kMillisecond);

void BM_LoadDocument(benchmark::State& state) {
  LargeDocument& large = Large();
  TAppDoc target(large.folder + "/none.xml");
  target.SaveOnDestroy = false;
  for (auto _ : state) {
    const std::string error = AppDocXml().LoadDocument(target, large.file);
    if (!error.empty()) {
      state.SkipWithError(error.c_str());
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * large.bytes);
  state.counters["providers"] = static_cast<double>(target.UbsPay().Providers().Count());
}
BENCHMARK(BM_LoadDocument)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
