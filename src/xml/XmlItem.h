#pragma once

#include "XmlItemParams.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

typedef struct _xmlNode xmlNode;

namespace quorvel {

/// Message of a lookup that finds nothing: "Элемент не найден, <name>".
inline constexpr const char* kXmlElementNotFound = "Элемент не найден";
/// Message of wrapping a null node.
inline constexpr const char* kXmlNilNodeMessage = "AxmlNode = nil";

/// The wrapper of one DOM node. It mirrors the node's children as an ordered list of child
/// wrappers it owns (one per child node of every kind: elements, text, whitespace text,
/// comments), built by LoadChildren and extended by Add. Text is UTF-8.
/// A wrapper stays valid until its parent is cleared or its parser gets a new document or
/// root. Thread rules: as the owning TXmlParser (one thread at a time).
class TXmlItem {
 public:
  /// Wraps node below parent (none for the root); children are not loaded. Raises
  /// Exception "AxmlNode = nil" when node is null.
  TXmlItem(xmlNode* node, TXmlItem* parent);
  ~TXmlItem();
  TXmlItem(const TXmlItem&) = delete;
  TXmlItem& operator=(const TXmlItem&) = delete;

  /// The wrapped DOM node (never null).
  xmlNode* Node() const { return node_; }
  /// The parent wrapper, null for the root.
  TXmlItem* Parent() const { return parent_; }

  /// The node's name: the tag name of an element, "#text" for text, "#comment" for a
  /// comment, "#cdata-section" for CDATA.
  std::string Name() const;

  /// The text content of the node and its descendants.
  std::string Text() const;
  /// Replaces the content of an element by one text node (none for an empty text) and
  /// rebuilds this item's children, so wrappers of the old children become invalid; sets
  /// the content of a text, CDATA or comment node. Raises Exception for a text XML cannot
  /// carry, leaving the node unchanged.
  void SetText(const std::string& text);

  /// Number of child wrappers.
  int Count() const { return static_cast<int>(items_.size()); }
  /// Child wrapper at a 0-based index; raises Exception for an index out of range.
  TXmlItem* Items(int index) const;

  /// Frees all child wrappers; the DOM nodes stay.
  void Clear();
  /// Clear, then one child wrapper per DOM child node in document order, each loaded
  /// recursively. Entity references are leaves.
  void LoadChildren();

  /// Creates element name, appends it as the last child of this node and returns its
  /// wrapper (owned by this item). Raises Exception for an invalid name or when this node is
  /// not an element.
  TXmlItem* Add(const std::string& name);
  /// Add(name) with Text set to text.
  TXmlItem* AddText(const std::string& name, const std::string& text);
  /// Add(name) with the decimal text of value.
  TXmlItem* AddInt(const std::string& name, std::int64_t value);
  /// Add(name) with the text "1" for true, "0" for false.
  TXmlItem* AddBool(const std::string& name, bool value);

  /// True when the node's name equals name ignoring the case of Latin and Cyrillic letters.
  bool HasName(const std::string& name) const;
  /// This item when it has the name, else its first direct child with the name, else null.
  /// Grandchildren are never searched.
  TXmlItem* Find(const std::string& name);
  /// Find(name), or raises Exception "Элемент не найден, <name>".
  TXmlItem* GetItem(const std::string& name);
  /// Text of GetItem(name).
  std::string GetText(const std::string& name);
  /// GetText(name) as a 32-bit decimal integer; raises EConvertError
  /// "'<text>' - неверное целое значение" for anything else (blanks included).
  std::int32_t GetInt(const std::string& name);
  /// True exactly when GetText(name) is "1".
  bool GetBool(const std::string& name);

  /// The attribute accessor of this node, created on first use.
  TXmlItemParams& Params();

 private:
  xmlNode* node_;
  TXmlItem* parent_;
  std::vector<std::unique_ptr<TXmlItem>> items_;
  std::unique_ptr<TXmlItemParams> params_;
};

}  // namespace quorvel
