#include "rtf2html/html_renderer.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "rtf2html/html_text.h"

namespace rtf2html {

namespace {

// What a field instruction or a list marker may hold; they are short in any
// real document.
constexpr std::size_t kMaxInstruction = 4096;
constexpr std::size_t kMaxMarker = 64;
// Indents and spacing are kept within a page's size.
constexpr int kMaxTwips = 31680;

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Lowered(std::string_view s) {
  std::string lowered(s);
  std::transform(lowered.begin(), lowered.end(), lowered.begin(), Lower);
  return lowered;
}

bool On(const Token& token) {
  return !token.has_param || token.param != 0;
}

int Twips(const Token& token) {
  return std::clamp(token.param, -kMaxTwips, kMaxTwips);
}

// Twips as CSS points: 20 twips make a point.
std::string Points(int twips) {
  if (twips == 0) return "0";
  int hundredths = twips * 5;
  std::string points = hundredths < 0 ? "-" : "";
  hundredths = std::abs(hundredths);
  points += std::to_string(hundredths / 100);
  if (int fraction = hundredths % 100) {
    char digits[4];
    std::snprintf(digits, sizeof digits, ".%02d", fraction);
    points += digits[2] == '0' ? std::string(digits, 2) : std::string(digits, 3);
  }
  return points + "pt";
}

std::string HexColor(uint32_t rgb) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "#%06x", static_cast<unsigned>(rgb & 0xFFFFFF));
  return hex;
}

struct FieldArgument {
  std::string text;
  bool quoted;
};

// The arguments of a field instruction: words, or quoted strings in which a
// backslash takes the next character literally.
std::vector<FieldArgument> FieldArguments(std::string_view instruction) {
  std::vector<FieldArgument> arguments;
  std::size_t i = 0;
  while (i < instruction.size()) {
    if (IsSpace(instruction[i])) {
      ++i;
      continue;
    }
    FieldArgument argument{std::string(), instruction[i] == '"'};
    if (argument.quoted) {
      for (++i; i < instruction.size() && instruction[i] != '"'; ++i) {
        if (instruction[i] == '\\' && i + 1 < instruction.size()) ++i;
        argument.text.push_back(instruction[i]);
      }
      ++i;
    } else {
      for (; i < instruction.size() && !IsSpace(instruction[i]); ++i)
        argument.text.push_back(instruction[i]);
    }
    arguments.push_back(argument);
  }
  return arguments;
}

bool AllowedScheme(std::string_view url) {
  static const char* const kSchemes[] = {"http:", "https:", "ftp:", "mailto:", "tel:", "news:"};
  std::string lowered = Lowered(url.substr(0, 8));
  for (const char* scheme : kSchemes) {
    if (lowered.compare(0, std::string_view(scheme).size(), scheme) == 0) return true;
  }
  return false;
}

// What a list marker such as "1.", "b)", "iv." or a bullet says about its
// list: whether it is numbered, the HTML list type, and the first number.
struct Marker {
  bool ordered = false;
  char type = '1';
  int start = 1;
};

int RomanValue(std::string_view digits) {
  auto value = [](char c) {
    switch (Lower(c)) {
      case 'i':
        return 1;
      case 'v':
        return 5;
      case 'x':
        return 10;
      case 'l':
        return 50;
      case 'c':
        return 100;
      case 'd':
        return 500;
      case 'm':
        return 1000;
      default:
        return 0;
    }
  };
  int total = 0;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    int v = value(digits[i]);
    if (v == 0 || total > 100000) return 0;
    total += i + 1 < digits.size() && value(digits[i + 1]) > v ? -v : v;
  }
  return total;
}

Marker ParseMarker(std::string_view text) {
  while (!text.empty() && (IsSpace(text.front()) || text.front() == '(')) text.remove_prefix(1);
  while (!text.empty() && (IsSpace(text.back()) || text.back() == '.' || text.back() == ')'))
    text.remove_suffix(1);
  Marker marker;
  if (text.empty() || text.size() > 8) return marker;
  if (std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    marker.ordered = true;
    marker.start = std::stoi(std::string(text));
    return marker;
  }
  bool lower = text[0] >= 'a' && text[0] <= 'z';
  bool upper = text[0] >= 'A' && text[0] <= 'Z';
  if (!lower && !upper) return marker;
  if (text.size() > 1 || Lower(text[0]) == 'i') {
    int value = RomanValue(text);
    bool same_case = std::all_of(text.begin(), text.end(), [&](char c) {
      return lower ? (c >= 'a' && c <= 'z') : (c >= 'A' && c <= 'Z');
    });
    if (value > 0 && same_case) return {true, lower ? 'i' : 'I', value};
    return marker;
  }
  return {true, lower ? 'a' : 'A', Lower(text[0]) - 'a' + 1};
}

}  // namespace

