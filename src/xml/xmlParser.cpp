#include "xmlParser.h"

#include "Cp1251.h"
#include "Errors.h"
#include "FileText.h"
#include "XmlText.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlsave.h>

#include <fmt/format.h>
#include <fmt/printf.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace quorvel {

namespace {

// Outside resources are never read while parsing, whatever a document asks for.
xmlParserInputPtr RefuseExternalEntity(const char*, const char*, xmlParserCtxtPtr) { return nullptr; }

void InitLibxmlOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    xmlInitParser();
    xmlSetExternalEntityLoader(RefuseExternalEntity);
  });
}

// No XML_PARSE_NOENT (entities stay references), no XML_PARSE_DTDLOAD; blanks kept.
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

struct DocDeleter {
  void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
};
using DocPtr = std::unique_ptr<xmlDoc, DocDeleter>;

struct CtxtDeleter {
  void operator()(xmlParserCtxt* c) const { xmlFreeParserCtxt(c); }
};

std::string ParseErrorReason(const xmlError* e) {
  if (!e || !e->message) return "Документ не является правильным XML";
  std::string message = e->message;
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  return fmt::format("Строка {}, позиция {}: {}", e->line, e->int2, message);
}

// The whole file; raises Exception with the system's reason only (the caller names the file).
std::string ReadWholeFile(const std::string& fileName) {
  // Opened without waiting and taken only as a regular file: a FIFO would hold the open.
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) throw Exception(std::strerror(errno));
  std::unique_ptr<FILE, int (*)(FILE*)> f(::fdopen(fd, "rb"), std::fclose);
  if (!f) {
    const int err = errno;
    ::close(fd);
    throw Exception(std::strerror(err));
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) throw Exception(std::strerror(errno));
  if (!S_ISREG(st.st_mode)) throw Exception(fmt::format(kNotRegularFileMessage, fileName));
  std::string data;
  char buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0) {
    // No document of the program comes near the cap of the other text inputs.
    if (data.size() + n > kMaxTextFileSize) throw Exception(fmt::format(kFileTooLargeMessage, fileName));
    data.append(buf, n);
  }
  if (std::ferror(f.get())) throw Exception(std::strerror(errno ? errno : EIO));
  return data;
}

// XML_PARSE_HUGE also lifts libxml2's guard against entities that expand without end, so a
// document parsed with it gets no entity at all: the first declaration ends the parse.
void RefuseEntityDecl(void* ctx, const xmlChar*, int, const xmlChar*, const xmlChar*, xmlChar*) {
  auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
  ctxt->_private = ctxt;
  ctxt->wellFormed = 0;
  xmlStopParser(ctxt);
}

DocPtr ParseDocument(std::string_view bytes, const std::string& name, bool largeText) {
  InitLibxmlOnce();
  if (bytes.size() > static_cast<std::size_t>(INT_MAX)) throw Exception("Файл слишком большой");
  std::unique_ptr<xmlParserCtxt, CtxtDeleter> ctxt(xmlNewParserCtxt());
  if (!ctxt) throw Exception("Нет памяти для разбора XML");
  if (largeText) ctxt->sax->entityDecl = RefuseEntityDecl;
  DocPtr doc(xmlCtxtReadMemory(ctxt.get(), bytes.data(), static_cast<int>(bytes.size()), name.c_str(),
                               nullptr, kParseOptions | (largeText ? XML_PARSE_HUGE : 0)));
  if (ctxt->_private != nullptr) throw Exception(kXmlEntityRefusedMessage);
  if (!doc || !ctxt->wellFormed) throw Exception(ParseErrorReason(xmlCtxtGetLastError(ctxt.get())));
  return doc;
}

void CheckWritable(const std::string& text) {
  if (!IsCp1251Representable(text)) Utf8ToCp1251(text);  // raises, naming the character
}

// The node as UTF-8 markup.
std::string DumpNode(const xmlNode* node) {
  std::unique_ptr<xmlBuffer, void (*)(xmlBuffer*)> buffer(xmlBufferCreate(), xmlBufferFree);
  if (!buffer || xmlNodeDump(buffer.get(), node->doc, const_cast<xmlNode*>(node), 0, 0) < 0)
    throw Exception("XML: не удалось записать документ");
  return std::string(reinterpret_cast<const char*>(xmlBufferContent(buffer.get())),
                     static_cast<std::size_t>(xmlBufferLength(buffer.get())));
}

