#include "viewer/SPIs.h"

#include "viewer/SPIFolders.h"
#include "viewer/ViewerLog.h"

#include <QDir>
#include <QFile>

#include <cstring>
#include <stdexcept>

#include <dlfcn.h>
#include <link.h>

namespace {

TSPIs *CurrentSPIs = nullptr;

// A plug-in that answers every information number would otherwise keep the loop going for ever.
constexpr int MaxFormats = 1000;
constexpr int32_t InfoBufferLength = 255;

} // namespace

ESPIFOpenErrorSPI::ESPIFOpenErrorSPI(const QString &Path)
    : ESPIError(QStringLiteral("%1:Susie Pluginがロードできませんでした").arg(Path).toStdString())
{
}

ESPIInvalidSPI::ESPIInvalidSPI(const QString &ModuleFileName)
    : ESPIError(QStringLiteral("%1:認識できないSusie Pluginです").arg(ModuleFileName).toStdString())
{
}

ESPIInvalidAPI::ESPIInvalidAPI(const QString &EntryName, const QString &ModuleFileName)
    : ESPIError(QStringLiteral("%1は[%2]では使えないSusie Plugin APIです").arg(EntryName, ModuleFileName).toStdString())
{
}

ESPIDupCreateSPIs::ESPIDupCreateSPIs() : ESPIError("TSPIs は複数生成できません") {}

QString ExtractFileExt(const QString &FileName)
{
    const qsizetype dot = FileName.lastIndexOf(QLatin1Char('.'));
    return dot > FileName.lastIndexOf(QLatin1Char('/')) ? FileName.mid(dot) : QString();
}

void TSPI::TModuleCloser::operator()(void *Module) const
{
    dlclose(Module);
}

