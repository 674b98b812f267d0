#pragma once

// The picture-decoder plug-in host: the plug-in classes (one loaded *.spi each) and the collection
// that finds them, registers the extensions its decoders claim and picks the decoders for a file.

#include "viewer/SusiePlugin.h"
#include "viewer/TPicture.h"

#include <QFlags>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

// Every error of the plug-in host.
class ESPIError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The library cannot be loaded (Path as given).
class ESPIFOpenErrorSPI : public ESPIError
{
public:
    explicit ESPIFOpenErrorSPI(const QString &Path);
};

// The library lacks an entry every plug-in (or every decoder) must have.
class ESPIInvalidSPI : public ESPIError
{
public:
    explicit ESPIInvalidSPI(const QString &ModuleFileName);
};

// An entry was called that this plug-in does not export.
class ESPIInvalidAPI : public ESPIError
{
public:
    ESPIInvalidAPI(const QString &EntryName, const QString &ModuleFileName);
};

// A second collection while one exists.
class ESPIDupCreateSPIs : public ESPIError
{
public:
    ESPIDupCreateSPIs();
};

// One loaded plug-in library of any kind. The library stays loaded as long as the object lives.
class TSPI
{
public:
    // Raises ESPIFOpenErrorSPI when the library cannot be loaded, ESPIInvalidSPI when it has no
    // GetPluginInfo; the library is released again before either leaves.
    explicit TSPI(const QString &FileName);
    virtual ~TSPI();
    TSPI(const TSPI &) = delete;
    TSPI &operator=(const TSPI &) = delete;

    void *Module() const { return FModule.get(); }
    // The path the loader reports for the module; the given path when it reports none.
    const QString &ModuleFileName() const { return FModuleFileName; }
    const QString &APIVersion() const { return FAPIVersion; } // "00IN", "00AM", "00XN", …
    const QString &Description() const { return FDescription; }
    // Parallel lists: a pattern such as "*.jpg;*.jpeg" and the name of that format.
    const QStringList &ExtensionPatterns() const { return FExtensionPatterns; }
    const QStringList &FormatDescriptions() const { return FFormatDescriptions; }
    SusieGetPluginInfo GetPluginInfoProc() const { return FGetPluginInfo; }

protected:
    // The library's entry Name; null when it exports none.
    void *Entry(const char *Name) const;

private:
    struct TModuleCloser {
        void operator()(void *Module) const;
    };
    // Text of information number Number; empty when the plug-in has no such entry.
    bool ReadInfo(int Number, QString &Text) const;

    std::unique_ptr<void, TModuleCloser> FModule;
    QString FModuleFileName;
    QString FAPIVersion;
    QString FDescription;
    QStringList FExtensionPatterns;
    QStringList FFormatDescriptions;
    SusieGetPluginInfo FGetPluginInfo = nullptr;
};

// A picture decoder ("00IN").
class TInSPI : public TSPI
{
public:
    // Raises ESPIInvalidSPI when IsSupported, GetPictureInfo or GetPicture is missing.
    explicit TInSPI(const QString &FileName);

    int32_t IsSupported(const QString &FileName, const void *Address) const;
    int32_t GetPictureInfo(const char *Buf, int32_t Length, uint32_t Flag, SusiePictureInfo &Info) const;
    int32_t GetPicture(const char *Buf, int32_t Length, uint32_t Flag, HLOCAL &BitmapInfo, HLOCAL &Bitmap,
                       SusieProgressCallback Progress, intptr_t UserValue) const;
    bool HasPreview() const { return FGetPreview != nullptr; }
    // Raises ESPIInvalidAPI when the plug-in has no GetPreview.
    int32_t GetPreview(const char *Buf, int32_t Length, uint32_t Flag, HLOCAL &BitmapInfo, HLOCAL &Bitmap,
                       SusieProgressCallback Progress, intptr_t UserValue) const;

private:
    SusieIsSupported FIsSupported = nullptr;
    SusieGetPictureInfo FGetPictureInfo = nullptr;
    SusieGetPicture FGetPicture = nullptr;
    SusieGetPreview FGetPreview = nullptr;
};

// An archive plug-in ("00AM"): held, never called.
class TAmSPI : public TSPI
{
public:
    using TSPI::TSPI;
};

