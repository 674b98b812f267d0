#pragma once

// Turns a picture a decoder plug-in handed back (a bitmap information block and a pixel block) into a
// bitmap file image. The blocks come from outside the program: every field is checked against the
// block sizes before a byte is read.

#include <QByteArray>

#include <stdexcept>

class EInvalidDib : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The bitmap file image of the decoded picture; EInvalidDib when the blocks do not make one.
QByteArray DibToBitmapFile(const void *Info, size_t InfoSize, const void *Bits, size_t BitsSize);
