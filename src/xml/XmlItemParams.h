#pragma once

#include <functional>
#include <string>
#include <string_view>

typedef struct _xmlNode xmlNode;

namespace quorvel {

/// Name/value access to the attributes of one DOM element. Attribute names are compared
/// exactly (qualified names, letter case significant). Values are UTF-8.
/// Thread rules: as the owning TXmlParser (one thread at a time).
class TXmlItemParams {
 public:
  /// Accessor for node. Raises Exception "AxmlNode = nil" when node is null.
  explicit TXmlItemParams(xmlNode* node);

  /// The node whose attributes are read and written.
  xmlNode* Node() const { return node_; }

  /// Number of attributes of the element; 0 for a node that is not an element.
  int Count() const;

  /// Text of attribute name; empty when it is missing. For a node that cannot have
  /// attributes (text, comment, ...) also empty, and the debug trace "attributes" is sent
  /// to the handler installed with SetXmlDebugTrace.
  std::string GetValue(const std::string& name) const;

  /// Replaces the text of attribute name in place, or adds the attribute when it is
  /// missing. Raises Exception for a node that is not an element, for an invalid name and
  /// for a value XML cannot carry (see CheckXmlText); nothing changes then.
  void SetValue(const std::string& name, const std::string& value);

 private:
  xmlNode* node_;
};

/// Receives the debug traces of the XML layer (the program routes them to its log; none by
/// default). Set it before the XML objects are used; not synchronised.
void SetXmlDebugTrace(std::function<void(std::string_view)> handler);

/// Sends one debug trace to the installed handler, if any.
void XmlDebugTrace(std::string_view text);

}  // namespace quorvel
