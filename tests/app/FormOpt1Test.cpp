#include "app/FormOpt1.h"

#include "download/TRateLimit.h"
#include "tests/support/MainWindowFixture.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

using FormOpt1Test = MainWindowFixture;

// Showing copies every setting into its control; the inverted check boxes included.
TEST_F(FormOpt1Test, ShowCopiesSettingsIntoControls)
{
    TSettings &s = form->Settings;
    s.Ref = "http://ref.example/";
    s.Proxy = "proxy:3128";
    s.Cookie = "a=b";
    s.Threads = 3;
    s.TimeOutCTR = 55;
    s.Gif = 1;
    s.SRC = 0;
    s.SNSize = 7;
    s.Sound1 = 0;
    s.FileType = 5;
    s.MaxTries = 12;
    TFormOpt *opt = form->FormOpt;
    opt->show();
    EXPECT_EQ(opt->UDMaxTries->value(), 12);
    EXPECT_EQ(opt->EditReference->text(), s.Ref);
    EXPECT_EQ(opt->EditProxy->text(), s.Proxy);
    EXPECT_EQ(opt->EditCookie->text(), s.Cookie);
    EXPECT_EQ(opt->UDThSum->value(), 4);
    EXPECT_EQ(opt->EditTOC->text(), "55");
    EXPECT_FALSE(opt->CheckBoxGif->isChecked());
    EXPECT_TRUE(opt->CheckBoxSRC->isChecked());
    EXPECT_FALSE(opt->CheckBoxSumNail->isChecked());
    EXPECT_FALSE(opt->CheckBoxSound1->isChecked());
    EXPECT_TRUE(opt->CheckBoxSound2->isChecked());
    EXPECT_TRUE(opt->RadioButtonShort->isChecked());
    EXPECT_FALSE(opt->GroupBoxAgent->isEnabled());
}

// Closing stores the controls: thread count minus one, FileType as 1 or 2, a bad time-out kept.
TEST_F(FormOpt1Test, CloseStoresControlsIntoSettings)
{
    TSettings &s = form->Settings;
    s.FileType = 5;
    TFormOpt *opt = form->FormOpt;
    opt->show();
    opt->UDThSum->setValue(1);
    opt->EditTOC->setText("fifty");
    opt->CheckBoxGif->setChecked(true);
    opt->CheckBox20k->setChecked(false);
    opt->EditProxy->setText("127.0.0.1:8080");
    opt->UDMaxTries->setValue(3);
    opt->close();
    EXPECT_FALSE(opt->isVisible());
    EXPECT_EQ(s.Threads, 0);
    EXPECT_EQ(s.TimeOutCTR, 100);
    EXPECT_EQ(s.FileType, 2);
    EXPECT_EQ(s.Gif, 0);
    EXPECT_EQ(s.Size20KB, 0);
    EXPECT_EQ(s.Proxy, "127.0.0.1:8080");
    EXPECT_EQ(s.MaxTries, 3);

    opt->show();
    opt->EditTOC->setText("40");
    opt->RadioButtonLong->setChecked(true);
    opt->ButtonUpdate->click();
    EXPECT_EQ(s.TimeOutCTR, 40) << "更新 stores without closing";
    EXPECT_EQ(s.FileType, 1);
    for (const char *bad : {"0", "-5"}) {
        opt->EditTOC->setText(bad);
        opt->ButtonUpdate->click();
        EXPECT_EQ(s.TimeOutCTR, 40) << bad << ": a stall limit that would stop every download is kept out";
    }
}

