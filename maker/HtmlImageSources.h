#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// The image addresses a tag names besides "src": lazy loaders keep the real address in data-src or
// data-original, and responsive pages offer several sizes in srcset.
namespace HtmlImageSources {

// One attribute of a tag: its name, its value without quotes, and where in the tag its name ends.
struct TAttribute {
    QByteArrayView name;
    QByteArrayView value;
    qsizetype nameEnd = 0;
};

// The attributes of a tag's inside (the text between "<" and ">", its name first), in order. A
// name without "=" has an empty value; an unclosed quote runs to the end.
QList<TAttribute> TagAttributes(QByteArrayView tag);

// Bytes of the tag's name: up to the first blank or "/" ("IMG" of "IMG src=...").
qsizetype TagNameLength(QByteArrayView tag);

// The address a srcset asks for at its best: the widest candidate by its "w" descriptor, else the
// densest by "x" (a bare candidate counts as 1x), else the first. Candidates with descriptors
// that cannot be read are dropped; empty when none is left.
QByteArrayView BestCandidate(QByteArrayView srcset);

} // namespace HtmlImageSources
