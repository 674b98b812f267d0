// The settings reader on any bytes: reading never fails, and a value written into the damaged
// document reads back as written while every other key keeps its value.
#include "core/TIniFile.h"
#include "tests/fuzz/FuzzSupport.h"

#include <QStringDecoder>

#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::StartApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The input's last line is the value to write; the rest is the document.
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype cut = bytes.lastIndexOf('\n');
    const QByteArray document = cut < 0 ? bytes : bytes.left(cut + 1);
    QStringDecoder decoder("CP932", QStringDecoder::Flag::Stateless);
    const QString value = decoder.decode(cut < 0 ? QByteArray() : bytes.mid(cut + 1));

    const QString name = FuzzSupport::WriteScratch(document.constData(), size_t(document.size()));
    TIniFile ini(name);
    const QString keys[][2] = {{"Data", "URL"}, {"Data", "Threads"}, {"Window", "Top"}, {"data", "proxy"}};
    QString before[std::size(keys)];
    for (size_t i = 0; i < std::size(keys); ++i) {
        before[i] = ini.ReadString(keys[i][0], keys[i][1], QStringLiteral("\x01"));
        ini.ReadInteger(keys[i][0], keys[i][1], 0);
    }
    ini.WriteString(QStringLiteral("Data"), QStringLiteral("URL"), value);
    QString error;
    FuzzSupport::Check(ini.UpdateFile(&error), "update");

    const TIniFile again(name);
    QString expected = value;
    expected.replace(u'\r', u' ').replace(u'\n', u' ');
    FuzzSupport::Check(again.ReadString("Data", "URL", {}) == expected, "the written value reads back");
    for (size_t i = 1; i < std::size(keys); ++i)
        FuzzSupport::Check(again.ReadString(keys[i][0], keys[i][1], QStringLiteral("\x01")) == before[i],
                           "other keys keep their values");
    return 0;
}
