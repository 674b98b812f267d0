#pragma once

#include <QByteArray>

// Body bytes in which a lost, repeated or misplaced piece shows.
inline QByteArray Pattern(int size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        data[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return data;
}
