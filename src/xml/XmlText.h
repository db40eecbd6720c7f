#pragma once

#include <string>
#include <string_view>

typedef struct _xmlNode xmlNode;

namespace quorvel {

/// Raises Exception when text is not valid UTF-8 or holds a character that XML 1.0 cannot
/// carry (control codes other than tab, line feed and carriage return): libxml2 would drop
/// such a character silently on save, so it is refused before the document changes.
/// `what` names the value in the message ("текст", "значение атрибута").
void CheckXmlText(std::string_view text, const char* what);

/// Raises Exception when name is not a valid XML name (element or attribute).
void CheckXmlName(std::string_view name);

/// The node's name as a DOM reports it: the qualified tag name of an element or attribute,
/// "#text", "#cdata-section", "#comment", the target of a processing instruction, the
/// entity's name for an entity reference.
std::string XmlNodeName(const xmlNode* node);

/// The text of the node and its descendants (text, CDATA and entity content; for a
/// comment or processing instruction its own content).
std::string XmlNodeText(const xmlNode* node);

/// True when a and b are equal ignoring letter case of Latin and Cyrillic letters (the
/// letters the windows-1251 code page has).
bool SameTextIgnoreCase(std::string_view a, std::string_view b);

}  // namespace quorvel
