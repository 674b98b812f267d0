#include "viewer/SPIs.h"

#include "tests/viewer/SPITestSupport.h"
#include "viewer/SPIBmp.h"
#include "viewer/SPIFolders.h"

#include <QCoreApplication>
#include <QDir>

#include <dlfcn.h>

namespace {

bool StillLoaded(const QString &Path)
{
    void *module = dlopen(QFile::encodeName(Path).constData(), RTLD_NOW | RTLD_NOLOAD);
    if (module)
        dlclose(module);
    return module != nullptr;
}

QStringList ModuleNames(const TSPIs &SPIs)
{
    QStringList names;
    for (int i = 0; i < SPIs.Count(); ++i)
        names.append(QFileInfo(SPIs.Items(i)->ModuleFileName()).fileName());
    return names;
}

QStringList Names(const QList<TInSPI *> &List)
{
    QStringList names;
    for (const TInSPI *spi : List)
        names.append(QFileInfo(spi->ModuleFileName()).completeBaseName());
    return names;
}

// Sets an environment variable for one test.
class TEnv
{
public:
    TEnv(const char *Name, const QString &Value)
        : FName(Name), FOld(qgetenv(Name)), FHad(qEnvironmentVariableIsSet(Name))
    {
        qputenv(Name, QFile::encodeName(Value));
    }
    ~TEnv() { FHad ? qputenv(FName, FOld) : qunsetenv(FName); }
    TEnv(const TEnv &) = delete;
    TEnv &operator=(const TEnv &) = delete;

private:
    const char *FName;
    QByteArray FOld;
    bool FHad;
};

} // namespace

// Catches a wrong class for a version, lost information texts, and a plug-in that writes no NUL or
// claims more than the buffer making the host read past it.
TEST(TSPI, ReadsInformationAndPicksTheClass)
{
    const TSPI plain(TestSpi("spi_two"));
    EXPECT_EQ(plain.ModuleFileName(), TestSpi("spi_two"));
    EXPECT_EQ(plain.APIVersion(), "00IN");
    EXPECT_EQ(plain.Description(), "spi_two test plug-in");
    EXPECT_EQ(plain.ExtensionPatterns(), QStringList{"*.aaa;*.bbb"});
    EXPECT_EQ(plain.FormatDescriptions(), QStringList{"spi_two pictures"});

    EXPECT_NE(dynamic_cast<TInSPI *>(CreateSPI(TestSpi("spi_two")).get()), nullptr);
    EXPECT_NE(dynamic_cast<TAmSPI *>(CreateSPI(TestSpi("spi_archive")).get()), nullptr);
    EXPECT_NE(dynamic_cast<TXnSPI *>(CreateSPI(TestSpi("spi_export")).get()), nullptr);

    const TSPI sloppy(TestSpi("spi_sloppy"));
    EXPECT_EQ(sloppy.Description(), QString(255, u'x'));
    EXPECT_EQ(sloppy.ExtensionPatterns(), QStringList{"*.slp"});

    const TInSPI decoder(TestSpi("spi_two"));
    EXPECT_FALSE(decoder.HasPreview());
    HLOCAL info = 0, bits = 0;
    try {
        decoder.GetPreview("", 0, 1, info, bits, nullptr, 0);
        ADD_FAILURE() << "GetPreview of a plug-in without it";
    } catch (const ESPIInvalidAPI &e) {
        EXPECT_EQ(QString::fromUtf8(e.what()),
                  "GetPreviewは[" + TestSpi("spi_two") + "]では使えないSusie Plugin APIです");
    }
}

// Catches a library kept loaded after its constructor failed and the wrong error or message.
TEST(TSPI, RefusesLibrariesThatAreNoPlugins)
{
    const TTempFolder folder;
    const QString text = folder.write("text.spi", "not a library");
    try {
        TSPI spi(text);
        ADD_FAILURE() << "a text file loaded";
    } catch (const ESPIFOpenErrorSPI &e) {
        EXPECT_EQ(QString::fromUtf8(e.what()), text + ":Susie Pluginがロードできませんでした");
    }

    const QString noInfo = TestSpi("spi_noinfo");
    try {
        TSPI spi(noInfo);
        ADD_FAILURE() << "a library without GetPluginInfo loaded";
    } catch (const ESPIInvalidSPI &e) {
        EXPECT_EQ(QString::fromUtf8(e.what()), noInfo + ":認識できないSusie Pluginです");
    }
    EXPECT_FALSE(StillLoaded(noInfo));

    // Loaded twice, by the probe and by the decoder class, and released by both.
    const QString noDecoder = TestSpi("spi_nodecoder");
    EXPECT_THROW(CreateSPI(noDecoder), ESPIInvalidSPI);
    EXPECT_FALSE(StillLoaded(noDecoder));
}

