// Scan, unpack and rewrite together, with fake converters: which parts are
// replaced, kept or left alone, and what the converted message holds.
#include "app/conversion.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "orv/codec.h"
#include "orv/file_system.h"
#include "orv/testing.h"

namespace {

using orv::testing::TempDir;

// Fake converters. tnef reads the decoded winmail.dat as "name content" lines
// and writes each file, listing it; a line "!error" makes it list an ERROR,
// "!stderr" makes it complain, "!notrun" and "!stop" make it end so.
// rtf2html writes "<html>" unless told to fail.
class FakeConverters : public Converters {
 public:
  ConverterRun Tnef(const orv::string& work_file, const orv::string& dir, bool, Deadline) override {
    ConverterRun run;
    run.status = ConverterRun::kDone;
    std::ifstream in(work_file);
    std::string name, content;
    while (in >> name >> content) {
      if (name == "!error") run.listing += "ERROR: bad\n";
      if (name == "!stderr") run.errors += "odd\n";
      if (name == "!notrun") run.status = ConverterRun::kNotRun;
      if (name == "!stop") run.status = ConverterRun::kStopped;
      if (name[0] == '!') continue;
      std::ofstream(dir + "/" + name) << content;
      run.listing += name + "\t|\t" + dir + "/" + name + "\n";
    }
    return run;
  }
  ConverterRun Ytnef(const orv::string&, const orv::string&, Deadline) override {
    return ConverterRun();
  }
  ConverterRun Rtf2html(const orv::string&, const orv::string& html, Deadline) override {
    ConverterRun run;
    run.status = rtf2html;
    if (rtf2html == ConverterRun::kDone) std::ofstream(html) << "<html>";
    return run;
  }
  ConverterRun::Status rtf2html = ConverterRun::kDone;
};

// A winmail.dat part whose fake tnef script is `script`.
std::string Tnef(const std::string& script, const std::string& boundary = "B") {
  std::ostringstream encoded;
  orv::Base64Encode(script, encoded);
  return "--" + boundary + "\nContent-Type: application/ms-tnef\n\n" + encoded.str() + "\n\n";
}

std::string Mixed(const std::string& parts) {
  return "Content-Type: multipart/mixed; boundary=B\n\n" + parts + "--B--\n";
}

class ConversionTest : public ::testing::Test {
 protected:
  // The converted message, or "unchanged"; console_ holds the log.
  std::string Convert(const std::string& message) {
    orv::InputFile in(dir_.Write("message", message));
    std::ostringstream out;
    std::size_t count = 0;
    const ConversionSetup setup{settings_, fake_, dir_.Path("work")};
    ::testing::internal::CaptureStdout();
    const bool rewritten = ConvertMessage(setup, in, [&](std::size_t parts) -> std::ostream& {
      count = parts;
      return out;
    });
    console_ = ::testing::internal::GetCapturedStdout();
    // Every scratch directory has gone with its conversion.
    EXPECT_EQ(orv::DirectoryListing(dir_.Path("work")).Next(), false);
    return rewritten ? std::to_string(count) + ":" + out.str() : "unchanged";
  }
  void SetUp() override { ASSERT_TRUE(orv::MakeDirectory(dir_.Path("work"), false)); }

  TempDir dir_;
  Settings settings_;
  FakeConverters fake_;
  std::string console_;
};

TEST_F(ConversionTest, ReplacedKeptOrLeft) {
  const std::string converted = Convert(Mixed(Tnef("a.txt x\n")));
  EXPECT_EQ(converted.substr(0, 2), "1:");
  EXPECT_NE(converted.find("filename=\"a.txt\""), std::string::npos);
  EXPECT_EQ(converted.find("ms-tnef"), std::string::npos);
  EXPECT_EQ(console_,
            "* Found a winmail.dat attachment, unpacking\n* Extracted 1 file(s) from winmail.dat\n"
            "* Inserting file \"a.txt\"\n");
  EXPECT_EQ(Convert(Mixed(Tnef("!notrun x\n"))), "unchanged");
  EXPECT_NE(console_.find("Unable to start the tnef binary"), std::string::npos);
  settings_.always_remove_winmail = true;
  // Not run: the part stays even with --always-remove-winmail.
  const std::string notrun = Mixed(Tnef("!notrun x\n"));
  EXPECT_EQ(Convert(notrun), "0:" + notrun + "\n");
  const std::string stopped = Mixed(Tnef("!stop x\n!stderr x\n"));
  EXPECT_EQ(Convert(stopped), "0:" + stopped + "\n");
  EXPECT_EQ(console_,
            "* Found a winmail.dat attachment, unpacking\n"
            "* odd Winmail.dat file is probably corrupted, stopping conversion.\n");
  EXPECT_EQ(Convert(Mixed(Tnef("!empty x\n"))), "1:" + Mixed("") + "\n");
}

TEST_F(ConversionTest, ErrorEndsItsMultipart) {
  const std::string inner = "--B\nContent-Type: multipart/mixed; boundary=C\n\n" +
                            Tnef("b.txt b\n!error x\n", "C") + Tnef("c.txt c\n", "C") + "--C--\n";
  const std::string message = Mixed(Tnef("a.txt a\n") + inner + Tnef("d.txt d\n"));
  std::string converted = Convert(message);
  EXPECT_EQ(converted.substr(0, 2), "1:");
  EXPECT_EQ(converted.find("a.txt"), std::string::npos);
  EXPECT_NE(converted.find("d.txt"), std::string::npos);
  settings_.always_remove_winmail = true;
  converted = Convert(message);
  EXPECT_EQ(converted.substr(0, 2), "2:");
  EXPECT_EQ(converted.find("c.txt"), std::string::npos);
}

TEST_F(ConversionTest, RtfBodies) {
  const std::string rtf = Tnef("body.rtf {\\rtf1}\n");
  EXPECT_NE(Convert(Mixed(rtf)).find("name=\"body.html\""), std::string::npos);
  fake_.rtf2html = ConverterRun::kStopped;
  EXPECT_NE(Convert(Mixed(rtf)).find("name=\"body.rtf\""), std::string::npos);
  const std::string alternative =
      "Content-Type: multipart/alternative; boundary=B\n\n--B\nContent-Type: text/html\n\n"
      "<p>\n" +
      rtf + "--B--\n";
  settings_.no_rtf_alternative = true;
  EXPECT_EQ(Convert(alternative).find("body.rtf"), std::string::npos);
  EXPECT_NE(console_.find("(1 ignored by the -r option)"), std::string::npos);
}

}  // namespace
