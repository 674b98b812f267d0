#include "TPelFile.h"

// Placeholder until the catalogue format lands.
namespace TPelFile {
QByteArray Write(const TIconList &, const QStringList &) { throw EPelFile("not built yet"); }
void Read(const QByteArray &, TIconList &, QStringList &) { throw EPelFile("not built yet"); }
void Save(const QString &, const TIconList &, const QStringList &) { throw EPelFile("not built yet"); }
void Load(const QString &, TIconList &, QStringList &) { throw EPelFile("not built yet"); }
QString DefaultName(const QString &) { return {}; }
} // namespace TPelFile