std::string HyperlinkTarget(std::string_view instruction) {
  std::vector<FieldArgument> arguments = FieldArguments(instruction);
  if (arguments.empty() || Lowered(arguments[0].text) != "hyperlink") return std::string();
  std::string url;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const FieldArgument& argument = arguments[i];
    if (argument.quoted || argument.text.empty() || argument.text[0] != '\\') {
      url = argument.text;
      break;
    }
    std::string option = Lowered(argument.text.substr(1));
    if (option == "l") return std::string();
    if (option == "o" || option == "t") ++i;  // a tooltip or a target frame follows
  }
  while (!url.empty() && IsSpace(url.back())) url.pop_back();
  if (AllowedScheme(url)) return url;
  if (Lowered(url.substr(0, 4)) == "www.") return "http://" + url;
  return std::string();
}

bool HtmlRenderer::ClaimDestination(std::string_view word, Destination* destination) {
  if (word != "fldinst") return false;
  *destination = Destination::kFieldInstruction;
  return true;
}

bool HtmlRenderer::OnControl(const Token& token) {
  Destination destination = state().destination;
  if (destination != Destination::kBody && destination != Destination::kFieldResult)
    return true;  // list text and field instructions are only text
  Format& format = formats_.back();
  return CharacterWord(token, &format.chars) || ParagraphWord(token, &format.para) ||
         StructureWord(token);
}

void HtmlRenderer::OnText(std::string_view text) {
  switch (state().destination) {
    case Destination::kFieldInstruction:
      if (!fields_.empty() && fields_.back().instruction.size() < kMaxInstruction)
        fields_.back().instruction.append(text);
      return;
    case Destination::kListText:
      if (marker_.size() < kMaxMarker) marker_.append(text);
      return;
    case Destination::kBody:
    case Destination::kFieldResult:
      if (!formats_.back().chars.hidden) EmitText(text);
      return;
    default:
      return;
  }
}

void HtmlRenderer::OnGroupStart() {
  formats_.push_back(formats_.back());
}

void HtmlRenderer::OnGroupEnd(Destination ended) {
  formats_.pop_back();
  if (ended == Destination::kFieldInstruction && state().destination != ended && !fields_.empty())
    fields_.back().target = HyperlinkTarget(fields_.back().instruction);
  while (!fields_.empty() && fields_.back().depth > depth()) fields_.pop_back();
  if (link_open_) {
    const std::string* link = CurrentLink();
    if (!link || *link != link_) CloseLink();
  }
}

void HtmlRenderer::OnDocumentEnd() {
  Start();
  if (paragraph_open_) EndParagraph();
  CloseTable();
  CloseLists();
  Write(kPageEnd);
}

bool HtmlRenderer::CharacterWord(const Token& token, CharFormat* chars) {
  const std::string& word = token.text;
  if (token.kind != Token::kWord) return false;
  if (word == "plain") {
    *chars = CharFormat();
  } else if (word == "b") {
    chars->bold = On(token);
  } else if (word == "i") {
    chars->italic = On(token);
  } else if (word == "ulnone") {
    chars->underline = false;
  } else if (word.compare(0, 2, "ul") == 0 && word != "ulc") {
    chars->underline = On(token);  // \ul and its dotted, double, wavy... kinds
  } else if (word == "strike" || word == "striked") {
    chars->strike = On(token);
  } else if (word == "super") {
    chars->vertical = 1;
  } else if (word == "sub") {
    chars->vertical = -1;
  } else if (word == "nosupersub") {
    chars->vertical = 0;
  } else if (word == "v") {
    chars->hidden = On(token);
  } else if (word == "fs") {
    chars->size = token.has_param ? std::clamp(token.param, 2, 3276) : 24;
  } else if (word == "cf") {
    chars->color = token.param;
  } else if (word == "highlight" || word == "cb" || word == "chcbpat") {
    chars->background = token.param;
  } else {
    return false;
  }
  return true;
}

bool HtmlRenderer::ParagraphWord(const Token& token, ParaFormat* para) {
  const std::string& word = token.text;
  if (token.kind != Token::kWord) return false;
  if (word == "pard") {
    *para = ParaFormat();
  } else if (word == "ql") {
    para->align = Align::kLeft;
  } else if (word == "qc") {
    para->align = Align::kCenter;
  } else if (word == "qr") {
    para->align = Align::kRight;
  } else if (word == "qj" || word == "qd") {
    para->align = Align::kJustify;
  } else if (word == "li" || word == "lin") {
    para->left = Twips(token);
  } else if (word == "ri" || word == "rin") {
    para->right = Twips(token);
  } else if (word == "fi") {
    para->first = Twips(token);
  } else if (word == "sb") {
    para->before = Twips(token);
  } else if (word == "sa") {
    para->after = Twips(token);
  } else if (word == "intbl") {
    para->in_table = On(token);
  } else if (word == "itap") {
    para->in_table = token.param > 0;
  } else if (word == "ilvl") {
    para->list_level = std::clamp(token.param, 0, 8);
  } else {
    return false;
  }
  return true;
}