// An export plug-in ("00XN"): held, never called.
class TXnSPI : public TSPI
{
public:
    using TSPI::TSPI;
};

// Folders the search looks in, as bits.
enum TSPISearchOption : unsigned {
    spsSusieDir = 1,   // SUSIE_PLUGIN_PATH, else Path in [Plug-in] of susie.ini in the configuration folder
    spsAppDir = 2,     // the program's folder
    spsCurrentDir = 4, // the current folder
    spsSystemDir = 8,  // the system's shared-library folder
    spsWindowsDir = 16 // the user's configuration folder
};
Q_DECLARE_FLAGS(TSPISearchOptions, TSPISearchOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TSPISearchOptions)

class TSPIs;
// May refuse a plug-in the search found by clearing Accept.
using TSPISearchEvent = std::function<void(TSPIs &Sender, TSPI &ASPI, bool &Accept)>;
// May change the class an extension is registered under, or clear it to register nothing.
using TSPIPictureRegisterEvent = std::function<void(TSPIs &Sender, TInSPI &ASPI, const QString &AExtension,
                                                    const QString &ADescription, TGraphicClass &AGraphicClass)>;

// The plug-in collection. At most one exists at a time; the decoders of the picture classes use it.
class TSPIs
{
public:
    // Raises ESPIDupCreateSPIs while another collection exists.
    TSPIs();
    ~TSPIs();
    TSPIs(const TSPIs &) = delete;
    TSPIs &operator=(const TSPIs &) = delete;

    // The collection that exists now, or null.
    static TSPIs *Current();

    bool AutoSearch = true;
    TSPISearchOptions SearchOptions = spsSusieDir | spsAppDir;
    TSPISearchEvent OnSearch;
    TSPIPictureRegisterEvent OnPictureRegister;

    // The owner calls this once its properties are set: searches "*.spi" when AutoSearch is on.
    void Loaded();
    // Loads the plug-ins matching Mask: in Mask's folder if it names one, else in the folders of
    // SearchOptions. Libraries that are no plug-ins are skipped; other errors end the search.
    void Search(const QString &Mask);

    // Takes the plug-in and registers the extensions of a decoder.
    void Insert(int Index, std::unique_ptr<TSPI> SPI);
    void Add(std::unique_ptr<TSPI> SPI);
    void Delete(int Index);
    void Clear();
    int Count() const { return int(FItems.size()); }
    TSPI *Items(int Index) const { return FItems.at(size_t(Index)).get(); }
    // First plug-in whose module file name is FileName exactly; -1 for none.
    int IndexOf(const QString &FileName) const;

    // The plug-ins of class T for a file: those claiming its extension first, latest loaded first,
    // then the others in load order.
    template <class T>
    QList<T *> GetSupportedList(const QString &FileName) const
    {
        QList<T *> list;
        for (const auto &item : FItems)
            if (T *spi = dynamic_cast<T *>(item.get()))
                Claims(*spi, FileName) ? list.prepend(spi) : list.append(spi);
        return list;
    }

private:
    static bool Claims(const TSPI &SPI, const QString &FileName);
    void SearchFolder(const QString &Folder, const QString &Pattern);

    std::vector<std::unique_ptr<TSPI>> FItems;
};

// Makes the plug-in object for a library: a TInSPI, TAmSPI, TXnSPI or plain TSPI as its version says.
// Raises what the constructors raise.
std::unique_ptr<TSPI> CreateSPI(const QString &FileName);

// The viewer's search rule, shared by its window and batch mode: decoders only.
void AcceptDecodersOnly(TSPIs &Sender, TSPI &ASPI, bool &Accept);
// The viewer's collection, searched at once: the decoders of the Susie plug-in folder and of the
// program's folder. Raises what the search raises.
std::unique_ptr<TSPIs> MakeViewerDecoders();

// The class a decoder's extensions are registered under unless OnPictureRegister says otherwise.
TGraphicClass SPIDefaultGraphicClass();
void SetSPIDefaultGraphicClass(TGraphicClass Class);

// The text from the last dot on ("" when there is none after the last folder separator).
QString ExtractFileExt(const QString &FileName);
