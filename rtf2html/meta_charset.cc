#include "rtf2html/meta_charset.h"

#include <vector>

namespace rtf2html {

namespace {

constexpr char kMetaUtf8[] = "<meta charset=\"utf-8\">";

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != b[i]) return false;
  }
  return true;
}

struct Attribute {
  std::string_view name;
  std::size_t value_begin = 0;  // offsets of the value, quotes excluded
  std::size_t value_end = 0;
};

struct Edit {
  std::size_t begin;
  std::size_t end;
  std::string_view text;
};

// Reads the attributes of the tag whose name ends at pos; leaves pos after
// the tag's ">" (or at the end of html).
std::vector<Attribute> ReadAttributes(std::string_view html, std::size_t* pos) {
  std::vector<Attribute> attributes;
  std::size_t i = *pos;
  while (i < html.size() && html[i] != '>') {
    if (IsSpace(html[i]) || html[i] == '/') {
      ++i;
      continue;
    }
    std::size_t name_begin = i;
    while (i < html.size() && !IsSpace(html[i]) && html[i] != '=' && html[i] != '>' &&
           html[i] != '/') {
      ++i;
    }
    Attribute attribute;
    attribute.name = html.substr(name_begin, i - name_begin);
    while (i < html.size() && IsSpace(html[i])) ++i;
    if (i < html.size() && html[i] == '=') {
      ++i;
      while (i < html.size() && IsSpace(html[i])) ++i;
      if (i < html.size() && (html[i] == '"' || html[i] == '\'')) {
        char quote = html[i++];
        attribute.value_begin = i;
        while (i < html.size() && html[i] != quote) ++i;
        attribute.value_end = i;
        if (i < html.size()) ++i;
      } else {
        attribute.value_begin = i;
        while (i < html.size() && !IsSpace(html[i]) && html[i] != '>') ++i;
        attribute.value_end = i;
      }
    } else {
      attribute.value_begin = attribute.value_end = i;
    }
    attributes.push_back(attribute);
  }
  *pos = i < html.size() ? i + 1 : i;
  return attributes;
}

// The edit that makes one meta tag declare UTF-8, if it declares a charset.
bool CharsetEdit(std::string_view html, const std::vector<Attribute>& attributes, Edit* edit) {
  const Attribute* content = nullptr;
  bool content_type = false;
  for (const Attribute& a : attributes) {
    std::string_view value = html.substr(a.value_begin, a.value_end - a.value_begin);
    if (EqualsIgnoringCase(a.name, "charset")) {
      *edit = {a.value_begin, a.value_end, "utf-8"};
      return true;
    }
    if (EqualsIgnoringCase(a.name, "http-equiv") && EqualsIgnoringCase(value, "content-type"))
      content_type = true;
    if (EqualsIgnoringCase(a.name, "content")) content = &a;
  }
  if (!content_type || !content) return false;
  *edit = {content->value_begin, content->value_end, "text/html; charset=utf-8"};
  return true;
}

// Whether html at pos opens the tag name (given in lower case).
bool OpensTag(std::string_view html, std::size_t pos, std::string_view name) {
  std::size_t end = pos + 1 + name.size();
  if (end > html.size() || !EqualsIgnoringCase(html.substr(pos + 1, name.size()), name))
    return false;
  return end == html.size() || IsSpace(html[end]) || html[end] == '>' || html[end] == '/';
}

}  // namespace

std::string DeclareUtf8(std::string_view html) {
  std::vector<Edit> edits;
  std::size_t after_head = std::string_view::npos;
  std::size_t after_html = std::string_view::npos;
  std::size_t after_doctype = std::string_view::npos;
  std::size_t pos = 0;
  while ((pos = html.find('<', pos)) != std::string_view::npos) {
    if (html.compare(pos, 4, "<!--") == 0) {
      std::size_t end = html.find("-->", pos + 4);
      pos = end == std::string_view::npos ? html.size() : end + 3;
      continue;
    }
    std::size_t tag = pos;
    if (OpensTag(html, tag, "meta")) {
      pos = tag + 5;
      Edit edit;
      if (CharsetEdit(html, ReadAttributes(html, &pos), &edit)) edits.push_back(edit);
      continue;
    }
    std::size_t* after = nullptr;
    if (OpensTag(html, tag, "head")) {
      after = &after_head;
    } else if (OpensTag(html, tag, "html")) {
      after = &after_html;
    } else if (OpensTag(html, tag, "!doctype")) {
      after = &after_doctype;
    } else {
      ++pos;
      continue;
    }
    std::size_t end = html.find('>', tag);
    pos = end == std::string_view::npos ? html.size() : end + 1;
    if (*after == std::string_view::npos) *after = pos;
  }
  if (edits.empty()) {
    if (after_head != std::string_view::npos) {
      edits.push_back({after_head, after_head, kMetaUtf8});
    } else if (after_html != std::string_view::npos) {
      static const std::string kHead = std::string("<head>") + kMetaUtf8 + "</head>";
      edits.push_back({after_html, after_html, kHead});
    } else {
      std::size_t at = after_doctype == std::string_view::npos ? 0 : after_doctype;
      edits.push_back({at, at, kMetaUtf8});
    }
  }
  std::string result;
  result.reserve(html.size() + 32);
  std::size_t copied = 0;
  for (const Edit& edit : edits) {
    result.append(html.substr(copied, edit.begin - copied));
    result.append(edit.text);
    copied = edit.end;
  }
  result.append(html.substr(copied));
  return result;
}

}  // namespace rtf2html
