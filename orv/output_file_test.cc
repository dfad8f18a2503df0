// orv::ofstream: buffered and large writes, append and truncate, and every failure reported.
#include "orv/output_file.h"

#include <errno.h>
#include <gtest/gtest.h>

#include "orv/testing.h"

namespace orv {
namespace {

using testing::ReadFile;

TEST(OutputFileTest, WritesSmallAndLargePieces) {
  testing::TempDir dir;
  const std::string big(3 * FdOutBuf::kBufferSize + 11, 'b');
  ofstream out(dir.Path("f"), std::ios::trunc);
  ASSERT_TRUE(out.is_open());
  out << "head\n";
  out.write(big.data(), static_cast<std::streamsize>(big.size()));
  for (int i = 0; i < 70000; ++i) out.put('c');
  EXPECT_TRUE(out.Sync());
  EXPECT_EQ(ReadFile(dir.Path("f")), "head\n" + big + std::string(70000, 'c'));
  out << "tail";
  EXPECT_TRUE(out.good());
  EXPECT_TRUE(out.close());
  EXPECT_FALSE(out.close());  // already closed
  EXPECT_EQ(out.error(), 0);
  EXPECT_EQ(ReadFile(dir.Path("f")), "head\n" + big + std::string(70000, 'c') + "tail");
  {
    ofstream append(dir.Path("f"), std::ios::app);
    append << "+";
  }
  EXPECT_EQ(ReadFile(dir.Path("f")).substr(5 + big.size() + 70000), "tail+");
  ofstream truncate(dir.Path("f"), std::ios::trunc);
  EXPECT_EQ(ReadFile(dir.Path("f")), "");
}

TEST(OutputFileTest, FullDeviceIsReported) {
  ofstream out("/dev/full", std::ios::trunc);
  ASSERT_TRUE(out.is_open());
  out << "does not fit";
  EXPECT_TRUE(out.good());  // still buffered
  EXPECT_FALSE(out.Sync());
  EXPECT_EQ(out.error(), ENOSPC);
  EXPECT_FALSE(out.close());
  EXPECT_TRUE(out.bad());
  EXPECT_EQ(out.error(), ENOSPC);

  ofstream large("/dev/full", std::ios::trunc);
  const std::string big(2 * FdOutBuf::kBufferSize, 'x');
  large.write(big.data(), static_cast<std::streamsize>(big.size()));
  EXPECT_TRUE(large.bad());
  EXPECT_FALSE(large.close());
  EXPECT_EQ(large.error(), ENOSPC);
}

TEST(OutputFileTest, OpenFailureKeepsItsReason) {
  testing::TempDir dir;
  ofstream out(dir.Path("missing/f"), std::ios::trunc);
  EXPECT_FALSE(out.is_open());
  EXPECT_TRUE(out.fail());
  EXPECT_EQ(out.error(), ENOENT);
  out << "ignored";
  EXPECT_FALSE(out.Sync());
  EXPECT_FALSE(out.close());

  ofstream onDirectory(dir.path(), std::ios::trunc);
  EXPECT_EQ(onDirectory.error(), EISDIR);
}

}  // namespace
}  // namespace orv
