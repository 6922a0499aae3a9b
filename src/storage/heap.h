// The working heap: one fixed block of memory from which every working block
// of a run is taken, so that a run needs the same memory whatever it reads.
//
// Blocks are placed first fit in address order and carry no header, so the
// caller names a block's size when it releases it. A released block merges
// with the free space around it.
#ifndef TESSEL_STORAGE_HEAP_H_
#define TESSEL_STORAGE_HEAP_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/platform.h"

namespace tessel {

constexpr uint32_t kWorkingHeapSize = 3'000'000;

struct WorkingHeap {
  struct FreeRun {
    uint32_t offset;
    uint32_t size;
  };
  static constexpr int kMaxFreeRuns = 64;

  std::unique_ptr<uint8_t[]> memory;
  uint32_t size = 0;
  FreeRun free_runs[kMaxFreeRuns];  // ascending offsets, never adjacent
  int free_count = 0;
};

// Gives "heap" a fresh block of "size" bytes, all of it free.
void InitHeap(WorkingHeap* heap, uint32_t size);

// Takes "size" bytes from the lowest free run that holds them. Returns null
// when no free run is large enough. A block of 0 bytes is always granted.
uint8_t* TakeBlock(WorkingHeap* heap, uint32_t size);

// Gives back a block that TakeBlock returned, with the size asked for then.
void ReleaseBlock(WorkingHeap* heap, uint8_t* block, uint32_t size);

// All free bytes.
uint32_t FreeMemory(const WorkingHeap& heap);

// The longest run of contiguous free bytes.
uint32_t LargestFreeBlock(const WorkingHeap& heap);

// Asks the platform to make a block's memory present before it is filled,
// in one call rather than a page fault per page (see
// Platform::prepare_memory). Does nothing for a null block or where the
// platform cannot.
void MakeBlockPresent(const Platform& platform, void* block, size_t size);

// A block's position in the heap, for links stored inside heap blocks, and
// back.
inline uint32_t HeapOffset(const WorkingHeap& heap, const uint8_t* block) {
  return static_cast<uint32_t>(block - heap.memory.get());
}
inline uint8_t* HeapAddress(const WorkingHeap& heap, uint32_t offset) {
  return heap.memory.get() + offset;
}

}  // namespace tessel

#endif  // TESSEL_STORAGE_HEAP_H_
