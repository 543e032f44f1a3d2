#include "foundation/safe_write.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "../support/scratch.h"

namespace zun {
namespace {

namespace fs = std::filesystem;

// A link at the target or at the temporary name an earlier version used, a
// named pipe at the target: the planted link's target keeps its bytes, the
// pipe never blocks; replacing puts the text at the name, appending refuses
// all but a regular file. Then two writers replace one file over and over
// while a reader reads it: every read is one writer's text whole.
TEST(SafeWrite, NothingPlantedIsFollowedAndNoReaderSeesATornFile) {
  const fs::path dir = ScratchDir("zun-safew");
  const fs::path target = dir / "zuninput-run.json", victim = dir / "ZunInput.db";
  enum Plant { kLinkAtTarget, kLinkAtOldTemporary, kPipeAtTarget };
  for (const Plant plant : {kLinkAtTarget, kLinkAtOldTemporary, kPipeAtTarget}) {
    SCOPED_TRACE(plant);
    fs::remove(target);
    std::ofstream(victim) << "database";
    if (plant == kLinkAtTarget) fs::create_symlink(victim, target);
    if (plant == kLinkAtOldTemporary) fs::create_symlink(victim, dir / "zuninput-run.json.tmp");
    if (plant == kPipeAtTarget) {
      ASSERT_EQ(::mkfifo(target.c_str(), 0600), 0);
    }
    int fd = -1;
    EXPECT_EQ(OpenForAppend(target.string(), 0640, &fd).empty(), plant == kLinkAtOldTemporary);
    if (fd >= 0) ::close(fd);
    EXPECT_EQ(ReplaceFileWhole(target.string(), "{}\n", 0644), "");
    EXPECT_EQ(ReadFile(victim) + ReadFile(target), "database{}\n");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(target)));
  }
  EXPECT_NE(ReplaceFileWhole((dir / "none" / "x").string(), "x", 0644).find("cannot create <"),
            std::string::npos);

  const std::string texts[] = {std::string(6000, 'a'), std::string(9000, 'b')};
  std::atomic<int> running{2};
  std::vector<std::thread> writers;
  for (const std::string& t : texts) {
    writers.emplace_back([&, t] {
      for (int i = 0; i < 400; ++i) EXPECT_EQ(ReplaceFileWhole(target.string(), t, 0644), "");
      --running;
    });
  }
  int torn = 0;
  while (running > 0) {
    const std::string got = ReadFile(target);
    torn += got != texts[0] && got != texts[1] && got != "{}\n";
  }
  for (std::thread& w : writers) w.join();
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 3) << "no temporary left";
  fs::remove_all(dir);
}

}  // namespace
}  // namespace zun
