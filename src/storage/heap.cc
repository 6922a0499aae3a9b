#include "storage/heap.h"

#include <algorithm>

namespace tessel {

void InitHeap(WorkingHeap* heap, uint32_t size) {
  // Not cleared: every block is filled before it is read, and leaving the
  // pages untouched keeps a short run (an index already up to date) from
  // paying for three megabytes it never uses.
  heap->memory = std::make_unique_for_overwrite<uint8_t[]>(size == 0 ? 1 : size);
  heap->size = size;
  heap->free_count = 0;
  if (size > 0) {
    heap->free_runs[0] = {0, size};
    heap->free_count = 1;
  }
}

uint8_t* TakeBlock(WorkingHeap* heap, uint32_t size) {
  if (size == 0) return heap->memory.get();
  for (int i = 0; i < heap->free_count; ++i) {
    WorkingHeap::FreeRun& run = heap->free_runs[i];
    if (run.size < size) continue;
    uint8_t* block = heap->memory.get() + run.offset;
    run.offset += size;
    run.size -= size;
    if (run.size == 0) {
      std::copy(heap->free_runs + i + 1, heap->free_runs + heap->free_count, heap->free_runs + i);
      --heap->free_count;
    }
    return block;
  }
  return nullptr;
}

void ReleaseBlock(WorkingHeap* heap, uint8_t* block, uint32_t size) {
  if (size == 0) return;
  uint32_t offset = HeapOffset(*heap, block);
  int i = 0;
  while (i < heap->free_count && heap->free_runs[i].offset < offset) ++i;
  bool joins_before = i > 0 && heap->free_runs[i - 1].offset + heap->free_runs[i - 1].size == offset;
  bool joins_after = i < heap->free_count && offset + size == heap->free_runs[i].offset;
  if (joins_before && joins_after) {
    heap->free_runs[i - 1].size += size + heap->free_runs[i].size;
    std::copy(heap->free_runs + i + 1, heap->free_runs + heap->free_count, heap->free_runs + i);
    --heap->free_count;
  } else if (joins_before) {
    heap->free_runs[i - 1].size += size;
  } else if (joins_after) {
    heap->free_runs[i].offset = offset;
    heap->free_runs[i].size += size;
  } else if (heap->free_count < WorkingHeap::kMaxFreeRuns) {
    std::copy_backward(heap->free_runs + i, heap->free_runs + heap->free_count,
                       heap->free_runs + heap->free_count + 1);
    heap->free_runs[i] = {offset, size};
    ++heap->free_count;
  }
  // With every run slot taken the block stays unusable; a run takes only a
  // handful of blocks and frees one, so this cannot happen in practice.
}

uint32_t FreeMemory(const WorkingHeap& heap) {
  uint32_t total = 0;
  for (int i = 0; i < heap.free_count; ++i) total += heap.free_runs[i].size;
  return total;
}

uint32_t LargestFreeBlock(const WorkingHeap& heap) {
  uint32_t largest = 0;
  for (int i = 0; i < heap.free_count; ++i) largest = std::max(largest, heap.free_runs[i].size);
  return largest;
}

void MakeBlockPresent(const Platform& platform, void* block, size_t size) {
  if (platform.prepare_memory != nullptr && block != nullptr) platform.prepare_memory(platform.ctx, block, size);
}

}  // namespace tessel
