// The partition-exchange sort that orders the index.
//
// Records with equal keys end in the order these exact steps leave them,
// and that order is part of the index's bytes, so no other sort may stand
// in: i and j scan towards each other from the ends of the range, each
// stopping at an element not strictly on its side of the middle element's
// key (copied before the scan), and stopped pairs are exchanged. The
// smaller part is sorted by recursion and the larger by looping, so the
// depth stays logarithmic on any input.
#ifndef TESSEL_INDEX_PARTITION_SORT_H_
#define TESSEL_INDEX_PARTITION_SORT_H_

#include <cstdint>

namespace tessel {

// Sorts positions "lo" to "hi" of a sequence. "key_at(p)" returns the key
// of the element at p (a value that stays fixed while elements move),
// "less(a, b)" orders keys strictly, "swap(p, q)" exchanges two elements.
template <typename KeyAt, typename Less, typename Swap>
void PartitionSort(int32_t lo, int32_t hi, KeyAt key_at, Less less, Swap swap) {
  while (lo < hi) {
    int32_t i = lo;
    int32_t j = hi;
    auto pivot = key_at(lo + (hi - lo) / 2);
    do {
      while (less(key_at(i), pivot)) ++i;
      while (less(pivot, key_at(j))) --j;
      if (i <= j) {
        if (i != j) swap(i, j);
        ++i;
        --j;
      }
    } while (i <= j);
    // Parts lo..j and i..hi are disjoint; finishing them in either order
    // gives the same result.
    if (j - lo < hi - i) {
      if (lo < j) PartitionSort(lo, j, key_at, less, swap);
      lo = i;
    } else {
      if (i < hi) PartitionSort(i, hi, key_at, less, swap);
      hi = j;
    }
  }
}

}  // namespace tessel

#endif  // TESSEL_INDEX_PARTITION_SORT_H_
