#pragma once

#include "download/WSockbuf.h"

#include <deque>
#include <vector>

// Ordered chain of TBuffer blocks holding what a socket still has to send; the oldest block
// goes out first and new data fills the last block before another is added.
class TSendQueue
{
public:
    void Append(const char *data, int len);
    bool IsEmpty() const { return FBlocks.empty() || FBlocks.front().Pending() == 0; }
    // The unsent bytes of the oldest block.
    const char *Front(int &len) const;
    // Marks len bytes of the oldest block as sent; an emptied block is dropped unless it is the last.
    void Consume(int len);
    void Clear() { FBlocks.clear(); }
    // Bytes held by each block, oldest first.
    std::vector<int> BlockSizes() const;

private:
    std::deque<TBuffer> FBlocks;
};
