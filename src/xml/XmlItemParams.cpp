#include "XmlItemParams.h"

#include "Errors.h"
#include "XmlItem.h"
#include "XmlText.h"

#include <libxml/tree.h>

#include <fmt/format.h>

namespace quorvel {

namespace {

std::function<void(std::string_view)>& TraceHandler() {
  static std::function<void(std::string_view)> handler;
  return handler;
}

xmlAttr* FindAttribute(xmlNode* node, const std::string& name) {
  for (xmlAttr* a = node->properties; a; a = a->next)
    if (XmlNodeName(reinterpret_cast<xmlNode*>(a)) == name) return a;
  return nullptr;
}

}  // namespace

void SetXmlDebugTrace(std::function<void(std::string_view)> handler) { TraceHandler() = std::move(handler); }

void XmlDebugTrace(std::string_view text) {
  if (TraceHandler()) TraceHandler()(text);
}

TXmlItemParams::TXmlItemParams(xmlNode* node) : node_(node) {
  if (!node) throw Exception(kXmlNilNodeMessage);
}

int TXmlItemParams::Count() const {
  if (node_->type != XML_ELEMENT_NODE) return 0;
  int n = 0;
  for (xmlAttr* a = node_->properties; a; a = a->next) ++n;
  return n;
}

std::string TXmlItemParams::GetValue(const std::string& name) const {
  if (node_->type != XML_ELEMENT_NODE) {
    XmlDebugTrace("attributes");
    return {};
  }
  xmlAttr* a = FindAttribute(node_, name);
  return a ? XmlNodeText(reinterpret_cast<xmlNode*>(a)) : std::string();
}

void TXmlItemParams::SetValue(const std::string& name, const std::string& value) {
  if (node_->type != XML_ELEMENT_NODE)
    throw Exception(fmt::format("XML: узел \"{}\" не может иметь атрибутов", XmlNodeName(node_)));
  CheckXmlText(value, "значение атрибута");
  const auto* text = reinterpret_cast<const xmlChar*>(value.c_str());
  // xmlSetNsProp and xmlNewProp take the value literally (no entity parsing), unlike
  // xmlNodeSetContent.
  if (xmlAttr* a = FindAttribute(node_, name)) {
    if (!xmlSetNsProp(node_, a->ns, a->name, text))
      throw Exception("XML: не удалось изменить атрибут " + name);
    return;
  }
  CheckXmlName(name);
  if (!xmlNewProp(node_, reinterpret_cast<const xmlChar*>(name.c_str()), text))
    throw Exception("XML: не удалось создать атрибут " + name);
}

}  // namespace quorvel