// Catches a pacing setting the EX tab does not show or store, and a gap it cannot read stored anyway.
TEST_F(FormOpt1Test, ExTabEditsPacing)
{
    TSettings &s = form->Settings;
    s.StartsPerTick = 3;
    s.HostLimit = 0;
    s.HostGap = {500, 50};
    TFormOpt *opt = form->FormOpt;
    opt->show();
    EXPECT_EQ(opt->UDStartsPerTick->value(), 3);
    EXPECT_EQ(opt->UDHostLimit->text(), "無制限");
    EXPECT_EQ(opt->EditHostGap->text(), "500±50%");

    opt->UDStartsPerTick->setValue(9);
    opt->UDHostLimit->setValue(2);
    opt->EditHostGap->setText("750+-10%");
    opt->close();
    EXPECT_EQ(s.StartsPerTick, 9);
    EXPECT_EQ(s.HostLimit, 2);
    EXPECT_EQ(s.HostGap, (THostGap{750, 10}));

    opt->show();
    EXPECT_EQ(opt->EditHostGap->text(), "750±10%");
    opt->EditHostGap->setText("soon");
    opt->ButtonUpdate->click();
    EXPECT_EQ(s.HostGap, (THostGap{750, 10})) << "a gap that cannot be read is kept out";
    opt->EditHostGap->setText("0");
    opt->ButtonUpdate->click();
    EXPECT_EQ(s.HostGap, THostGap{});
}

// Catches the cookie file or the .netrc box not shown from the settings or not stored back, and a
// cancelled file choice that clears the field.
TEST_F(FormOpt1Test, ExTabEditsCookieFileAndNetrc)
{
    TSettings &s = form->Settings;
    s.CookieFile = "/tmp/old.txt";
    s.Netrc = 0;
    TFormOpt *opt = form->FormOpt;
    QString offered;
    QString answer = "/home/u/cookies.sqlite";
    opt->ChooseCookieFile = [&](const QString &current) {
        offered = current;
        return answer;
    };
    opt->show();
    EXPECT_EQ(opt->EditCookieFile->text(), "/tmp/old.txt");
    EXPECT_FALSE(opt->CheckBoxNetrc->isChecked());
    opt->ButtonCookieFile->click();
    EXPECT_EQ(offered, "/tmp/old.txt");
    answer.clear();
    opt->ButtonCookieFile->click();
    EXPECT_EQ(opt->EditCookieFile->text(), "/home/u/cookies.sqlite");
    opt->CheckBoxNetrc->setChecked(true);
    opt->close();
    EXPECT_EQ(s.CookieFile, "/home/u/cookies.sqlite");
    EXPECT_TRUE(s.UsesNetrc());
}

// Catches LazyImages or the rate cap not shown or not stored, a cap that cannot be read stored
// anyway, and a new cap that waits for the scheduler's next tick instead of reaching downloads at once.
TEST_F(FormOpt1Test, ExTabEditsLazyImagesAndTheRateCap)
{
    TSettings &s = form->Settings;
    s.LazyImages = 1;
    s.RateLimit = {500 * 1024};
    TFormOpt *opt = form->FormOpt;
    opt->show();
    EXPECT_TRUE(opt->CheckBoxLazyImages->isChecked());
    EXPECT_EQ(opt->EditRateLimit->text(), "500K");

    opt->CheckBoxLazyImages->setChecked(false);
    opt->EditRateLimit->setText("2m");
    opt->ButtonUpdate->click();
    EXPECT_EQ(s.LazyImages, 0);
    EXPECT_EQ(s.RateLimit, TRateCap{2 << 20});
    EXPECT_EQ(TRateLimit::Program().BytesPerSecond(), 2 << 20);

    opt->EditRateLimit->setText("fast");
    opt->close();
    EXPECT_EQ(s.RateLimit, TRateCap{2 << 20}) << "a cap that cannot be read is kept out";
    opt->show();
    opt->EditRateLimit->setText("0");
    opt->ButtonUpdate->click();
    EXPECT_EQ(TRateLimit::Program().BytesPerSecond(), 0);
}

// Catches a history switch the EX tab does not show, or does not store.
TEST_F(FormOpt1Test, ExTabEditsTheHistorySwitches)
{
    TSettings &s = form->Settings;
    s.SkipDone = 1;
    s.Duplicates = 0;
    TFormOpt *opt = form->FormOpt;
    opt->show();
    EXPECT_TRUE(opt->CheckBoxSkipDone->isChecked());
    EXPECT_FALSE(opt->CheckBoxDuplicates->isChecked());
    opt->CheckBoxSkipDone->setChecked(false);
    opt->CheckBoxDuplicates->setChecked(true);
    opt->close();
    EXPECT_EQ(s.SkipDone, 0);
    EXPECT_EQ(s.Duplicates, 1);
}
