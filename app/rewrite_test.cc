// The message writer: extracted files put in place of winmail.dat parts, line by line.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "app/rewrite.h"
#include "orv/testing.h"

namespace {

using orv::testing::TempDir;

const std::string kHead = "From: a\nContent-Type: multipart/mixed; boundary=\"B\"\n\n";
const std::string kText = "--B\nContent-Type: text/plain\n\nhello\n";
const std::string kTnef = "--B\nContent-Type: application/ms-tnef\n\neJ8+\n\n";
const std::string kClose = "--B--\n";

// The new part for an extracted file whose Base64 lines are given.
std::string Part(const std::string& name, const std::string& type, const std::string& lines) {
  return "--B\nContent-Type: " + type + "; \n   name=\"" + name +
         "\"\nContent-Transfer-Encoding: base64\nContent-Disposition: attachment;\n   filename=\"" +
         name + "\"\n\n" + lines + "\n";
}
const std::string kPdf = Part("a.pdf", "application/pdf", "QUJD\n");  // a.pdf holds "ABC"

class InsertTest : public ::testing::Test {
 protected:
  // A record for `part`, which occurs in message and ends where it ends.
  Replacement Record(const std::string& message, const std::string& part,
                     std::vector<ExtractedFile> files, std::size_t occurrence = 0) {
    std::size_t at = message.find(part);
    while (occurrence-- > 0) at = message.find(part, at + 1);
    Replacement r;
    r.part.start = static_cast<int64_t>(at + part.find('\n') + 1);
    r.part.end = static_cast<int64_t>(at + part.size());
    r.part.delimiter = "--B";
    r.result.files = std::move(files);
    return r;
  }
  ExtractedFile File(const std::string& name, const std::string& content,
                     FileKind kind = FileKind::kAttachment) {
    ExtractedFile file;
    file.path = dir_.Write(name, content);
    file.name = name;
    file.kind = kind;
    return file;
  }
  ExtractedFile Pdf() { return File("a.pdf", "ABC"); }

  // The converted message, its random boundaries shown as "S".
  std::string Insert(const std::string& message, const std::vector<Replacement>& replacements,
                     bool keep = false, bool inline_body = false) {
    orv::InputFile in(input_.Write("message", message));
    std::ostringstream out;
    ::testing::internal::CaptureStdout();
    RewriteMessage(in, out, replacements, ContentTypes(), keep, inline_body);
    console_ = ::testing::internal::GetCapturedStdout();
    failed_ = out.fail();
    return std::regex_replace(out.str(), std::regex("=_verrowick_[0-9a-f]{24}"), "S");
  }

