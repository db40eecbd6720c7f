#include "XmlItem.h"

#include "Errors.h"
#include "TextUtils.h"
#include "WireText.h"
#include "XmlText.h"

#include <libxml/tree.h>

#include <fmt/format.h>
#include <fmt/printf.h>

#include <limits>

namespace quorvel {

TXmlItem::TXmlItem(xmlNode* node, TXmlItem* parent) : node_(node), parent_(parent) {
  if (!node) throw Exception(kXmlNilNodeMessage);
}

TXmlItem::~TXmlItem() = default;

std::string TXmlItem::Name() const { return XmlNodeName(node_); }

std::string TXmlItem::Text() const { return XmlNodeText(node_); }

void TXmlItem::SetText(const std::string& text) {
  CheckXmlText(text, "текст");
  const auto* content = reinterpret_cast<const xmlChar*>(text.c_str());
  if (node_->type != XML_ELEMENT_NODE) {
    // Text, CDATA, comment and PI content is stored literally.
    if (node_->type == XML_ENTITY_REF_NODE || node_->type == XML_ATTRIBUTE_NODE)
      throw Exception(fmt::format("XML: нельзя изменить текст узла \"{}\"", Name()));
    xmlNodeSetContent(node_, content);
    return;
  }
  // xmlNodeSetContent would parse "&name;" in an element's text as an entity reference;
  // the new content is built as a literal text node instead.
  xmlNode* textNode = text.empty() ? nullptr : xmlNewDocText(node_->doc, content);
  if (!text.empty() && !textNode) throw Exception("XML: не удалось создать текстовый узел");
  Clear();
  xmlNode* child = node_->children;
  while (child) {
    xmlNode* next = child->next;
    xmlUnlinkNode(child);
    xmlFreeNode(child);
    child = next;
  }
  if (textNode) xmlAddChild(node_, textNode);
  LoadChildren();
}

TXmlItem* TXmlItem::Items(int index) const {
  if (index < 0 || index >= Count()) throw Exception(fmt::format("Индекс списка вне границ ({})", index));
  return items_[static_cast<std::size_t>(index)].get();
}

void TXmlItem::Clear() { items_.clear(); }

void TXmlItem::LoadChildren() {
  Clear();
  // An entity reference's children belong to the entity declaration, not to this tree.
  if (node_->type == XML_ENTITY_REF_NODE) return;
  for (xmlNode* child = node_->children; child; child = child->next) {
    items_.push_back(std::make_unique<TXmlItem>(child, this));
    items_.back()->LoadChildren();
  }
}

TXmlItem* TXmlItem::Add(const std::string& name) {
  if (node_->type != XML_ELEMENT_NODE)
    throw Exception(fmt::format("XML: узел \"{}\" не может иметь дочерних элементов", Name()));
  CheckXmlName(name);
  xmlNode* element =
      xmlNewDocNode(node_->doc, nullptr, reinterpret_cast<const xmlChar*>(name.c_str()), nullptr);
  if (!element) throw Exception("XML: не удалось создать элемент " + name);
  auto item = std::make_unique<TXmlItem>(element, this);
  xmlAddChild(node_, element);
  items_.push_back(std::move(item));
  return items_.back().get();
}

TXmlItem* TXmlItem::AddText(const std::string& name, const std::string& text) {
  // Checked first so that a bad text does not leave an empty element behind.
  CheckXmlText(text, "текст");
  TXmlItem* item = Add(name);
  item->SetText(text);
  return item;
}

TXmlItem* TXmlItem::AddInt(const std::string& name, std::int64_t value) {
  return AddText(name, std::to_string(value));
}

TXmlItem* TXmlItem::AddBool(const std::string& name, bool value) { return AddText(name, value ? "1" : "0"); }

bool TXmlItem::HasName(const std::string& name) const { return SameTextIgnoreCase(Name(), name); }

TXmlItem* TXmlItem::Find(const std::string& name) {
  if (HasName(name)) return this;
  for (auto& item : items_)
    if (item->HasName(name)) return item.get();
  return nullptr;
}

TXmlItem* TXmlItem::GetItem(const std::string& name) {
  TXmlItem* item = Find(name);
  if (!item) throw Exception(fmt::sprintf("%s, %s", kXmlElementNotFound, name));
  return item;
}

std::string TXmlItem::GetText(const std::string& name) { return GetItem(name)->Text(); }

std::int32_t TXmlItem::GetInt(const std::string& name) {
  const std::string text = GetText(name);
  std::int64_t value = 0;
  if (!TryStrToInt64(text, value) || value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max())
    throw EConvertError(fmt::sprintf("'%s' - неверное целое значение", ShortValue(text)));
  return static_cast<std::int32_t>(value);
}

bool TXmlItem::GetBool(const std::string& name) { return GetText(name) == "1"; }

TXmlItemParams& TXmlItem::Params() {
  if (!params_) params_ = std::make_unique<TXmlItemParams>(node_);
  return *params_;
}

}  // namespace quorvel
