#include "XmlText.h"

#include "Errors.h"

#include <libxml/tree.h>
#include <libxml/xmlstring.h>

#include <fmt/format.h>

#include <memory>

namespace quorvel {

namespace {

// Decodes one UTF-8 sequence at pos; returns false for a malformed, overlong or surrogate
// sequence.
bool NextCodePoint(std::string_view s, std::size_t& pos, char32_t& cp) {
  const auto b0 = static_cast<unsigned char>(s[pos]);
  int extra = 0;
  char32_t min = 0;
  if (b0 < 0x80) {
    cp = b0;
  } else if ((b0 & 0xE0) == 0xC0) {
    cp = b0 & 0x1F, extra = 1, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    cp = b0 & 0x0F, extra = 2, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    cp = b0 & 0x07, extra = 3, min = 0x10000;
  } else {
    return false;
  }
  if (s.size() - pos < static_cast<std::size_t>(extra) + 1) return false;
  for (int i = 1; i <= extra; ++i) {
    const auto b = static_cast<unsigned char>(s[pos + i]);
    if ((b & 0xC0) != 0x80) return false;
    cp = (cp << 6) | (b & 0x3F);
  }
  pos += extra + 1;
  if (extra > 0 && cp < min) return false;
  return cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
}

bool IsXmlChar(char32_t cp) {
  if (cp < 0x20) return cp == 0x09 || cp == 0x0A || cp == 0x0D;
  return cp != 0xFFFE && cp != 0xFFFF;
}

// Lower case of the Latin and Cyrillic capitals (U+0400..U+042F, U+0490).
char32_t FoldCase(char32_t cp) {
  if (cp >= 'A' && cp <= 'Z') return cp + 0x20;
  if (cp >= 0x0410 && cp <= 0x042F) return cp + 0x20;
  if (cp >= 0x0400 && cp <= 0x040F) return cp + 0x50;
  if (cp == 0x0490) return 0x0491;
  return cp;
}

struct XmlCharDeleter {
  void operator()(xmlChar* p) const { xmlFree(p); }
};

}  // namespace

void CheckXmlText(std::string_view text, const char* what) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    char32_t cp = 0;
    if (!NextCodePoint(text, pos, cp))
      throw EEncodingError(fmt::format("XML: {} не в кодировке UTF-8", what));
    if (!IsXmlChar(cp))
      throw Exception(
          fmt::format("XML: {} содержит недопустимый символ с кодом {}", what, static_cast<unsigned>(cp)));
  }
}

void CheckXmlName(std::string_view name) {
  CheckXmlText(name, "имя");  // also refuses a NUL byte, which would cut the name short
  const std::string s(name);
  if (s.empty() || xmlValidateName(reinterpret_cast<const xmlChar*>(s.c_str()), 0) != 0)
    throw Exception(fmt::format("XML: недопустимое имя \"{}\"", s));
}

std::string XmlNodeName(const xmlNode* node) {
  switch (node->type) {
    case XML_TEXT_NODE:
      return "#text";
    case XML_CDATA_SECTION_NODE:
      return "#cdata-section";
    case XML_COMMENT_NODE:
      return "#comment";
    case XML_DOCUMENT_NODE:
      return "#document";
    default:
      break;
  }
  std::string name = node->name ? reinterpret_cast<const char*>(node->name) : "";
  if ((node->type == XML_ELEMENT_NODE || node->type == XML_ATTRIBUTE_NODE) && node->ns && node->ns->prefix)
    name = reinterpret_cast<const char*>(node->ns->prefix) + (":" + name);
  return name;
}

std::string XmlNodeText(const xmlNode* node) {
  std::unique_ptr<xmlChar, XmlCharDeleter> content(xmlNodeGetContent(node));
  return content ? reinterpret_cast<const char*>(content.get()) : "";
}

bool SameTextIgnoreCase(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    char32_t ca = 0;
    char32_t cb = 0;
    const bool okA = NextCodePoint(a, i, ca);
    const bool okB = NextCodePoint(b, j, cb);
    if (!okA || !okB) return a == b;  // malformed bytes only match themselves
    if (FoldCase(ca) != FoldCase(cb)) return false;
  }
  return i == a.size() && j == b.size();
}

}  // namespace quorvel
