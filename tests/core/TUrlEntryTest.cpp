#include "core/TUrlEntry.h"

#include "core/TJobListFile.h"
#include "core/TJobListModel.h"
#include "download/UrlUtil.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

namespace {

const QStringList Urls{"http://h.example/a.jpg",
                       "https://h.example:8443/b.jpg",
                       "file://pics/c d.jpg",
                       "garbage",
                       "ftp://x",
                       "http://",
                       "http://h:70000/",
                       "http://h.example/a b.jpg",
                       "file://",
                       "http://h/" + QString(UrlUtil::MaxUrlBytes, 'x')};

} // namespace

// Catches a paste split wrongly (CR LF, blank or spaced lines), a bad line stopping the good ones
// after it, a refusal without the URL and its reason, and a duplicate reported as a fault.
TEST(TUrlEntryTest, PastedLinesAddGoodUrlsAndSayWhyNotForTheRest)
{
    EXPECT_EQ(TUrlEntry::Lines("  http://h/a.jpg \r\n\r\n\t\nftp://x\rhttp://h/b.jpg\n  "),
              QStringList({"http://h/a.jpg", "ftp://x", "http://h/b.jpg"}));
    EXPECT_TRUE(TUrlEntry::Lines(" \r\n ").isEmpty());

    TJobListModel jobs;
    jobs.AddJob("http://h/b.jpg", 0, 0, {});
    const TUrlEntry::TAddReport report = TUrlEntry::AddUrls(
        jobs, TUrlEntry::Lines("garbage\nhttp://h/a.jpg\nhttp://h:70000/\nhttp://h/b.jpg\nhttp://h/c.jpg"));
    EXPECT_EQ(report.added, 2);
    ASSERT_EQ(jobs.RowCount(), 3);
    EXPECT_EQ(jobs.Cell(2, SubURL), "http://h/c.jpg");
    EXPECT_EQ(report.refused, QStringList({"「garbage」: " + UrlUtil::FetchProblem("garbage"),
                                           "「http://h:70000/」: " + UrlUtil::FetchProblem("http://h:70000/")}));
    EXPECT_EQ(TUrlEntry::RefusalText(report.refused, report.added),
              "2 件を追加しました。次の URL は追加できません。\n" + report.refused.join('\n'));
    EXPECT_EQ(TUrlEntry::RefusalText({}, 3), "");

    QStringList many;
    for (int i = 0; i < 12; ++i)
        many.append("bad" + QString::number(i));
    const QString text = TUrlEntry::RefusalText(TUrlEntry::AddUrls(jobs, many).refused);
    EXPECT_TRUE(text.startsWith("次の URL は追加できません。\n「bad0」")) << text.toStdString();
    EXPECT_TRUE(text.endsWith("「bad9」: " + UrlUtil::FetchProblem("bad9") + "\nほか 2 件")) << text.toStdString();
    EXPECT_TRUE(TUrlEntry::Refusal("http://h/" + QString(70000, 'x')).size() < 200) << "a long URL is cut in a message";
}

// Catches the adders and the list loader disagreeing: a row the Home window took that vanishes at
// the next start, or a URL refused on add that a list still loads as a job.
TEST(TUrlEntryTest, WhatIsAddedIsWhatALoadedListKeeps)
{
    TTempFolder dir;
    for (const QString &url : Urls) {
        SCOPED_TRACE(url.left(40).toStdString());
        TJobListModel added;
        const bool taken = TUrlEntry::AddUrls(added, {url}).added == 1;
        EXPECT_EQ(taken, UrlUtil::JobUrlProblem(url).isEmpty());
        // A saved row, or the same row written by hand when it was refused.
        QString error;
        if (taken)
            ASSERT_TRUE(TJobListFile::SaveList(added, dir.file("a.wst"), &error)) << error.toStdString();
        else
            dir.write("a.wst", (QStringLiteral("(..),%1,-,???,-,>,-,1.1,Ready,*,0,,,\r\n").arg(url)).toUtf8());
        TJobListModel loaded;
        const TJobListFile::TLoadReport report = TJobListFile::LoadList(loaded, dir.file("a.wst"), {});
        EXPECT_EQ(report.rows, taken ? 1 : 0);
        EXPECT_EQ(report.skippedLines, taken ? 0 : 1) << "a refused row is reported, not dropped in silence";
        EXPECT_EQ(loaded.RowCount() == 1 ? loaded.Cell(0, SubURL) : QString(), taken ? url : QString());

        // A download manager's "URL=" line: only URLs the program can fetch, never local ones.
        TJobListModel listed;
        const TJobListFile::TLoadReport urlLine =
            TJobListFile::LoadList(listed, dir.write("a.wrg", ("URL=" + url + "  \r\n").toUtf8()), {});
        EXPECT_EQ(urlLine.rows, UrlUtil::FetchProblem(url).isEmpty() ? 1 : 0);
        EXPECT_EQ(urlLine.rows + urlLine.skippedLines, 1);
    }
}
