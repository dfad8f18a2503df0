// Submitted queue files: reserved names, release without replacing, removal
// of a file that was never released.
#include "cgp/queue_writer.h"

#include <gtest/gtest.h>

#include "orv/file_system.h"
#include "orv/testing.h"

namespace cgp {
namespace {

TEST(QueueWriterTest, ReserveAndRelease) {
  orv::testing::TempDir dir;
  QueueWriter queue(dir.path() + "/");
  ASSERT_TRUE(orv::MakeDirectory(queue.directory(), false));
  std::unique_ptr<QueueFile> first = queue.Create(), second = queue.Create();
  first->out() << "message";
  EXPECT_TRUE(first->Finish());
  EXPECT_TRUE(first->Release());
  const orv::string released = first->path() + ".sub";
  first.reset();
  EXPECT_EQ(orv::testing::ReadFile(released), "message");
  // Never replaces a released file; an unreleased one goes with its object.
  ASSERT_TRUE(orv::RenameFile(released, second->path() + ".sub"));
  EXPECT_FALSE(second->Release());
  const orv::string unreleased = second->path();
  EXPECT_TRUE(orv::FileExists(unreleased));
  second.reset();
  EXPECT_FALSE(orv::FileExists(unreleased));
}

}  // namespace
}  // namespace cgp