// Catches two collections at once and a stale current collection after destruction.
TEST(TSPIs, OneCollectionAtATime)
{
    {
        TSPIs first;
        EXPECT_EQ(TSPIs::Current(), &first);
        try {
            TSPIs second;
            ADD_FAILURE() << "a second collection";
        } catch (const ESPIDupCreateSPIs &e) {
            EXPECT_STREQ(e.what(), "TSPIs は複数生成できません");
        }
        EXPECT_EQ(TSPIs::Current(), &first);
        first.Add(CreateSPI(TestSpi("spi_archive")));
    }
    EXPECT_EQ(TSPIs::Current(), nullptr);
    EXPECT_FALSE(StillLoaded(TestSpi("spi_archive")));
    const TSPIs again;
    EXPECT_EQ(TSPIs::Current(), &again);
}

// Catches registering the first extension of a two-extension pattern, registering non-decoders,
// and a handler's class (or its clearing) being ignored.
TEST(TSPIs, RegistersTheExtensionsOfDecoders)
{
    TSPIs spis;
    QStringList seen;
    spis.OnPictureRegister = [&](TSPIs &, TInSPI &, const QString &Extension, const QString &Description,
                                 TGraphicClass &Class) {
        seen.append(Extension + "=" + Description);
        EXPECT_EQ(Class, &TSPIBitmap::Class);
        if (Extension == "oth")
            Class = nullptr;
    };
    spis.Add(CreateSPI(TestSpi("spi_two")));
    spis.Add(CreateSPI(TestSpi("spi_other")));
    spis.Add(CreateSPI(TestSpi("spi_archive")));
    EXPECT_EQ(seen, (QStringList{"bbb=spi_two pictures", "oth=spi_other pictures"}));
    const TPictureFormats &formats = TPictureFormats::Instance();
    EXPECT_EQ(formats.Find("BBB"), &TSPIBitmap::Class);
    EXPECT_EQ(formats.Find("aaa"), nullptr);
    EXPECT_EQ(formats.Find("oth"), nullptr);
    EXPECT_EQ(formats.Find("lzh"), nullptr);
}

// Catches claimers tried in load order or after other decoders, a case-sensitive claim, a claim by the
// first extension of a two-extension pattern, and non-decoders among the candidates.
TEST(TSPIs, CandidatesClaimersFirstLatestFirst)
{
    TSPIs spis;
    for (const char *name : {"spi_claim_a", "spi_archive", "spi_claim_b", "spi_other", "spi_two"})
        spis.Add(CreateSPI(TestSpi(name)));
    const QStringList loadOrder{"spi_claim_a", "spi_claim_b", "spi_other", "spi_two"};
    EXPECT_EQ(Names(spis.GetSupportedList<TInSPI>("/x/y.clm")),
              (QStringList{"spi_claim_b", "spi_claim_a", "spi_other", "spi_two"}));
    EXPECT_EQ(Names(spis.GetSupportedList<TInSPI>(".Clm")),
              (QStringList{"spi_claim_b", "spi_claim_a", "spi_other", "spi_two"}));
    EXPECT_EQ(Names(spis.GetSupportedList<TInSPI>("y.bbb")),
              (QStringList{"spi_two", "spi_claim_a", "spi_claim_b", "spi_other"}));
    EXPECT_EQ(Names(spis.GetSupportedList<TInSPI>("y.aaa")), loadOrder);
    EXPECT_EQ(Names(spis.GetSupportedList<TInSPI>("/x.clm/y")), loadOrder);
    EXPECT_EQ(spis.GetSupportedList<TSPI>("y").size(), 5);

    spis.Delete(0);
    EXPECT_EQ(spis.IndexOf(TestSpi("spi_claim_a")), -1);
    EXPECT_EQ(spis.IndexOf(TestSpi("spi_claim_b")), 1);
}

