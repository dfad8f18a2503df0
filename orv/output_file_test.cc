// orv::ofstream: buffered and large writes, truncation, and every failure reported.
#include "orv/output_file.h"

#include <errno.h>
#include <gtest/gtest.h>

#include "orv/testing.h"

namespace orv {
namespace {

TEST(OutputFileTest, WritesSmallAndLargePieces) {
  testing::TempDir dir;
  const std::string big(3 * FdOutBuf::kBufferSize + 11, 'b'), put(70000, 'c');
  ofstream out(dir.Path("f"), std::ios::trunc);
  out << "head\n";
  out.write(big.data(), static_cast<std::streamsize>(big.size()));
  for (char c : put) out.put(c);
  EXPECT_TRUE(out.Sync());
  EXPECT_EQ(testing::ReadFile(dir.Path("f")), "head\n" + big + put);
  out << "tail";
  EXPECT_TRUE(out.close());
  EXPECT_FALSE(out.close());  // already closed
  EXPECT_EQ(out.error(), 0);
  EXPECT_EQ(testing::ReadFile(dir.Path("f")), "head\n" + big + put + "tail");
  ofstream truncate(dir.Path("f"), std::ios::trunc);
  EXPECT_EQ(testing::ReadFile(dir.Path("f")), "");
}

TEST(OutputFileTest, FailuresAreReported) {
  ofstream out("/dev/full", std::ios::trunc);
  ASSERT_TRUE(out.is_open());
  out << "does not fit";
  EXPECT_TRUE(out.good());  // still buffered
  EXPECT_FALSE(out.Sync());
  EXPECT_FALSE(out.close());
  EXPECT_TRUE(out.bad());
  EXPECT_EQ(out.error(), ENOSPC);

  ofstream large("/dev/full", std::ios::trunc);  // more than the buffer: written at once
  const std::string big(2 * FdOutBuf::kBufferSize, 'x');
  large.write(big.data(), static_cast<std::streamsize>(big.size()));
  EXPECT_TRUE(large.bad());
  EXPECT_FALSE(large.close());
  EXPECT_EQ(large.error(), ENOSPC);

  testing::TempDir dir;  // an open failure keeps its reason
  ofstream missing(dir.Path("missing/f"), std::ios::trunc);
  EXPECT_FALSE(missing.is_open());
  EXPECT_TRUE(missing.fail());
  EXPECT_EQ(missing.error(), ENOENT);
  missing << "ignored";
  EXPECT_FALSE(missing.Sync());
  EXPECT_FALSE(missing.close());
  EXPECT_EQ(ofstream(dir.path(), std::ios::trunc).error(), EISDIR);
}

}  // namespace
}  // namespace orv
