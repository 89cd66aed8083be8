#include "common/XMLElement.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <pugixml.hpp>
#include <sstream>

#include "common/QXDisplay.h"
#include "common/QXMissingValue.h"

namespace QXXML_600 {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

bool IsNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':'; }

bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

// Whether XML 1.0 allows the code point in a document.
bool IsXmlChar(std::uint32_t cp) {
  if (cp < 0x20) return cp == 0x09 || cp == 0x0A || cp == 0x0D;
  if (cp >= 0xD800 && cp <= 0xDFFF) return false;
  return cp != 0xFFFE && cp != 0xFFFF && cp <= 0x10FFFF;
}

// Length of the valid UTF-8 sequence at s[i] and its code point, or 0 when the bytes there do not
// form one (a stray continuation byte, a truncated or overlong sequence).
std::size_t DecodeUtf8(std::string_view s, std::size_t i, std::uint32_t& cp) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char b0 = byte(i);
  std::size_t n = 0;
  std::uint32_t min = 0;
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  } else if ((b0 & 0xE0) == 0xC0) {
    n = 2, cp = b0 & 0x1Fu, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    n = 3, cp = b0 & 0x0Fu, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    n = 4, cp = b0 & 0x07u, min = 0x10000;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3Fu);
  }
  return cp < min ? 0 : n;
}

// The text with every byte sequence XML 1.0 cannot carry replaced by U+FFFD.
std::string Sanitised(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    std::uint32_t cp = 0;
    const std::size_t n = DecodeUtf8(text, i, cp);
    if (n == 0) {
      out += kReplacement;
      ++i;
    } else if (!IsXmlChar(cp)) {
      out += kReplacement;
      i += n;
    } else {
      out.append(text.substr(i, n));
      i += n;
    }
  }
  return out;
}

// CR LF and lone CR become LF, as a parser would make them of element text.
std::string NormalisedLineEnds(std::string text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') {
      out += text[i];
    } else {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    }
  }
  return out;
}

void AppendTo(const XMLElement& element, pugi::xml_node parent) {
  pugi::xml_node node = parent.append_child(element.GetName().c_str());
  for (int i = 0; i < element.GetNAttributes(); ++i) {
    const std::string name(element.GetAttributeName(i));
    const std::string value(element.GetAttributeValue(i));
    node.append_attribute(name.c_str()).set_value(value.c_str());
  }
  if (!element.GetText().empty()) node.append_child(pugi::node_pcdata).set_value(element.GetText().c_str());
  for (int i = 0; i < element.GetNChildren(); ++i) AppendTo(*element.GetChild(i), node);
}

std::string Serialised(const XMLElement& element, bool indent, bool declaration) {
  pugi::xml_document doc;
  AppendTo(element, doc);
  if (declaration) {
    pugi::xml_node node = doc.prepend_child(pugi::node_declaration);
    node.append_attribute("version").set_value("1.0");
    node.append_attribute("encoding").set_value("UTF-8");
  }
  // pugixml would add a declaration of its own without the encoding; the explicit one replaces it.
  const unsigned flags = (indent ? pugi::format_indent : pugi::format_raw) | pugi::format_no_declaration;
  std::ostringstream out;
  doc.save(out, "  ", flags, pugi::encoding_utf8);
  return out.str();
}

}  // namespace

XMLElement::XMLElement(std::string name) : fName(std::move(name)) {}

XMLElement::~XMLElement() = default;

std::unique_ptr<XMLElement> XMLElement::Create(std::string_view name) {
  if (!IsValidName(name)) return nullptr;
  return std::unique_ptr<XMLElement>(new XMLElement(std::string(name)));
}

bool XMLElement::IsValidName(std::string_view name) {
  if (name.empty() || !IsNameStart(name[0])) return false;
  for (char c : name)
    if (!IsNameChar(c)) return false;
  return true;
}

bool XMLElement::AddAttribute(std::string_view name, std::string_view text) {
  if (!IsValidName(name)) return false;
  std::string value = Sanitised(text);
  for (auto& attribute : fvAttributes) {
    if (attribute.first == name) {
      attribute.second = std::move(value);
      return true;
    }
  }
  fvAttributes.emplace_back(std::string(name), std::move(value));
  return true;
}

bool XMLElement::AddAttribute(std::string_view name, double value) {
  return AddAttribute(name, FormatDouble(value));
}

void XMLElement::SetText(std::string_view text) { fText = NormalisedLineEnds(Sanitised(text)); }

XMLElement* XMLElement::AddChild(std::unique_ptr<XMLElement> child) {
  if (!child) return nullptr;
  fvChildren.push_back(std::move(child));
  return fvChildren.back().get();
}

std::string_view XMLElement::GetAttributeName(int i) const {
  return i >= 0 && i < GetNAttributes() ? std::string_view(fvAttributes[static_cast<std::size_t>(i)].first)
                                        : std::string_view();
}

std::string_view XMLElement::GetAttributeValue(int i) const {
  return i >= 0 && i < GetNAttributes() ? std::string_view(fvAttributes[static_cast<std::size_t>(i)].second)
                                        : std::string_view();
}

const std::string* XMLElement::FindAttribute(std::string_view name) const {
  for (const auto& attribute : fvAttributes)
    if (attribute.first == name) return &attribute.second;
  return nullptr;
}

const XMLElement* XMLElement::GetChild(int i) const {
  return i >= 0 && i < GetNChildren() ? fvChildren[static_cast<std::size_t>(i)].get() : nullptr;
}

XMLElement* XMLElement::GetChild(int i) {
  return i >= 0 && i < GetNChildren() ? fvChildren[static_cast<std::size_t>(i)].get() : nullptr;
}

const XMLElement* XMLElement::FindChild(std::string_view name) const {
  for (const auto& child : fvChildren)
    if (child->GetName() == name) return child.get();
  return nullptr;
}

std::string XMLElement::ToString(bool indent) const { return Serialised(*this, indent, false); }

std::string XMLElement::ToDocument(bool indent) const { return Serialised(*this, indent, true); }

std::string XMLElement::FormatDouble(double value) {
  if (std::isnan(value) || QXMV::IsMissing(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

void XMLElement::Display() const {
  std::istringstream lines(ToString(true));
  for (std::string line; std::getline(lines, line);) QXDisplay_600::DisplayText(1, line);
}

}  // namespace QXXML_600
