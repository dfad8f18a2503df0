// The scan for winmail.dat parts in a WinMailDat whose Main() never ran.
#include <gtest/gtest.h>

#include "app/winmaildat.h"
#include "orv/file_system.h"
#include "orv/testing.h"

namespace {

using orv::testing::TempDir;

TEST(FindWinmailPartsTest, WithoutMainAndWithoutTnef) {
  TempDir dir;
  WinMailDat app;
  app.programDirectory = dir.path() + "/";
  const std::string message =
      "Content-Type: multipart/mixed; boundary=B\n\n--B\n"
      "Content-Type: application/ms-tnef\n\neJ8+IjcC\n--B--\n";
  orv::InputFile in(dir.Write("message", message));
  std::vector<MatchingParts> parts;
  ::testing::internal::CaptureStdout();
  // The work directory is set up on first use; tnef is missing, so the part
  // cannot be unpacked and the message stays as it is.
  EXPECT_FALSE(app.FindWinmailParts(in, parts));
  const std::string console = ::testing::internal::GetCapturedStdout();
  EXPECT_TRUE(parts.empty());
  EXPECT_NE(console.find("Unable to start the tnef binary"), std::string::npos) << console;
  EXPECT_TRUE(orv::IsDirectory(dir.Path("wmd_temp")));
  EXPECT_FALSE(orv::FileExists(dir.Path("wmd_temp/winmail.dat")));
  app.ReleaseWorkDirectory();
}

}  // namespace
