#pragma once

#include <QIODevice>
#include <QString>

#include <functional>

// The lines of a URL list file (one URL a line, as --urls reads it), each bounded: a line longer
// than any URL the program takes is refused unread, so a huge line never sits in memory whole.
namespace TUrlLines {

// Hands each non-blank line to take with its number (from 1): the URL without surrounding blanks
// and, when the list cannot take it, the refusal ("「URL」: reason") TUrlEntry gives.
void Read(QIODevice &file, const std::function<void(int number, const QString &url, const QString &refusal)> &take);

} // namespace TUrlLines
