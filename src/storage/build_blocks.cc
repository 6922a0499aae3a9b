#include "storage/build_blocks.h"

namespace tessel {

void TakeBuildBlocks(WorkingHeap* heap, const Platform& platform, BuildBlocks* blocks) {
  blocks->net_block = TakeBlock(heap, kNetTableBytes);
  blocks->text_block = TakeBlock(heap, kTextBlockBytes);
  blocks->first_chain_block = TakeBlock(heap, kChainBlockBytes);
  blocks->current_chain_block = blocks->first_chain_block;
  blocks->node_buffer = reinterpret_cast<NodeRecord*>(TakeBlock(heap, kNodeBufferBytes));
  MakeBlockPresent(platform, blocks->text_block, kTextBlockBytes);
  MakeBlockPresent(platform, blocks->first_chain_block, kChainBlockBytes);
  MakeBlockPresent(platform, blocks->node_buffer, kNodeBufferBytes);
}

}  // namespace tessel
