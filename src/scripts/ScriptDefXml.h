#pragma once

#include "ScriptDef.h"

#include <memory>
#include <string>

namespace quorvel {

class TXmlItem;
class TXmlParser;

/// Element names of the definitions XML.
inline constexpr const char* kScriptDefsRootName = "OrtenaScripts";  ///< root of a downloaded file
inline constexpr const char* kScriptDefsDocName = "otscripts";       ///< element in the configuration
/// Path of the definitions file on the support web server.
inline constexpr const char* kScriptDefsUrlPath = "/ortena/otscripts.xml";

/// Reads and writes script definitions as XML (every value is the text of a child
/// element). Thread rules: one thread at a time (the shared instance owns one parser).
class TScriptDefXml {
 public:
  TScriptDefXml();
  ~TScriptDefXml();
  TScriptDefXml(const TScriptDefXml&) = delete;
  TScriptDefXml& operator=(const TScriptDefXml&) = delete;

  /// Writes the set into element (expected empty): FileVersion, then one "script" per
  /// definition. Raises Exception when a name cannot be carried by XML.
  void WriteDefs(TXmlItem& element, const TScriptDefs& defs) const;

  /// Reads the set from element: the k-th "script" child goes into the k-th definition (a
  /// definition is added for each one beyond the set's count). A missing element raises
  /// "Элемент не найден, <name>", a type that is not an integer EConvertError
  /// "'<text>' - неверное целое значение". The set changes only when everything was read:
  /// on an error it is left exactly as it was.
  void ReadDefs(TXmlItem& element, TScriptDefs& defs) const;

  /// Loads the XML file path or http(s) address, takes its element OrtenaScripts and reads it
  /// with ReadDefs. A document that cannot be loaded raises "Ошибка чтения файла ..."; the
  /// set is unchanged on every error.
  void LoadFromUrl(const std::string& address, TScriptDefs& defs);

  /// The parser LoadFromUrl uses (its http timeouts may be set).
  TXmlParser& Parser() { return *parser_; }

 private:
  std::unique_ptr<TXmlParser> parser_;
};

/// The shared reader and writer, created on first use; lives to the end of the program.
TScriptDefXml& ScriptDefXml();

}  // namespace quorvel