// Catches a folder searched twice loading its plug-ins twice, hidden files, folders or libraries that
// are no plug-ins ending up in the list, a refused or failing plug-in kept, and a failure that stops the search.
TEST(TSPIs, SearchLoadsEachPluginOnce)
{
    const TTempFolder folder;
    const QString dir = QDir(folder.path()).canonicalPath();
    for (const auto &[from, to] : std::vector<std::pair<const char *, const char *>>{{"spi_claim_a", "a.spi"},
                                                                                     {"spi_archive", "b.spi"},
                                                                                     {"spi_noinfo", "c.spi"},
                                                                                     {"spi_nodecoder", "c2.spi"},
                                                                                     {"spi_claim_b", ".hidden.spi"},
                                                                                     {"spi_other", "D.SPI"},
                                                                                     {"spi_two", "e.spi.txt"}})
        ASSERT_TRUE(QFile::copy(TestSpi(from), dir + "/" + to));
    folder.write("text.spi", "no library");
    ASSERT_TRUE(QDir(dir).mkdir("folder.spi"));
    const TEnv susie("SUSIE_PLUGIN_PATH", dir);
    const QString oldCurrent = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir));

    {
        TSPIs spis;
        spis.SearchOptions = spsSusieDir | spsCurrentDir;
        spis.Search("*.spi");
        QStringList names = ModuleNames(spis);
        names.sort();
        EXPECT_EQ(names, (QStringList{"D.SPI", "a.spi", "b.spi"}));
        EXPECT_EQ(spis.Items(spis.IndexOf(dir + "/a.spi"))->ModuleFileName(), dir + "/a.spi");
        EXPECT_EQ(spis.IndexOf(dir + "/A.spi"), -1);
        // The same file under another spelling is another name.
        spis.Search(dir + "/./a.spi");
        EXPECT_EQ(spis.Count(), 4);
    }
    {
        TSPIs spis;
        spis.SearchOptions = spsCurrentDir;
        spis.OnSearch = AcceptDecodersOnly;
        spis.OnPictureRegister = [](TSPIs &, TInSPI &, const QString &Extension, const QString &, TGraphicClass &) {
            if (Extension == "clm")
                throw std::runtime_error("refused");
        };
        spis.Search("*.spi");
        EXPECT_EQ(ModuleNames(spis), QStringList{"D.SPI"});
    }
    {
        TSPIs spis;
        spis.SearchOptions = spsSusieDir;
        spis.AutoSearch = false;
        spis.Loaded();
        EXPECT_EQ(spis.Count(), 0);
        spis.AutoSearch = true;
        spis.Loaded();
        EXPECT_EQ(spis.Count(), 3);
    }
    QDir::setCurrent(oldCurrent);
}

// Catches the folders searched in another order, an option ignored, and the susie.ini fallback lost.
TEST(TSPIs, SearchFolders)
{
    const TTempFolder config;
    const TEnv xdg("XDG_CONFIG_HOME", config.path());
    const TEnv susie("SUSIE_PLUGIN_PATH", QString());
    EXPECT_EQ(SusiePluginFolder(), QString());
    config.write("susie.ini", "[Plug-in]\r\nPath=/opt/susie\r\n");
    EXPECT_EQ(SusiePluginFolder(), "/opt/susie");
    const TEnv named("SUSIE_PLUGIN_PATH", "/srv/plugins");
    EXPECT_EQ(SusiePluginFolder(), "/srv/plugins");

    const QStringList all = SPISearchFolders(spsSusieDir | spsAppDir | spsCurrentDir | spsSystemDir | spsWindowsDir);
    ASSERT_EQ(all.size(), 5);
    EXPECT_EQ(all.mid(0, 3),
              (QStringList{"/srv/plugins", QCoreApplication::applicationDirPath(), QDir::currentPath()}));
    EXPECT_EQ(all.at(4), config.path());
    EXPECT_EQ(SPISearchFolders(spsAppDir | spsWindowsDir),
              (QStringList{QCoreApplication::applicationDirPath(), config.path()}));
}
