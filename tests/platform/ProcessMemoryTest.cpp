// What a connection thread leaves in the heap goes back once the thread has ended.
#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "platform/ProcessMemory.h"

namespace vp::platform {
namespace {

// Like the TLS library's per-thread state: a small block freed only as the thread ends, after
// everything it allocated before.
thread_local std::unique_ptr<char[]> t_freed_at_exit;

TEST(ProcessMemory, FreeingTheMarkOfAnEndedThreadGivesItsHeapBack) {
  PrepareHeapForManyThreads();
  constexpr std::size_t kUsed = 8 << 20;
  ThreadHeapMark mark;
  std::thread([&mark] {
    {
      // The small blocks of a busy connection, all freed again before the thread ends.
      std::vector<std::unique_ptr<char[]>> blocks;
      blocks.reserve(kUsed / 2000 + 1);  // no freed buffers below for the small block to land in
      for (std::size_t used = 0; used < kUsed; used += 2000) blocks.emplace_back(new char[2000]);
      t_freed_at_exit.reset(new char[64]);
    }
    mark = MarkThreadHeapEnd();
  }).join();
  if (!mark) GTEST_SKIP() << "one heap serves every thread here";

  std::size_t kept = HeapBytesHeld();
  if (kept < kUsed) GTEST_SKIP() << "the allocator kept nothing of the thread's blocks";
  mark.reset();
  ReleaseFreeMemory();
  EXPECT_LT(HeapBytesHeld() + kUsed / 2, kept);
}

}  // namespace
}  // namespace vp::platform
