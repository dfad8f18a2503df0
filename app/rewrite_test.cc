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
// A winmail.dat part whose body the next delimiter line ends.
const std::string kTight = "--B\nContent-Type: application/ms-tnef\n\neJ8+\n";

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
                     std::vector<ExtractedFile> files) {
    const std::size_t at = message.find(part);
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

// Where the received part ends and what follows it, without and with -k (which
// copies the received part, as `kept`, after the new ones).
TEST_F(InsertTest, Layouts) {
  const auto crlf = [](const std::string& lf) {
    return std::regex_replace(lf, std::regex("\n"), "\r\n");
  };
  const std::string x(100000, 'x');  // long lines are copied whole
  const std::string long_text = "--B\nContent-Type: text/plain\n\n" + x + "\n";
  const std::string long_tnef = "--B\nContent-Type: application/ms-tnef\n\n" + x + "\n\n";
  const struct {
    std::string message, part, converted, kept;
  } cases[] = {
      {kHead + kText + kTnef + kClose, kTnef, kHead + kText + kPdf + kClose + "\n", kTnef},
      {kHead + kTight + kClose, kTight + kClose, kHead + kPdf + kClose + "\n", kTight},
      {kHead + kTight + kText + kClose, kTight + "--B\n", kHead + kPdf + kText + kClose + "\n",
       kTight},
      {crlf(kHead + kText + kTnef + kClose), crlf(kTnef), kHead + kText + kPdf + kClose + "\n",
       kTnef},
      {kHead + long_text + long_tnef + kClose + x, long_tnef,
       kHead + long_text + kPdf + kClose + x + "\n", long_tnef},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Insert(c.message, {Record(c.message, c.part, {Pdf()})}), c.converted);
    std::string kept = c.converted;
    kept.insert(kept.find(kPdf) + kPdf.size(), c.kept);
    EXPECT_EQ(Insert(c.message, {Record(c.message, c.part, {Pdf()})}, true), kept);
  }
  EXPECT_EQ(Insert("one line", {}), "one line\n");
}

// The type the unpacking chose, else the extension's, else tnef's; a content
// id given once and only when valid; a message unencoded only when its lines
// allow, its CR LF made LF.
TEST_F(InsertTest, TypesContentIdsAndMessages) {
  const std::string message = kHead + kTnef + kClose;
  ExtractedFile calendar = File("a.ics", "BEGIN:VCALENDAR\r\n");
  calendar.content_type = "text/calendar; charset=utf-8; method=REQUEST";
  ExtractedFile a = File("a.qqq", "ABC"), b = File("b.qqq", "ABC"), c = File("c.pdf", "ABC");
  a.type = "image/x-q";
  a.content_id = b.content_id = "x@y";
  b.type = "not a type";
  c.type = "image/png";
  c.content_id = "<bad>";
  std::vector<ExtractedFile> files = {calendar, a, b, c};
  files.push_back(File("m.eml", "Subject: s\r\n\r\nbody\r\nlone\rcr", FileKind::kMessage));
  files.push_back(File("n.eml", "Subject: caf\xC3\xA9\n\n\n", FileKind::kMessage));
  for (const std::string& content :
       {std::string("Subject: s\r\n\r\nbody\r\n"), std::string("Subject: s\rbody\n"),
        std::string("a\0b\n", 4), "Subject: s\n\n" + std::string(999, 'x') + "\n"}) {
    files.push_back(File("m" + std::to_string(files.size()), content));
    files.back().type = "message/rfc822";
  }
  std::string a_part = Part("a.qqq", "image/x-q", "QUJD\n");
  a_part.insert(a_part.find("Content-Disp"), "Content-ID: <x@y>\n");
  const auto message_part = [](const std::string& name, const char* encoding) {
    return "--B\nContent-Type: message/rfc822\nContent-Transfer-Encoding: " +
           std::string(encoding) + "\nContent-Disposition: attachment;\n   filename=\"" + name +
           "\"\n\n";
  };
  const std::string converted = Insert(message, {Record(message, kTnef, files)});
  EXPECT_EQ(converted.substr(0, converted.find("--B\nContent-Type: application/octet-stream; \n   "
                                               "name=\"m9\"")),
            kHead +
                Part("a.ics", "text/calendar; charset=utf-8; method=REQUEST",
                     "QkVHSU46VkNBTEVOREFSDQo=\n") +
                a_part + Part("b.qqq", "application/octet-stream", "QUJD\n") +
                Part("c.pdf", "application/pdf", "QUJD\n") + message_part("m.eml", "7bit") +
                "Subject: s\n\nbody\nlone\rcr\n\n" + message_part("n.eml", "8bit") +
                "Subject: caf\xC3\xA9\n\n\n\n" + message_part("m6", "7bit") +
                "Subject: s\n\nbody\n\n" +
                Part("m7", "application/octet-stream", "U3ViamVjdDogcw1ib2R5Cg==\n") +
                Part("m8", "application/octet-stream", "YQBiCg==\n"));
  EXPECT_FALSE(failed_);
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
