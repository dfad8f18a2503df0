// Content types chosen by the text after a path's last dot.
#include "app/content_type.h"

#include <gtest/gtest.h>

namespace {

TEST(ContentTypeOfTest, Table) {
  struct Case {
    const char *path, *type;
  } cases[] = {
      {"report.pdf", "application/pdf"},
      {"wmd_temp/archive.tar.gz", "application/x-gzip"},
      {"REPORT.PDF", "application/octet-stream"},
      {"README", "application/octet-stream"},
      {"notes.", "application/octet-stream"},
      {"old.files/README", "application/octet-stream"},
      {"page.htm", "text/html"},
      {"page.html", "text/html"},
      {"message.eml", "application/octet-stream"},
      {"setup.exe", "application/octet-stream"},
      {"model.stp", "application/STEP"},
      {"a.tsi", "audio/TSP-audio"},
      {"saved_body.rtf", "text/rtf"},
      {"x.c", "text/plain"},
      {".xls", "application/vnd.ms-excel"},
      {"", "application/octet-stream"},
  };
  for (const Case& c : cases) EXPECT_EQ(ContentTypeOf(c.path), c.type) << c.path;
}

}  // namespace