// Names, comments, CDATA, processing instructions and declarations cannot hold character
// references: libxml2 would write "&#NNNN;" into them and change (or break) the document.
void CheckNodeWritable(const xmlNode* node) {
  for (const xmlNode* n = node; n; n = n->next) {
    switch (n->type) {
      case XML_ELEMENT_NODE:
        CheckWritable(XmlNodeName(n));
        for (const xmlAttr* a = n->properties; a; a = a->next)
          CheckWritable(XmlNodeName(reinterpret_cast<const xmlNode*>(a)));
        CheckNodeWritable(n->children);
        break;
      case XML_COMMENT_NODE:
      case XML_CDATA_SECTION_NODE:
        CheckWritable(XmlNodeText(n));
        break;
      case XML_PI_NODE:
        CheckWritable(XmlNodeName(n));
        CheckWritable(XmlNodeText(n));
        break;
      case XML_ENTITY_REF_NODE:
        CheckWritable(XmlNodeName(n));
        break;
      case XML_DTD_NODE:
        CheckWritable(DumpNode(n));
        break;
      default:
        break;
    }
  }
}

}  // namespace

TXmlParser::TXmlParser() { NewDocument(); }

TXmlParser::~TXmlParser() {
  root_.reset();
  xmlFreeDoc(doc_);
}

void TXmlParser::ReplaceDocument(xmlDoc* doc, std::unique_ptr<TXmlItem> root) {
  root_.reset();
  xmlFreeDoc(doc_);
  doc_ = doc;
  root_ = std::move(root);
}

void TXmlParser::NewDocument() {
  InitLibxmlOnce();
  DocPtr doc(xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0")));
  if (!doc) throw Exception("Нет памяти для документа XML");
  doc->encoding = xmlStrdup(reinterpret_cast<const xmlChar*>("windows-1251"));
  xmlNode* element = xmlNewDocNode(doc.get(), nullptr, reinterpret_cast<const xmlChar*>("root"), nullptr);
  if (!element) throw Exception("Нет памяти для документа XML");
  xmlDocSetRootElement(doc.get(), element);
  auto root = std::make_unique<TXmlItem>(element, nullptr);
  ReplaceDocument(doc.release(), std::move(root));
}

void TXmlParser::SetRootName(const std::string& name) {
  CheckXmlName(name);
  xmlNode* element = xmlNewDocNode(doc_, nullptr, reinterpret_cast<const xmlChar*>(name.c_str()), nullptr);
  if (!element) throw Exception("XML: не удалось создать элемент " + name);
  root_.reset();
  xmlNode* old = xmlDocSetRootElement(doc_, element);
  if (old) xmlFreeNode(old);
  root_ = std::make_unique<TXmlItem>(element, nullptr);
}

void TXmlParser::LoadFromText(std::string_view bytes, const std::string& name) {
  try {
    DocPtr doc = ParseDocument(bytes, name, largeText_);
    auto root = std::make_unique<TXmlItem>(xmlDocGetRootElement(doc.get()), nullptr);
    root->LoadChildren();
    ReplaceDocument(doc.release(), std::move(root));
  } catch (const Exception& e) {
    throw Exception(fmt::sprintf("%s %s.\r\n%s", kXmlReadError, name, e.what()));
  }
}

void TXmlParser::LoadFromFile(const std::string& name) {
  std::string bytes;
  try {
    bytes = IsHttpAddress(name) ? HttpGet(name, timeouts_) : ReadWholeFile(name);
  } catch (const Exception& e) {
    throw Exception(fmt::sprintf("%s %s.\r\n%s", kXmlReadError, name, e.what()));
  }
  LoadFromText(bytes, name);
}

std::string TXmlParser::SaveToText() const {
  CheckNodeWritable(doc_->children);
  xmlBuffer* buffer = xmlBufferCreate();
  if (!buffer) throw Exception("Нет памяти для записи XML");
  std::unique_ptr<xmlBuffer, void (*)(xmlBuffer*)> guard(buffer, xmlBufferFree);
  // libxml2 writes its declaration with double quotes; the program's own one is written
  // instead so that every file starts the same way.
  xmlSaveCtxt* save = xmlSaveToBuffer(buffer, "windows-1251", XML_SAVE_NO_DECL);
  if (!save) throw Exception("XML: кодировка windows-1251 недоступна");
  const long written = xmlSaveDoc(save, doc_);
  if (xmlSaveClose(save) < 0 || written < 0) throw Exception("XML: не удалось записать документ");
  std::string text = kXmlDeclaration;
  text += "\n";
  text.append(reinterpret_cast<const char*>(xmlBufferContent(buffer)),
              static_cast<std::size_t>(xmlBufferLength(buffer)));
  if (text.back() != '\n') text += "\n";
  return text;
}

void TXmlParser::SaveToFile(const std::string& name, TWriteKind kind, TFileAccess access) const {
  try {
    WriteFileText(name, SaveToText(), kind, access);
  } catch (const Exception& e) {
    throw Exception(fmt::sprintf("%s %s.\r\n%s", kXmlWriteError, name, e.what()));
  }
}

}  // namespace quorvel