TSPI::TSPI(const QString &FileName)
    : FModule(dlopen(QFile::encodeName(FileName).constData(), RTLD_NOW | RTLD_LOCAL)), FModuleFileName(FileName)
{
    if (!FModule)
        throw ESPIFOpenErrorSPI(FileName);
    link_map *map = nullptr;
    if (dlinfo(FModule.get(), RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name && *map->l_name)
        FModuleFileName = QFile::decodeName(map->l_name);
    FGetPluginInfo = reinterpret_cast<SusieGetPluginInfo>(Entry("GetPluginInfo"));
    if (!FGetPluginInfo)
        throw ESPIInvalidSPI(FModuleFileName);
    ReadInfo(0, FAPIVersion);
    ReadInfo(1, FDescription);
    for (int n = 2; n < 2 + 2 * MaxFormats; n += 2) {
        QString pattern, description;
        const bool hasPattern = ReadInfo(n, pattern);
        const bool hasDescription = ReadInfo(n + 1, description);
        if (!hasPattern || !hasDescription)
            break;
        FExtensionPatterns.append(pattern);
        FFormatDescriptions.append(description);
    }
}

TSPI::~TSPI() = default;

void *TSPI::Entry(const char *Name) const
{
    return dlsym(FModule.get(), Name);
}

bool TSPI::ReadInfo(int Number, QString &Text) const
{
    // One byte beyond what the plug-in is told, so a text without its NUL still ends inside.
    char buffer[InfoBufferLength + 1] = {};
    const int32_t written = FGetPluginInfo(Number, buffer, InfoBufferLength);
    if (written <= 0)
        return false;
    const size_t length = strnlen(buffer, size_t(std::min(written, InfoBufferLength)));
    Text = QString::fromLocal8Bit(buffer, qsizetype(length));
    return true;
}

TInSPI::TInSPI(const QString &FileName) : TSPI(FileName)
{
    FIsSupported = reinterpret_cast<SusieIsSupported>(Entry("IsSupported"));
    FGetPictureInfo = reinterpret_cast<SusieGetPictureInfo>(Entry("GetPictureInfo"));
    FGetPicture = reinterpret_cast<SusieGetPicture>(Entry("GetPicture"));
    if (!FIsSupported || !FGetPictureInfo || !FGetPicture)
        throw ESPIInvalidSPI(ModuleFileName());
    FGetPreview = reinterpret_cast<SusieGetPreview>(Entry("GetPreview"));
}

int32_t TInSPI::IsSupported(const QString &FileName, const void *Address) const
{
    return FIsSupported(QFile::encodeName(FileName).constData(), Address);
}

int32_t TInSPI::GetPictureInfo(const char *Buf, int32_t Length, uint32_t Flag, SusiePictureInfo &Info) const
{
    return FGetPictureInfo(Buf, Length, Flag, &Info);
}

int32_t TInSPI::GetPicture(const char *Buf, int32_t Length, uint32_t Flag, HLOCAL &BitmapInfo, HLOCAL &Bitmap,
                           SusieProgressCallback Progress, intptr_t UserValue) const
{
    return FGetPicture(Buf, Length, Flag, &BitmapInfo, &Bitmap, Progress, UserValue);
}

int32_t TInSPI::GetPreview(const char *Buf, int32_t Length, uint32_t Flag, HLOCAL &BitmapInfo, HLOCAL &Bitmap,
                           SusieProgressCallback Progress, intptr_t UserValue) const
{
    if (!FGetPreview)
        throw ESPIInvalidAPI(QStringLiteral("GetPreview"), ModuleFileName());
    return FGetPreview(Buf, Length, Flag, &BitmapInfo, &Bitmap, Progress, UserValue);
}

std::unique_ptr<TSPI> CreateSPI(const QString &FileName)
{
    // The probe keeps the library loaded while the right class loads it again.
    const TSPI probe(FileName);
    const QString &version = probe.APIVersion();
    if (version == QLatin1String("00IN"))
        return std::make_unique<TInSPI>(FileName);
    if (version == QLatin1String("00AM"))
        return std::make_unique<TAmSPI>(FileName);
    if (version == QLatin1String("00XN"))
        return std::make_unique<TXnSPI>(FileName);
    return std::make_unique<TSPI>(FileName);
}

void AcceptDecodersOnly(TSPIs &, TSPI &ASPI, bool &Accept)
{
    Accept = dynamic_cast<TInSPI *>(&ASPI) != nullptr;
}

std::unique_ptr<TSPIs> MakeViewerDecoders()
{
    auto spis = std::make_unique<TSPIs>();
    spis->AutoSearch = true;
    spis->SearchOptions = spsSusieDir | spsAppDir;
    spis->OnSearch = AcceptDecodersOnly;
    spis->Loaded();
    return spis;
}

TSPIs::TSPIs()
{
    if (CurrentSPIs)
        throw ESPIDupCreateSPIs();
    CurrentSPIs = this;
}

TSPIs::~TSPIs()
{
    if (CurrentSPIs == this)
        CurrentSPIs = nullptr;
    Clear();
}

TSPIs *TSPIs::Current()
{
    return CurrentSPIs;
}

void TSPIs::Loaded()
{
    if (AutoSearch)
        Search(QStringLiteral("*.spi"));
}

void TSPIs::Search(const QString &Mask)
{
    const qsizetype slash = Mask.lastIndexOf(QLatin1Char('/'));
    if (slash >= 0) {
        SearchFolder(Mask.left(slash + 1), Mask.mid(slash + 1));
        return;
    }
    for (const QString &folder : SPISearchFolders(SearchOptions))
        SearchFolder(folder, Mask);
}

void TSPIs::SearchFolder(const QString &Folder, const QString &Pattern)
{
    const QString folder = Folder.endsWith(QLatin1Char('/')) ? Folder : Folder + QLatin1Char('/');
    // Name filters ignore case, as they did where the plug-ins come from ("X.SPI" is a plug-in too).
    const QStringList names = QDir(folder).entryList({Pattern}, QDir::Files, QDir::Name);
    QStringList paths;
    for (const QString &name : names)
        if (IndexOf(folder + name) < 0)
            paths.append(folder + name);
    for (const QString &path : paths) {
        std::unique_ptr<TSPI> spi;
        try {
            spi = CreateSPI(path);
        } catch (const ESPIFOpenErrorSPI &e) {
            qCWarning(lcViewer, "%s", e.what());
            continue;
        } catch (const ESPIInvalidSPI &e) {
            qCWarning(lcViewer, "%s", e.what());
            continue;
        }
        TSPI *raw = spi.get();
        try {
            bool accept = true;
            if (OnSearch)
                OnSearch(*this, *raw, accept);
            if (accept)
                Add(std::move(spi));
        } catch (const std::exception &e) {
            // A plug-in refused by an error is dropped like one refused by its handler.
            qCWarning(lcViewer, "%s dropped: %s", qUtf8Printable(path), e.what());
            std::erase_if(FItems, [raw](const std::unique_ptr<TSPI> &item) { return item.get() == raw; });
        }
    }
}

void TSPIs::Insert(int Index, std::unique_ptr<TSPI> SPI)
{
    if (Index < 0 || Index > Count())
        throw std::out_of_range("TSPIs::Insert: index out of range");
    TSPI *raw = SPI.get();
    FItems.insert(FItems.begin() + Index, std::move(SPI));
    TInSPI *decoder = dynamic_cast<TInSPI *>(raw);
    if (!decoder)
        return;
    for (qsizetype i = 0; i < decoder->ExtensionPatterns().size(); ++i) {
        // "*.aaa;*.bbb" yields "bbb" alone, as the extension of the whole pattern.
        const QString extension = ExtractFileExt(decoder->ExtensionPatterns().at(i)).mid(1);
        if (extension.isEmpty())
            continue;
        const QString &description = decoder->FormatDescriptions().at(i);
        TGraphicClass graphicClass = SPIDefaultGraphicClass();
        if (OnPictureRegister)
            OnPictureRegister(*this, *decoder, extension, description, graphicClass);
        if (graphicClass)
            TPictureFormats::Instance().Register(extension, description, graphicClass);
    }
}

void TSPIs::Add(std::unique_ptr<TSPI> SPI)
{
    Insert(Count(), std::move(SPI));
}

void TSPIs::Delete(int Index)
{
    if (Index < 0 || Index >= Count())
        throw std::out_of_range("TSPIs::Delete: index out of range");
    FItems.erase(FItems.begin() + Index);
}

void TSPIs::Clear()
{
    while (!FItems.empty())
        Delete(0);
}

int TSPIs::IndexOf(const QString &FileName) const
{
    for (size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i]->ModuleFileName() == FileName)
            return int(i);
    return -1;
}

bool TSPIs::Claims(const TSPI &SPI, const QString &FileName)
{
    const QString extension = ExtractFileExt(FileName);
    if (extension.isEmpty())
        return false;
    for (const QString &pattern : SPI.ExtensionPatterns())
        if (ExtractFileExt(pattern).compare(extension, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}