bool HtmlRenderer::StructureWord(const Token& token) {
  const std::string& word = token.text;
  if (token.kind != Token::kWord) return false;
  if (word == "par" || word == "nestrow") {
    EndParagraph();
  } else if (word == "sect" || word == "page") {
    if (paragraph_open_) EndParagraph();
  } else if (word == "line" || word == "nestcell") {
    LineBreak();
  } else if (word == "tab") {
    OnText("\t");
  } else if (word == "cell") {
    EndCell();
  } else if (word == "row") {
    EndRow();
  } else if (word == "trowd") {
    if (!table_open_) row_has_borders_ = false;
  } else if (word.compare(0, 4, "brdr") == 0) {
    if (word != "brdrnone" && word != "brdrnil" && word != "brdrw" && word != "brdrcf")
      row_has_borders_ = true;
  } else if (word == "field") {
    fields_.push_back({depth(), std::string(), std::string()});
  } else {
    return false;
  }
  return true;
}

void HtmlRenderer::Start() {
  if (started_) return;
  started_ = true;
  Write(kPageStart);
  std::string family = FontFamilyOf(default_font());
  Write(" style=\"" + (family.empty() ? "" : "font-family:" + family + ";") +
        "font-size:12pt\">\n");
}

void HtmlRenderer::EmitText(std::string_view text) {
  EnsureParagraph();
  SyncLink();
  SyncRun();
  buffer_.clear();
  for (char c : text) {
    if (c == ' ') {
      buffer_.append(after_space_ ? "&nbsp;" : " ");
      after_space_ = !after_space_;
      continue;
    }
    after_space_ = false;
    if (c == '\t') {
      buffer_.append("<span style=\"white-space:pre\">\t</span>");
    } else if (c == '\n') {
      buffer_.append("<br>\n");
      after_space_ = true;
    } else if (c == '\r') {
      continue;
    } else {
      AppendEscaped(std::string_view(&c, 1), &buffer_);
    }
  }
  Write(buffer_);
}

void HtmlRenderer::EnsureParagraph() {
  Start();
  if (paragraph_open_) return;
  const ParaFormat& para = formats_.back().para;
  if (para.in_table) {
    EnsureCell();
  } else {
    CloseTable();
  }
  paragraph_open_ = true;
  after_space_ = true;
  if (!marker_.empty()) {
    OpenListItem(para.list_level);
    return;
  }
  CloseLists();
  Write("<p style=\"" + ParagraphStyle() + "\">");
}

void HtmlRenderer::EndParagraph() {
  bool empty = !paragraph_open_;
  EnsureParagraph();
  if (empty) Write("<br>");
  CloseLink();
  CloseRun();
  // A list item stays open for the lists nested in it.
  if (lists_.empty()) Write("</p>\n");
  paragraph_open_ = false;
  marker_.clear();
}

void HtmlRenderer::LineBreak() {
  EnsureParagraph();
  Write("<br>\n");
  after_space_ = true;
}

void HtmlRenderer::OpenListItem(int level) {
  Marker marker = ParseMarker(marker_);
  std::size_t keep = 0;
  while (keep < lists_.size() && lists_[keep].level < level) ++keep;
  if (keep < lists_.size() && lists_[keep].level == level && lists_[keep].ordered == marker.ordered)
    ++keep;
  CloseLists(keep);
  if (lists_.empty() || lists_.back().level < level) {
    std::string open = marker.ordered ? "<ol" : "<ul";
    if (marker.type != '1') open += std::string(" type=\"") + marker.type + "\"";
    if (marker.start != 1) open += " start=\"" + std::to_string(marker.start) + "\"";
    Write(open + ">\n");
    lists_.push_back({marker.ordered, level});
  } else {
    Write("</li>\n");
  }
  Write("<li>");
}

void HtmlRenderer::CloseLists(std::size_t keep) {
  while (lists_.size() > keep) {
    Write(lists_.back().ordered ? "</li>\n</ol>\n" : "</li>\n</ul>\n");
    lists_.pop_back();
  }
}

void HtmlRenderer::EnsureCell() {
  if (!table_open_) {
    CloseLists();
    Write(row_has_borders_ ? "<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\" "
                             "style=\"border-collapse:collapse\">\n"
                           : "<table cellspacing=\"0\" cellpadding=\"4\">\n");
    table_open_ = true;
  }
  if (!row_open_) {
    Write("<tr>");
    row_open_ = true;
  }
  if (!cell_open_) {
    Write("<td valign=\"top\">");
    cell_open_ = true;
  }
}

