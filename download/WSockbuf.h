#pragma once

#include <vector>

// One fixed-size block of a socket's send queue: bytes are appended at the write count and
// taken from the read count, so a partly sent block keeps its unsent tail.
class TBuffer
{
public:
    static constexpr int DefaultSize = 1514;

    explicit TBuffer(int size = DefaultSize);

    // Appends as much of data as fits; returns the number of bytes taken.
    int Write(const char *data, int len);
    // The unsent bytes.
    const char *Peek() const { return FBuf.data() + FRdCount; }
    int Pending() const { return FWrCount - FRdCount; }
    // Marks len unsent bytes as sent.
    void Remove(int len);
    // Empties the block for reuse.
    void Clear() { FWrCount = FRdCount = 0; }
    int WrCount() const { return FWrCount; }

private:
    std::vector<char> FBuf;
    int FWrCount = 0;
    int FRdCount = 0;
};
