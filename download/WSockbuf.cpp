#include "download/WSockbuf.h"

#include <algorithm>
#include <cstring>

TBuffer::TBuffer(int size) : FBuf(static_cast<size_t>(size)) {}

int TBuffer::Write(const char *data, int len)
{
    const int taken = std::min(len, static_cast<int>(FBuf.size()) - FWrCount);
    if (taken <= 0)
        return 0;
    std::memcpy(FBuf.data() + FWrCount, data, static_cast<size_t>(taken));
    FWrCount += taken;
    return taken;
}

void TBuffer::Remove(int len)
{
    FRdCount = std::min(FRdCount + len, FWrCount);
    // An emptied block starts over so the last block of the queue can be filled again.
    if (FRdCount == FWrCount)
        Clear();
}
