// An XML element built by the library's exports (PMML fragments, ZozoREZ parameter statistics) and
// placed by the caller in its own documents. An element has a name, attributes in the order they
// were added, optional text and child elements, which belong to their parent. Serialisation gives
// well-formed UTF-8 XML whatever the texts hold.
//
// Texts: attribute values and element text are stored as given, except that what XML 1.0 cannot
// carry is replaced on the way in: invalid UTF-8 and control characters other than tab, line feed
// and carriage return become U+FFFD. Element text also has its line ends normalised to line feeds,
// as an XML parser would. Attribute values keep tabs and line ends (written as character
// references), so every attribute reads back exactly as stored.
//
// Doubles: written with the shortest text that reads back to the same double (std::to_chars), in
// the xs:double form that PMML expects: 1, 0.1, 2.5e-07, -1e+300. Non-finite values are written as
// "INF", "-INF" and "NaN"; the system-missing value has no number to show and is written as "NaN".
// Callers that mean "no value" should leave the attribute out, as the exports do.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/QXExport.h"

namespace QXXML_600 {

class QXCOMMON_API XMLElement {
 public:
  // A new element owned by the caller; null when `name` is not an XML name (an ASCII letter, '_' or
  // ':' followed by letters, digits, '-', '.', '_' or ':').
  static std::unique_ptr<XMLElement> Create(std::string_view name);

  XMLElement(const XMLElement&) = delete;
  XMLElement& operator=(const XMLElement&) = delete;
  ~XMLElement();

  const std::string& GetName() const { return fName; }

  // Adds an attribute after those already present; an attribute of the same name keeps its place
  // and takes the new value. Refused (false, element unchanged) when `name` is not an XML name.
  bool AddAttribute(std::string_view name, std::string_view text);
  bool AddAttribute(std::string_view name, double value);

  // Replaces the element's text.
  void SetText(std::string_view text);
  const std::string& GetText() const { return fText; }

  // Appends a child, which from then on belongs to this element; returns it (null for a null child).
  XMLElement* AddChild(std::unique_ptr<XMLElement> child);

  int GetNAttributes() const { return static_cast<int>(fvAttributes.size()); }
  // Name and value of attribute i; empty outside 0..GetNAttributes()-1.
  std::string_view GetAttributeName(int i) const;
  std::string_view GetAttributeValue(int i) const;
  // The value of the named attribute, or null when the element has none.
  const std::string* FindAttribute(std::string_view name) const;

  int GetNChildren() const { return static_cast<int>(fvChildren.size()); }
  // Child i, or null outside 0..GetNChildren()-1.
  const XMLElement* GetChild(int i) const;
  XMLElement* GetChild(int i);
  // The first child of that name, or null.
  const XMLElement* FindChild(std::string_view name) const;

  // The element and its children as an XML fragment (no declaration), indented by two spaces per
  // level unless `indent` is false.
  std::string ToString(bool indent = true) const;
  // The same with the declaration <?xml version="1.0" encoding="UTF-8"?> in front: a document of
  // its own.
  std::string ToDocument(bool indent = true) const;

  // The text that AddAttribute(name, double) writes for a value.
  static std::string FormatDouble(double value);
  // True for the names Create and AddAttribute accept.
  static bool IsValidName(std::string_view name);

  // Prints the element as indented XML.
  void Display() const;

 private:
  explicit XMLElement(std::string name);

  std::string fName;
  std::vector<std::pair<std::string, std::string>> fvAttributes;
  std::string fText;
  std::vector<std::unique_ptr<XMLElement>> fvChildren;
};

}  // namespace QXXML_600
