// The catalogue reader on any bytes: it reads or refuses (EPelFile), never crashes, and refusing
// leaves the lists as they were; what it reads writes out and reads back the same.
#include "tests/fuzz/FuzzSupport.h"
#include "viewer/TPelFile.h"

#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::StartApplication();
    return 0;
}

namespace {

bool SameIcons(const TIconList &a, const TIconList &b)
{
    if (a.Count() != b.Count())
        return false;
    for (int k = 0; k < a.Count(); ++k)
        if (a.Image(k) != b.Image(k) || a.Mask(k) != b.Mask(k))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    TIconList icons;
    icons.Add(QImage(64, 64, QImage::Format_RGB32));
    QStringList captions{QStringLiteral("before")};
    try {
        TPelFile::Read(bytes, icons, captions);
    } catch (const EPelFile &) {
        FuzzSupport::Check(icons.Count() == 1 && captions == QStringList{QStringLiteral("before")},
                           "a refused file leaves the lists");
        return 0;
    }
    TIconList again;
    QStringList againCaptions;
    TPelFile::Read(TPelFile::Write(icons, captions), again, againCaptions);
    FuzzSupport::Check(SameIcons(icons, again), "icons read back as written");
    FuzzSupport::Check(captions == againCaptions, "captions read back as written");
    return 0;
}
