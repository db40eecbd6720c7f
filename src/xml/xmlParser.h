#pragma once

#include "FileText.h"
#include "HttpGet.h"
#include "XmlItem.h"
#include "XmlItemParams.h"

#include <memory>
#include <string>
#include <string_view>

typedef struct _xmlDoc xmlDoc;

namespace quorvel {

/// Message of a failed load: "Ошибка чтения файла <name>.\r\n<reason>".
inline constexpr const char* kXmlReadError = "Ошибка чтения файла";
/// Message of a failed save: "Ошибка записи файла <name>.\r\n<reason>".
inline constexpr const char* kXmlWriteError = "Ошибка записи файла";
/// The XML declaration every saved file starts with.
inline constexpr const char* kXmlDeclaration = "<?xml version='1.0' encoding='windows-1251'?>";

/// Owns one DOM document (libxml2) and the wrapper tree of its document element (Root).
/// Files are written in windows-1251; a character that code page lacks is written as a
/// character reference (&#NNNN;), so nothing is lost. Loading never reads anything but the
/// named file or address: no external entities, DTDs or network access during parsing.
/// Thread rules: a parser and its wrappers are used by one thread at a time.
/// Reason of a load with SetLargeText of a document that declares an entity.
inline constexpr const char* kXmlEntityRefusedMessage =
    "Объявления сущностей (<!ENTITY) в этом файле не допускаются";

class TXmlParser {
 public:
  /// Creates the first document at once (NewDocument).
  TXmlParser();
  ~TXmlParser();
  TXmlParser(const TXmlParser&) = delete;
  TXmlParser& operator=(const TXmlParser&) = delete;

  /// The DOM document (never null). Readers and writers use the wrappers instead.
  xmlDoc* Document() const { return doc_; }
  /// The wrapper of the document element (never null).
  TXmlItem* Root() const { return root_.get(); }

  /// Drops Root and the document and starts a fresh one whose document element is an empty
  /// "root".
  void NewDocument();

  /// Drops Root and installs a new empty element name as the document element in place of
  /// the old one. Raises Exception for an invalid name (nothing changes then).
  void SetRootName(const std::string& name);

  /// Loads the file path or http(s) address name (fetched with HttpGet and the timeouts
  /// of SetHttpTimeouts) and builds the whole wrapper tree. On failure raises Exception
  /// "Ошибка чтения файла <name>.\r\n<reason>", the reason giving the line and column of
  /// a parse error; the previous document and Root stay then.
  void LoadFromFile(const std::string& name);

  /// As LoadFromFile for a document already in memory (bytes in the encoding the document
  /// declares, UTF-8 by default); name appears in the error message only.
  void LoadFromText(std::string_view bytes, const std::string& name);

  /// The document serialised in windows-1251, starting with kXmlDeclaration. Raises
  /// EEncodingError when a name, comment, CDATA section or processing instruction holds a
  /// character windows-1251 lacks (character references cannot stand there).
  std::string SaveToText() const;

  /// Writes SaveToText to the file name with WriteFileText of kind and access (by default
  /// replaced atomically, created with the usual mode). Raises Exception
  /// "Ошибка записи файла <name>.\r\n<reason>"; the old file stays intact then.
  void SaveToFile(const std::string& name, TWriteKind kind = TWriteKind::Document,
                  TFileAccess access = TFileAccess::Shared) const;

  /// Lets the loads of this parser take text nodes past libxml2's own cap of 10 MB (a file's
  /// bytes in Base64: a document read from a file stays within kMaxTextFileSize anyway). Such
  /// a document may declare no entity: a load of one that does raises kXmlEntityRefusedMessage.
  void SetLargeText(bool on) { largeText_ = on; }

  /// Timeouts of the http loads of this parser.
  void SetHttpTimeouts(const THttpTimeouts& timeouts) { timeouts_ = timeouts; }
  const THttpTimeouts& HttpTimeouts() const { return timeouts_; }

 private:
  void ReplaceDocument(xmlDoc* doc, std::unique_ptr<TXmlItem> root);

  xmlDoc* doc_ = nullptr;
  std::unique_ptr<TXmlItem> root_;
  THttpTimeouts timeouts_;
  bool largeText_ = false;
};

}  // namespace quorvel