  TempDir dir_, input_;
  std::string console_;
  bool failed_ = false;
};

TEST_F(InsertTest, DropsOrKeepsTheReceivedPart) {
  const std::string message = kHead + kText + kTnef + kClose;
  EXPECT_EQ(Insert(message, {Record(message, kTnef, {Pdf()})}),
            kHead + kText + kPdf + kClose + "\n");
  EXPECT_EQ(console_, "* Inserting file \"a.pdf\"\n");
  EXPECT_EQ(Insert(message, {Record(message, kTnef, {Pdf()})}, true),
            kHead + kText + kPdf + kTnef + kClose + "\n");
  Replacement kept = Record(message, kTnef, {Pdf()});
  kept.result.keep_received = true;
  EXPECT_EQ(Insert(message, {kept}), kHead + kText + kPdf + kTnef + kClose + "\n");
  EXPECT_FALSE(failed_);
}

TEST_F(InsertTest, BodyEndedByADelimiterLine) {
  const std::string tnef = "--B\nContent-Type: application/ms-tnef\n\neJ8+\n";
  for (const std::string& after : {kClose, kText + kClose}) {
    const std::string message = kHead + tnef + after;
    Replacement r = Record(message, tnef + after.substr(0, after.find('\n') + 1), {Pdf()});
    EXPECT_EQ(Insert(message, {r}), kHead + kPdf + after + "\n");
    Pdf();
    EXPECT_EQ(Insert(message, {r}, true), kHead + kPdf + message.substr(kHead.size()) + "\n");
  }
}

TEST_F(InsertTest, TwoPartsInARow) {
  const std::string x = Part("x.txt", "text/plain", "eA==\n"),
                    y = Part("y.txt", "text/plain", "\n");
  const std::string message = kHead + kTnef + kTnef + kClose;
  auto files = [this](const char* name, const char* content) {
    return std::vector<ExtractedFile>{File(name, content)};
  };
  EXPECT_EQ(Insert(message, {Record(message, kTnef, files("x.txt", "x")),
                             Record(message, kTnef, files("y.txt", ""), 1)}),
            kHead + x + y + kClose + "\n");
  // The first body ends at the second part's delimiter line.
  const std::string first = "--B\nContent-Type: application/ms-tnef\n\neJ8+\n";
  const std::string twice = kHead + first + kTnef + kClose;
  EXPECT_EQ(Insert(twice, {Record(twice, first + "--B\n", files("x.txt", "x")),
                           Record(twice, kTnef, files("y.txt", ""))}),
            kHead + x + y + kClose + "\n");
}

TEST_F(InsertTest, RecordsWithoutFilesToWrite) {
  const std::string message = kHead + kTnef + kText + kClose;
  EXPECT_EQ(Insert(message, {Record(message, kTnef, {})}), kHead + kText + kClose + "\n");
  const ExtractedFile skipped = File("skipped.rtf", "{\\rtf1}", FileKind::kSkipped);
  EXPECT_EQ(Insert(message, {Record(message, kTnef, {skipped})}, true), message + "\n");
  EXPECT_EQ(console_, "");
}

TEST_F(InsertTest, InlineBodiesAndNames) {
  const std::string message = kHead + kTnef + kClose;
  std::vector<ExtractedFile> files = {File("body.html", "caf\xE9 =\tok\r\n", FileKind::kInlineHtml),
                                      File("a\"b\\c.txt", "ABC"), File("README", "")};
  EXPECT_EQ(Insert(message, {Record(message, kTnef, files)}),
            kHead +
                "--B\nContent-Type: text/html\nContent-Transfer-Encoding: quoted-printable\n\n"
                "caf=E9 =3D=09ok\r\n\n" +
                "--B\nContent-Type: text/plain; \n   name=\"=?UTF-8?B?YSJiXGMudHh0?=\"\n"
                "Content-Transfer-Encoding: base64\nContent-Disposition: attachment;\n"
                "   filename*=UTF-8''a%22b%5Cc.txt\n\nQUJD\n\n" +
                Part("README", "application/octet-stream", "\n") + kClose + "\n");
  EXPECT_EQ(console_,
            "* Inserting file \"body.html\"\n* Inserting file \"a\"b\\x5Cc.txt\"\n"
            "* Inserting file \"README\"\n");
}

TEST_F(InsertTest, MessagesAndChosenTypes) {
  const std::string message = kHead + kTnef + kClose;
  ExtractedFile calendar = File("a.ics", "BEGIN:VCALENDAR\r\n");
  calendar.content_type = "text/calendar; charset=utf-8; method=REQUEST";
  const std::string header =
      "--B\nContent-Type: message/rfc822\nContent-Transfer-Encoding: 7bit\n"
      "Content-Disposition: attachment;\n   filename=\"m.eml\"\n\n";
  std::string eight_bit = std::string(header).replace(header.find("7bit"), 4, "8bit");
  eight_bit.replace(eight_bit.find("m.eml"), 1, "n");
  std::vector<ExtractedFile> files = {
      calendar, File("m.eml", "Subject: s\r\n\r\nbody\r\nlone\rcr", FileKind::kMessage),
      File("n.eml", "Subject: caf\xC3\xA9\n\n\n", FileKind::kMessage)};
  EXPECT_EQ(Insert(message, {Record(message, kTnef, files)}),
            kHead +
                Part("a.ics", "text/calendar; charset=utf-8; method=REQUEST",
                     "QkVHSU46VkNBTEVOREFSDQo=\n") +
                header + "Subject: s\n\nbody\nlone\rcr\n\n" + eight_bit +
                "Subject: caf\xC3\xA9\n\n\n\n" + kClose + "\n");
  EXPECT_FALSE(failed_);
}

// A content id is given once and only when valid; tnef's type serves an
// unknown extension; a message goes unencoded only when its lines allow.
TEST_F(InsertTest, ContentIdsListedTypesAndMessages) {
  const std::string message = kHead + kTnef + kClose;
  ExtractedFile a = File("a.qqq", "ABC"), b = File("b.qqq", "ABC"), c = File("c.pdf", "ABC");
  a.type = "image/x-q";
  a.content_id = b.content_id = "x@y";
  b.type = "not a type";
  c.type = "image/png";
  c.content_id = "<bad>";
  std::vector<ExtractedFile> files = {a, b, c};
  for (const std::string& content : {std::string("Subject: s\r\n\r\nbody\r\n"),
                                     std::string("Subject: s\rbody\n"), std::string("a\0b\n", 4)}) {
    files.push_back(File("m" + std::to_string(files.size()), content));
    files.back().type = "message/rfc822";
  }
  files.push_back(File("o.eml", "Subject: s\n\n" + std::string(999, 'x') + "\n"));
  files.back().type = "message/rfc822";
  std::string a_part = Part("a.qqq", "image/x-q", "QUJD\n");
  a_part.insert(a_part.find("Content-Disp"), "Content-ID: <x@y>\n");
  const std::string converted = Insert(message, {Record(message, kTnef, files)});
  EXPECT_EQ(converted.substr(0, converted.find("--B\nContent-Type: application/octet-stream; \n   "
                                               "name=\"o.eml\"")),
            kHead + a_part + Part("b.qqq", "application/octet-stream", "QUJD\n") +
                Part("c.pdf", "application/pdf", "QUJD\n") +
                "--B\nContent-Type: message/rfc822\nContent-Transfer-Encoding: 7bit\n"
                "Content-Disposition: attachment;\n   filename=\"m3\"\n\nSubject: s\n\nbody\n\n" +
                Part("m4", "application/octet-stream", "U3ViamVjdDogcw1ib2R5Cg==\n") +
                Part("m5", "application/octet-stream", "YQBiCg==\n"));
}

// --inline-body: the HTML body beside the first text/plain part, or first in
// the part's place, with the images it references in a multipart/related.
TEST_F(InsertTest, InlineBody) {
  const std::string message = kHead + kText + kTnef + kClose;
  ExtractedFile html = File("saved_body.html", "<img src=\"cid:i%40d\">");
  html.body = true;
  ExtractedFile image = File("i.png", "ABC");
  image.content_id = "i@d";
  const std::string image_part =
      "--S.002\nContent-Type: image/png; \n   name=\"i.png\"\n"
      "Content-Transfer-Encoding: base64\nContent-ID: <i@d>\n"
      "Content-Disposition: inline;\n   filename=\"i.png\"\n\nQUJD\n\n";
  const std::string related =
      "Content-Type: multipart/related; type=\"text/html\";\n   boundary=\"S.002\"\n\n"
      "--S.002\nContent-Type: text/html\nContent-Transfer-Encoding: quoted-printable\n"
      "Content-Disposition: inline\n\n<img src=3D\"cid:i%40d\">\n" +
      image_part + "--S.002--\n";
  Replacement r = Record(message, kTnef, {html, image, Pdf()});
  r.part.first_plain = static_cast<int64_t>(kHead.size() + 4);
  EXPECT_EQ(Insert(message, {r}, false, true),
            kHead +
                "--B\nContent-Type: multipart/alternative;\n   boundary=\"S.001\"\n\n--S.001\n" +
                kText.substr(4) + "--S.001\n" + related + "--S.001--\n" + kPdf + kClose + "\n");
  EXPECT_EQ(console_,
            "* Inserting file \"saved_body.html\"\n* Inserting file \"i.png\"\n"
            "* Inserting file \"a.pdf\"\n");
}

TEST_F(InsertTest, LineEndsAndTheEndOfInput) {
  std::string crlf = kHead + kText + kTnef + kClose;
  for (std::size_t at = 0; (at = crlf.find('\n', at)) != std::string::npos; at += 2)
    crlf.insert(at, "\r");
  EXPECT_EQ(
      Insert(crlf, {Record(crlf, "--B\r\nContent-Type: application/ms-tnef\r\n\r\neJ8+\r\n\r\n",
                           {Pdf()})}),
      kHead + kText + kPdf + kClose + "\n");

  const std::string no_end = kHead + kText + kTnef + "--B--";
  EXPECT_EQ(Insert(no_end, {Record(no_end, kTnef, {Pdf()})}), kHead + kText + kPdf + kClose);

  const std::string last = kHead + kText + kTnef;  // the part ends the input
  EXPECT_EQ(Insert(last, {Record(last, kTnef, {Pdf()})}), kHead + kText + kPdf + "\n");
  EXPECT_EQ(Insert("one line", {}), "one line\n");

  // The input ends inside the part: nothing of it follows the new parts.
  const std::string cut = kHead + kText + "--B\nContent-Type: application/ms-tnef\n\neJ8+\neJ";
  Replacement open = Record(cut, kTnef.substr(0, 20), {Pdf()});
  open.part.end = 0;
  EXPECT_EQ(Insert(cut, {open}), kHead + kText + kPdf);
  Pdf();
  EXPECT_EQ(Insert(cut, {open}, true),
            kHead + kText + kPdf + cut.substr(kHead.size() + kText.size()) + "\n");
}

TEST_F(InsertTest, LongLinesAreCopiedWhole) {
  const std::string long_line(100000, 'x');
  const std::string text = "--B\nContent-Type: text/plain\n\n" + long_line + "\n";
  const std::string tnef = "--B\nContent-Type: application/ms-tnef\n\n" + long_line + "\n\n";
  const std::string message = kHead + text + tnef + kClose + long_line;
  EXPECT_EQ(Insert(message, {Record(message, tnef, {Pdf()})}),
            kHead + text + kPdf + kClose + long_line + "\n");
  EXPECT_EQ(Insert(message, {Record(message, tnef, {Pdf()})}, true),
            kHead + text + kPdf + tnef + kClose + long_line + "\n");
}

TEST_F(InsertTest, UnreadableFileFailsTheOutput) {
  const std::string message = kHead + kTnef + kClose;
  ExtractedFile gone = Pdf();
  gone.path = dir_.Path("gone.pdf");
  gone.name = "gone.pdf";
  Insert(message, {Record(message, kTnef, {gone, Pdf()})});
  EXPECT_TRUE(failed_);
  EXPECT_EQ(console_,
            "* Inserting file \"gone.pdf\"\n* Unable to read the extracted file \"gone.pdf\"\n"
            "* Inserting file \"a.pdf\"\n");
}

}  // namespace