void HtmlRenderer::EndCell() {
  if (paragraph_open_) EndParagraph();
  EnsureCell();
  CloseLists();
  Write("</td>");
  cell_open_ = false;
}

void HtmlRenderer::EndRow() {
  if (cell_open_) EndCell();
  if (row_open_) Write("</tr>\n");
  row_open_ = false;
}

void HtmlRenderer::CloseTable() {
  if (!table_open_) return;
  EndRow();
  Write("</table>\n");
  table_open_ = false;
  row_has_borders_ = false;
}

const std::string* HtmlRenderer::CurrentLink() const {
  if (state().destination != Destination::kFieldResult || fields_.empty() ||
      fields_.back().target.empty()) {
    return nullptr;
  }
  return &fields_.back().target;
}

void HtmlRenderer::SyncLink() {
  const std::string* link = CurrentLink();
  if (link_open_ && (!link || *link != link_)) CloseLink();
  if (link_open_ || !link) return;
  CloseRun();
  buffer_ = "<a href=\"";
  AppendEscaped(*link, &buffer_);
  buffer_.append("\">");
  Write(buffer_);
  link_ = *link;
  link_open_ = true;
}

void HtmlRenderer::CloseLink() {
  if (!link_open_) return;
  CloseRun();
  Write("</a>");
  link_open_ = false;
}

void HtmlRenderer::SyncRun() {
  const CharFormat& chars = formats_.back().chars;
  std::vector<std::string> layers;
  std::string style = RunStyle(chars, state().font >= 0 ? state().font : default_font());
  if (!style.empty()) layers.push_back("span style=\"" + style + "\"");
  if (chars.bold) layers.push_back("b");
  if (chars.italic) layers.push_back("i");
  if (chars.underline) layers.push_back("u");
  if (chars.strike) layers.push_back("s");
  if (chars.vertical != 0) layers.push_back(chars.vertical > 0 ? "sup" : "sub");
  // Only the tags from the first one that changes are closed and reopened.
  std::size_t same = 0;
  while (same < layers.size() && same < run_layers_.size() && layers[same] == run_layers_[same])
    ++same;
  CloseRun(same);
  for (std::size_t i = same; i < layers.size(); ++i) Write("<" + layers[i] + ">");
  run_layers_ = std::move(layers);
}

void HtmlRenderer::CloseRun(std::size_t keep) {
  while (run_layers_.size() > keep) {
    const std::string& tag = run_layers_.back();
    Write("</" + tag.substr(0, tag.find(' ')) + ">");
    run_layers_.pop_back();
  }
}

std::string HtmlRenderer::RunStyle(const CharFormat& chars, int font) const {
  std::string style;
  auto add = [&](const std::string& property) {
    style += style.empty() ? property : ";" + property;
  };
  std::string family = FontFamilyOf(font);
  if (!family.empty() && family != FontFamilyOf(default_font())) add("font-family:" + family);
  if (chars.size != 24) add("font-size:" + Points(chars.size * 10));
  if (Color c = color(chars.color); chars.color > 0 && c) add("color:" + HexColor(*c));
  if (Color c = color(chars.background); chars.background > 0 && c)
    add("background-color:" + HexColor(*c));
  return style;
}

std::string HtmlRenderer::ParagraphStyle() const {
  const ParaFormat& para = formats_.back().para;
  std::string style = "margin:";
  if (para.before || para.right || para.after || para.left) {
    style += Points(para.before) + " " + Points(para.right) + " " + Points(para.after) + " " +
             Points(para.left);
  } else {
    style += "0";
  }
  if (para.first) style += ";text-indent:" + Points(para.first);
  static const char* const kAlign[] = {nullptr, "center", "right", "justify"};
  if (const char* align = kAlign[static_cast<int>(para.align)])
    style += std::string(";text-align:") + align;
  return style;
}

std::string HtmlRenderer::FontFamilyOf(int number) const {
  static const char* const kGeneric[] = {"",        "serif", "sans-serif", "monospace", "cursive",
                                         "fantasy", ""};
  const Font* f = font(number);
  if (!f) return std::string();
  // Only characters that cannot end the name, the property or the attribute.
  std::string name;
  for (char c : f->name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u >= 0x80 || std::isalnum(u) || c == ' ' || c == '-' || c == '_') name.push_back(c);
  }
  std::string family = name.empty() ? std::string() : "'" + name + "'";
  std::string_view generic = kGeneric[static_cast<int>(f->family)];
  if (!generic.empty()) family += (family.empty() ? "" : ",") + std::string(generic);
  return family;
}

}  // namespace rtf2html
