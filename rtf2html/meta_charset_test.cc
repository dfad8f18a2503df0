// Charset declarations of extracted HTML rewritten to UTF-8, or added where there is none.
#include "rtf2html/meta_charset.h"

#include <gtest/gtest.h>

namespace rtf2html {
namespace {

TEST(MetaCharsetTest, RewritesDeclarations) {
  EXPECT_EQ(DeclareUtf8("<head><META CHARSET=windows-1252 /></head>"),
            "<head><META CHARSET=utf-8 /></head>");
  EXPECT_EQ(DeclareUtf8("<META CONTENT='text/html; charset=iso-2022-jp' HTTP-EQUIV=content-type>"),
            "<META CONTENT='text/html; charset=utf-8' HTTP-EQUIV=content-type>");
  EXPECT_EQ(DeclareUtf8("<meta charset=\"a\"><p>x</p><meta\ncharset=\"b\">"),
            "<meta charset=\"utf-8\"><p>x</p><meta\ncharset=\"utf-8\">");
}

TEST(MetaCharsetTest, AddsADeclarationWhereThereIsNone) {
  EXPECT_EQ(DeclareUtf8("<HTML>\n<HEAD lang=en><title>"),
            "<HTML>\n<HEAD lang=en><meta charset=\"utf-8\"><title>");
  EXPECT_EQ(DeclareUtf8("<html><body>x</body></html>"),
            "<html><head><meta charset=\"utf-8\"></head><body>x</body></html>");
  EXPECT_EQ(DeclareUtf8("<!DOCTYPE html>\n<p>x"), "<!DOCTYPE html><meta charset=\"utf-8\">\n<p>x");
  EXPECT_EQ(DeclareUtf8(""), "<meta charset=\"utf-8\">");
  // Neither comments, nor metas without a charset, nor look-alike tags count.
  EXPECT_EQ(DeclareUtf8("<!-- <meta charset=\"x\"> <head> --><head>"),
            "<!-- <meta charset=\"x\"> <head> --><head><meta charset=\"utf-8\">");
  EXPECT_EQ(DeclareUtf8("<html><header>h</header><meta name=\"Generator\" content=\"x\">"),
            "<html><head><meta charset=\"utf-8\"></head><header>h</header><meta "
            "name=\"Generator\" content=\"x\">");
  EXPECT_EQ(DeclareUtf8("<metadata charset=x><head>"),
            "<metadata charset=x><head><meta charset=\"utf-8\">");
}

}  // namespace
}  // namespace rtf2html
