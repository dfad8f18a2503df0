#include "rtf2html/meta_charset.h"

#include <gtest/gtest.h>

namespace rtf2html {
namespace {

struct Case {
  const char* html;
  const char* declared;
};

TEST(MetaCharsetTest, RewritesDeclarations) {
  const Case kCases[] = {
      {"<head><meta charset=\"iso-8859-1\"></head>", "<head><meta charset=\"utf-8\"></head>"},
      {"<head><META CHARSET=windows-1252 /></head>", "<head><META CHARSET=utf-8 /></head>"},
      {"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">",
       "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"},
      {"<META CONTENT='text/html; charset=iso-2022-jp' HTTP-EQUIV=content-type>",
       "<META CONTENT='text/html; charset=utf-8' HTTP-EQUIV=content-type>"},
      {"<meta charset=\"a\"><p>x</p><meta\ncharset=\"b\">",
       "<meta charset=\"utf-8\"><p>x</p><meta\ncharset=\"utf-8\">"},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(DeclareUtf8(c.html), c.declared) << c.html;
}

TEST(MetaCharsetTest, AddsADeclarationWhereThereIsNone) {
  const Case kCases[] = {
      {"<html><head><title>t</title></head><body>x</body></html>",
       "<html><head><meta charset=\"utf-8\"><title>t</title></head><body>x</body></html>"},
      {"<HTML>\n<HEAD lang=en>", "<HTML>\n<HEAD lang=en><meta charset=\"utf-8\">"},
      {"<html><body>x</body></html>",
       "<html><head><meta charset=\"utf-8\"></head><body>x</body></html>"},
      {"<!DOCTYPE html>\n<p>x", "<!DOCTYPE html><meta charset=\"utf-8\">\n<p>x"},
      {"<p>x</p>", "<meta charset=\"utf-8\"><p>x</p>"},
      {"", "<meta charset=\"utf-8\">"},
      // Neither comments, nor metas without a charset, nor look-alike tags count.
      {"<!-- <meta charset=\"x\"> <head> --><head>",
       "<!-- <meta charset=\"x\"> <head> --><head><meta charset=\"utf-8\">"},
      {"<html><header>h</header><meta name=\"Generator\" content=\"x\">",
       "<html><head><meta charset=\"utf-8\"></head><header>h</header><meta name=\"Generator\" "
       "content=\"x\">"},
      {"<metadata charset=x><head>", "<metadata charset=x><head><meta charset=\"utf-8\">"},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(DeclareUtf8(c.html), c.declared) << c.html;
}

}  // namespace
}  // namespace rtf2html
