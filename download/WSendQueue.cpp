#include "download/WSendQueue.h"

void TSendQueue::Append(const char *data, int len)
{
    while (len > 0) {
        if (FBlocks.empty() || FBlocks.back().WrCount() == TBuffer::DefaultSize)
            FBlocks.emplace_back();
        const int taken = FBlocks.back().Write(data, len);
        data += taken;
        len -= taken;
    }
}

const char *TSendQueue::Front(int &len) const
{
    len = FBlocks.empty() ? 0 : FBlocks.front().Pending();
    return FBlocks.empty() ? nullptr : FBlocks.front().Peek();
}

void TSendQueue::Consume(int len)
{
    if (FBlocks.empty())
        return;
    FBlocks.front().Remove(len);
    if (FBlocks.front().Pending() == 0 && FBlocks.size() > 1)
        FBlocks.pop_front();
}

std::vector<int> TSendQueue::BlockSizes() const
{
    std::vector<int> sizes;
    for (const TBuffer &b : FBlocks)
        sizes.push_back(b.Pending());
    return sizes;
}
