#include "ScriptDefXml.h"

#include "xmlParser.h"

namespace quorvel {

namespace {

void WriteVariables(TXmlItem& parent, const TScriptVariables& variables) {
  for (int i = 0; i < variables.Count(); ++i) {
    TXmlItem* item = parent.Add("variable");
    item->AddText("text", variables.Items(i)->Name);
    item->AddInt("itemtype", variables.Items(i)->ItemType);
  }
}

void WriteDef(TXmlItem& script, const TScriptDef& def) {
  TXmlItem* methods = script.Add("Methods");
  for (int i = 0; i < def.Methods().Count(); ++i) {
    const TScriptMethod* method = def.Methods().Items(i);
    TXmlItem* item = methods->Add("method");
    item->AddText("text", method->Name);
    item->AddInt("type", method->ResultType);
    WriteVariables(*item->Add("params"), method->Params);
  }
  WriteVariables(*script.Add("Variables"), def.Variables());
  script.AddText("ModemVersion", def.ModemVersion);
}

void ReadVariables(TXmlItem& parent, TScriptVariables& variables) {
  variables.Clear();
  for (int i = 0; i < parent.Count(); ++i) {
    TXmlItem* item = parent.Items(i);
    if (!item->HasName("variable")) continue;
    const std::string name = item->GetText("text");
    variables.Add(name, item->GetInt("itemtype"));
  }
}

void ReadDef(TXmlItem& script, TScriptDef& def) {
  TXmlItem* methods = script.GetItem("Methods");
  def.Methods().Clear();
  for (int i = 0; i < methods->Count(); ++i) {
    TXmlItem* item = methods->Items(i);
    if (!item->HasName("method")) continue;
    const std::string name = item->GetText("text");
    TScriptMethod* method = def.Methods().Add(name, item->GetInt("type"));
    ReadVariables(*item->GetItem("params"), method->Params);
  }
  ReadVariables(*script.GetItem("Variables"), def.Variables());
  def.ModemVersion = script.GetText("ModemVersion");
}

}  // namespace

TScriptDefXml::TScriptDefXml() : parser_(std::make_unique<TXmlParser>()) {}

TScriptDefXml::~TScriptDefXml() = default;

void TScriptDefXml::WriteDefs(TXmlItem& element, const TScriptDefs& defs) const {
  element.AddText("FileVersion", defs.FileVersion);
  for (int i = 0; i < defs.Count(); ++i) WriteDef(*element.Add("script"), *defs.Items(i));
}

void TScriptDefXml::ReadDefs(TXmlItem& element, TScriptDefs& defs) const {
  // Everything is read into copies first: a broken file must not leave the definitions the
  // program works with half-cleared.
  std::vector<std::unique_ptr<TScriptDef>> read;
  const std::string fileVersion = element.GetText("FileVersion");
  for (int i = 0; i < element.Count(); ++i) {
    TXmlItem* item = element.Items(i);
    if (!item->HasName("script")) continue;
    auto def = std::make_unique<TScriptDef>();
    const int k = static_cast<int>(read.size());
    if (k < defs.Count()) def->Assign(*defs.Items(k));
    ReadDef(*item, *def);
    read.push_back(std::move(def));
  }
  defs.FileVersion = fileVersion;
  for (std::size_t k = 0; k < read.size(); ++k) {
    const int index = static_cast<int>(k);
    TScriptDef* target = index < defs.Count() ? defs.Items(index) : defs.Add();
    target->Assign(*read[k]);
  }
}

void TScriptDefXml::LoadFromUrl(const std::string& address, TScriptDefs& defs) {
  parser_->LoadFromFile(address);
  ReadDefs(*parser_->Root()->GetItem(kScriptDefsRootName), defs);
}

TScriptDefXml& ScriptDefXml() {
  static TScriptDefXml instance;
  return instance;
}

}  // namespace quorvel
