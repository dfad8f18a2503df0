// An HTML rendering of a document that was written as RTF in the first
// place: paragraphs with their alignment and indents, bold, italic,
// underlined, struck, raised and lowered text, fonts, sizes and colors,
// bulleted and numbered lists, tables, and HYPERLINK fields as links.
// Pictures, objects, headers, footers and footnotes are left out.
#ifndef RTF2HTML_HTML_RENDERER_H_
#define RTF2HTML_HTML_RENDERER_H_

#include <string>
#include <vector>

#include "rtf2html/rtf_reader.h"

namespace rtf2html {

// The target of a HYPERLINK field instruction, fit for an href attribute but
// not yet escaped; empty when the instruction is no hyperlink, points into
// the document itself, or names a scheme other than http, https, ftp,
// mailto, tel and news (links such as javascript: are never made).
std::string HyperlinkTarget(std::string_view instruction);

// After Read() the output holds a UTF-8 HTML page.
class HtmlRenderer : public RtfReader {
 protected:
  bool ClaimDestination(std::string_view word, Destination* destination) override;
  bool OnControl(const Token& token) override;
  void OnText(std::string_view text) override;
  void OnGroupStart() override;
  void OnGroupEnd(Destination ended) override;
  void OnDocumentEnd() override;

 private:
  struct CharFormat {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool hidden = false;
    int vertical = 0;  // 1 raised, -1 lowered
    int size = 24;     // half-points
    int color = 0;     // \cf, 0 for automatic
    int background = 0;
  };
  enum class Align { kLeft, kCenter, kRight, kJustify };
  struct ParaFormat {
    Align align = Align::kLeft;
    int left = 0;  // twips
    int right = 0;
    int first = 0;
    int before = 0;
    int after = 0;
    bool in_table = false;
    int list_level = 0;
  };
  struct Format {
    CharFormat chars;
    ParaFormat para;
  };
  struct Field {
    int depth;  // of the group that holds \field
    std::string instruction;
    std::string target;  // set once the instruction is complete
  };
  struct List {
    bool ordered;
    int level;
  };

  bool CharacterWord(const Token& token, CharFormat* chars);
  bool ParagraphWord(const Token& token, ParaFormat* para);
  bool StructureWord(const Token& token);

  void Start();
  void EmitText(std::string_view text);
  void EnsureParagraph();
  void EndParagraph();
  void LineBreak();
  void OpenListItem(int level);
  void CloseLists(std::size_t keep = 0);
  void EnsureCell();
  void EndCell();
  void EndRow();
  void CloseTable();
  void SyncLink();
  void CloseLink();
  void SyncRun();
  void CloseRun(std::size_t keep = 0);
  std::string RunStyle(const CharFormat& chars, int font) const;
  std::string ParagraphStyle() const;
  std::string FontFamilyOf(int number) const;
  const std::string* CurrentLink() const;

  std::vector<Format> formats_ = std::vector<Format>(1);
  std::vector<Field> fields_;
  std::vector<List> lists_;
  std::string marker_;  // the list text of the coming paragraph

  bool started_ = false;
  bool paragraph_open_ = false;
  bool after_space_ = true;  // the last character written was a space, or none was
  bool table_open_ = false;
  bool row_open_ = false;
  bool cell_open_ = false;
  bool row_has_borders_ = false;
  bool link_open_ = false;
  std::string link_;                     // target of the open link
  std::vector<std::string> run_layers_;  // the open character tags, outermost first
  std::string buffer_;
};

}  // namespace rtf2html

#endif  // RTF2HTML_HTML_RENDERER_H_
