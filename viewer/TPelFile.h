#pragma once

#include "viewer/TIconList.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <stdexcept>

// A catalogue file that cannot be read (damaged, hostile, not a catalogue) or written.
class EPelFile : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The thumbnail catalogue file (.pel): the icon list and the caption list as two component records.
namespace TPelFile {

// The bytes of a catalogue: icons and their captions (caption k belongs to icon k).
QByteArray Write(const TIconList &Icons, const QStringList &Captions);
// Reads a whole catalogue; EPelFile on any fault, and then Icons and Captions are left as they were.
void Read(const QByteArray &Bytes, TIconList &Icons, QStringList &Captions);

// The file forms: Save replaces the file whole or not at all; both raise EPelFile with the reason.
void Save(const QString &FileName, const TIconList &Icons, const QStringList &Captions);
void Load(const QString &FileName, TIconList &Icons, QStringList &Captions);

// The catalogue name that goes with a job-list file "name.wst" (any case): "name.pel"; else empty.
QString DefaultName(const QString &ListFileName);

} // namespace TPelFile
