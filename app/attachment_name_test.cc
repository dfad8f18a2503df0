// tnef's escapes in file names undone.
#include "app/attachment_name.h"

#include <gtest/gtest.h>

namespace {

// What tnef 1.4.18 writes for these names, found by running it.
TEST(UndoTnefEscapesTest, UndoesWhatTnefWrites) {
  const struct {
    std::string_view on_disk, name;
  } cases[] = {
      {"a%22b%5Cc%2Fd%09e%0Af", "a\"b\\c/d\te\nf"},
      {"a%2Ab%3Fc%3Ad%25e%01f%7Fg%0Dh",
       "a*b?c:d%e\x01"
       "f\x7Fg\rh"},
      {"a%3Cb%3E%7Cc", "a<b>|c"},
      {"a b;c~#&'()[]{}!", "a b;c~#&'()[]{}!"},
      {"caf\xE9%2541", "caf\xE9%41"},
      // Not tnef's: a "%" without an escaped byte after it stays.
      {"%41%2f%00%2%", "%41%2f%00%2%"},
  };
  for (const auto& c : cases) EXPECT_EQ(UndoTnefEscapes(c.on_disk), c.name) << c.on_disk;
}

}  // namespace
