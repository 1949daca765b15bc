// The rules for every link found on a page: rebuilding, typing, filters, de-duplication,
// scope, the report with its results line, and following. Links are handed to the rules
// directly, as the page analysis does; the timer is stopped, so nothing is fetched.
#include "sifton/sifton.h"
#include "tests/support/testenv.h"

#include <QFile>
#include <QTimer>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

constexpr char HREF = 4, SRC = 6;

struct Reported {
    std::string url, type, from, host, path, pathWithFile, extra;
    char hrefOrSrc;
};

// A crawl started on `start` with its results file open, and one page whose links are fed
// to the rules.
struct Rules {
    explicit Rules(const std::string &start = "http://h.example.com/dir/index.html",
                   const std::string &pageUrl = "")
    {
        s.Timer->stop();
        results = testenv::root() + "/results.txt";
        s.ResultFile = RESULTS_FILEOFRESULTS;
        s.SetFileOfResults(results.toStdString());
        EXPECT_TRUE(s.Start(start));
        EXPECT_TRUE(page.Url.CrackUrl(pageUrl.empty() ? start : pageUrl, ""));
        page.DepthSearchLevel = 1;
        s.OnLinkFound = [this](TSifton *, const std::string &url, const std::string &type, const std::string &from,
                               const std::string &host, const std::string &path, const std::string &pathWithFile,
                               const std::string &extra, std::string &writeToFile, char hrefOrSrc, int32_t,
                               bool &follow) {
            reported.push_back({url, type, from, host, path, pathWithFile, extra, hrefOrSrc});
            if (answerWrite)
                writeToFile = *answerWrite;
            if (veto)
                follow = false;
        };
    }

    void link(const std::string &text, char kind = HREF, int32_t area = 0)
    {
        TCrackUrl record;
        s.ProcessLinkFound(&page, text, kind, record, area);
    }

    // The queued addresses after the start address.
    std::vector<std::string> queued() const
    {
        std::vector<std::string> urls;
        for (size_t i = 1; i < s.Dwnld->Queue.List.size(); ++i)
            urls.push_back(s.Dwnld->Queue.List[i].Url);
        return urls;
    }

    std::vector<std::string> resultLines()
    {
        s.CloseFileOfResults();
        QFile file(results);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        std::vector<std::string> lines;
        for (const QByteArray &line : file.readAll().split('\n'))
            if (!line.isEmpty()) {
                EXPECT_TRUE(line.endsWith('\r')) << "lines end in CR LF";
                lines.push_back(line.chopped(1).toStdString());
            }
        return lines;
    }

    int doneFlag(const std::string &url)
    {
        int found = -1, insert = -1;
        return s.UrlsDone.Find(url, found, insert, false) ? s.UrlsDone.Objects(found) : -1;
    }

    TSifton s;
    TKvHttpGet page;
    QString results;
    std::vector<Reported> reported;
    std::optional<std::string> answerWrite;
    bool veto = false;
};

TEST(LinkRules, EachLinkIsRebuiltTypedReportedAndFollowedOrNot)
{
    struct Case {
        const char *link;
        char kind;
        const char *url;  // reported as; empty: dropped
        const char *type;
        bool queued;
        int flag; // object flag in UrlsDone, -1: not entered
    };
    const Case cases[] = {
        {"mailto:joe@h.example.com?subject=hello", HREF, "joe@h.example.com", "mail", false, -1},
        {"javascript:openWindow('big.html')", HREF, "", "", false, -1},
        {"page2.html", HREF, "http://h.example.com/dir/page2.html", "htm", true, 1},
        {"http://h.example.com/pics/a.jpg", SRC, "http://h.example.com/pics/a.jpg", "jpg", false, 0},
        {"http://h.example.com/pics/a.jpeg", HREF, "http://h.example.com/pics/a.jpeg", "jpg", false, 0},
        {"http://h.example.com/pics/b.JPG", HREF, "http://h.example.com/pics/b.JPG", "htm", true, 1},
        // The addresses met are compared without regard to case.
        {"http://h.example.com/PICS/A.JPG", HREF, "", "", false, 0},
        {"http://h.example.com/movie.mpeg", HREF, "http://h.example.com/movie.mpeg", "mpg", false, 0},
        {"http://h.example.com/show?id=5", HREF, "http://h.example.com/show?id=5", "htm", true, 1},
        {"http://h.example.com/a.b/file", HREF, "http://h.example.com/a.b/file", "htm", true, 1},
        {"http://intranet/page", HREF, "", "", false, -1},
        {"ftp://h.example.com/f.zip", HREF, "", "", false, -1},
        {"http://h.example.com/x.html#top", HREF, "http://h.example.com/x.html", "htm", true, 1},
        {"/root.php", HREF, "http://h.example.com/root.php", "htm", true, 1},
        {"../up/file.zip", HREF, "http://h.example.com/up/file.zip", "zip", false, 0},
        {"page2.html", HREF, "", "", false, 1}, // met before: not reported again
    };
    Rules r;
    size_t reportedBefore = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.link);
        const size_t queuedBefore = r.queued().size();
        r.link(c.link, c.kind);
        if (*c.url) {
            ASSERT_EQ(r.reported.size(), reportedBefore + 1);
            const Reported &got = r.reported.back();
            EXPECT_EQ(got.url, c.url);
            EXPECT_EQ(got.type, c.type);
            EXPECT_EQ(got.from, "http://h.example.com/dir/index.html");
            EXPECT_EQ(got.hrefOrSrc, c.kind == HREF ? 'H' : 'S');
            ++reportedBefore;
        } else {
            EXPECT_EQ(r.reported.size(), reportedBefore) << "dropped";
        }
        EXPECT_EQ(r.queued().size(), queuedBefore + (c.queued ? 1 : 0));
        if (c.queued) {
            const auto &row = r.s.Dwnld->Queue.List.back();
            EXPECT_EQ(row.Object.DepthSearchLevel, 2);
            EXPECT_EQ(row.Object.Referer, "http://h.example.com/dir/index.html");
        }
        if (*c.url && std::string(c.type) != "mail") {
            EXPECT_EQ(r.doneFlag(c.url), c.flag);
        }
    }
    // The mail link carries no host or path parts.
    const Reported &mail = r.reported.front();
    EXPECT_TRUE(mail.host.empty() && mail.path.empty() && mail.pathWithFile.empty() && mail.extra.empty());
    // An http link does.
    const Reported &show = r.reported[6];
    EXPECT_EQ(show.host, "h.example.com");
    EXPECT_EQ(show.pathWithFile, "/show");
    EXPECT_EQ(show.extra, "?id=5");
    // Every reported link has its results line, once.
    const auto lines = r.resultLines();
    ASSERT_EQ(lines.size(), reportedBefore);
    EXPECT_EQ(lines[0], "\"mail\";\"joe@h.example.com\"");
    EXPECT_EQ(lines[2], "\"jpg\";\"http://h.example.com/pics/a.jpg\"");
}

TEST(LinkRules, RelativeLinksOnAPathWithoutDotResolveInsideIt)
{
    Rules r("http://h.example.com/", "http://h.example.com:8080/gallery/summer");
    r.link("beach.html");
    ASSERT_EQ(r.reported.size(), 1u);
    EXPECT_EQ(r.reported[0].url, "http://h.example.com:8080/gallery/summer/beach.html");
}

TEST(LinkRules, KeywordFilterAndLimiter)
{
    {
        Rules r;
        r.s.KeywordsFilterEnabled = true; // with its default entries
        r.link("http://h.example.com/counter.gif");
        r.link("http://h.example.com/cat.gif");
        ASSERT_EQ(r.reported.size(), 1u);
        EXPECT_EQ(r.reported[0].url, "http://h.example.com/cat.gif");
    }
    {
        Rules r;
        r.s.SetKeywordsLimiter("Cats");
        r.s.KeywordsLimiterEnabled = true;
        r.link("http://h.example.com/dogs.html");
        r.link("http://h.example.com/CATS/index.html");
        ASSERT_EQ(r.reported.size(), 1u);
        EXPECT_EQ(r.reported[0].url, "http://h.example.com/CATS/index.html");
        EXPECT_EQ(r.queued().size(), 1u);
    }
}

TEST(LinkRules, TypeFilterNarrowsTheHandlerButNotTheResultsFile)
{
    Rules r;
    r.s.TypeFilterEnabled = true; // its default entry is gif
    r.link("http://h.example.com/a.gif");
    r.link("http://h.example.com/b.jpg");
    r.link("next.html");
    ASSERT_EQ(r.reported.size(), 1u);
    EXPECT_EQ(r.reported[0].type, "gif");
    EXPECT_EQ(r.resultLines(), (std::vector<std::string>{"\"gif\";\"http://h.example.com/a.gif\"",
                                                         "\"jpg\";\"http://h.example.com/b.jpg\"",
                                                         "\"htm\";\"http://h.example.com/dir/next.html\""}));
    EXPECT_EQ(r.queued().size(), 1u) << "following does not depend on the type filter";
}

TEST(LinkRules, ScopeOfFollowingAndOfReporting)
{
    {
        Rules r("http://pics.example.com/dir/index.html");
        r.s.LinkScan = scanInitialSite;
        r.link("http://images.example.com/page.html");
        r.link("http://other.org/page.html");
        EXPECT_EQ(r.queued(), std::vector<std::string>{"http://images.example.com/page.html"});
        EXPECT_EQ(r.reported.size(), 2u) << "reporting is a scope of its own";
    }
    {
        Rules r("http://pics.example.com/dir/");
        r.s.LinkScan = scanInitialPath;
        r.link("http://www.example.com/dir/deeper/page.html");
        r.link("http://pics.example.com/other/page.html");
        r.link("http://other.org/dir/page.html");
        EXPECT_EQ(r.queued(), std::vector<std::string>{"http://www.example.com/dir/deeper/page.html"});
    }
    {
        // The page's path is its UrlPath, file name included when it has one.
        Rules r("http://pics.example.com/dir/");
        r.s.LinkReport = reportCurrentPathLinks;
        r.link("http://pics.example.com/dir/a.gif");
        r.link("http://pics.example.com/elsewhere/b.gif");
        ASSERT_EQ(r.reported.size(), 1u);
        EXPECT_EQ(r.resultLines().size(), 1u) << "an unreported link writes no line";
        EXPECT_EQ(r.doneFlag("http://pics.example.com/elsewhere/b.gif"), 0) << "but it is remembered";
    }
}

TEST(LinkRules, QueueBoundDepthAndStoppingStopFollowingButNotReporting)
{
    {
        Rules r;
        r.s.SetMaxQueueSize(10);
        for (int i = 0; i < 15; ++i)
            r.link("p" + std::to_string(i) + ".html");
        EXPECT_EQ(r.reported.size(), 15u);
        EXPECT_EQ(r.s.Dwnld->QueueCount(), 10) << "the start address and nine pages";
        EXPECT_EQ(r.doneFlag("http://h.example.com/dir/p14.html"), 1) << "refused, but remembered";
    }
    {
        Rules r;
        r.s.SetDepthSearchLevel(1);
        r.link("next.html");
        EXPECT_EQ(r.reported.size(), 1u);
        EXPECT_TRUE(r.queued().empty()) << "only the start page is fetched at depth 1";
    }
    {
        Rules r;
        r.s.StopHtml();
        r.link("next.html");
        EXPECT_EQ(r.reported.size(), 1u);
        EXPECT_TRUE(r.queued().empty());
    }
}

TEST(LinkRules, TheHandlerCanVetoFollowingAndReplaceTheResultsLine)
{
    Rules r;
    r.veto = true;
    r.link("vetoed.html");
    EXPECT_TRUE(r.queued().empty());
    EXPECT_EQ(r.doneFlag("http://h.example.com/dir/vetoed.html"), 0) << "stays remembered, never followed";
    r.link("vetoed.html");
    EXPECT_EQ(r.reported.size(), 1u);

    r.veto = false;
    r.answerWrite = "";
    r.link("silent.html");
    r.answerWrite = "custom line";
    r.link("custom.html");
    EXPECT_EQ(r.queued().size(), 2u);
    EXPECT_EQ(r.resultLines(), (std::vector<std::string>{"\"htm\";\"http://h.example.com/dir/vetoed.html\"",
                                                         "custom line"}));
}

TEST(LinkRules, RobotsTxtOfANewHostIsQueuedBeforeItsFirstPage)
{
    Rules r;
    r.s.SeekRobotsTxt = true;
    r.link("http://new.example.org/a.html");
    r.link("http://new.example.org/b.html");
    r.link("http://pics.example.net/a.gif"); // first link of this host is a picture
    r.link("http://pics.example.net/page.html");
    EXPECT_EQ(r.queued(), (std::vector<std::string>{"http://new.example.org/robots.txt", "http://new.example.org/a.html",
                                                    "http://new.example.org/b.html",
                                                    "http://pics.example.net/page.html"}));
    const auto &robots = r.s.Dwnld->Queue.List[1];
    EXPECT_EQ(robots.Object.Referer, "");
    EXPECT_EQ(robots.Object.RetriesDone, r.s.GetRetries()) << "a failed robots.txt is never retried";
}

TEST(LinkRules, NotHtmlHookSeesEveryFollowedHttpLink)
{
    Rules r;
    std::vector<std::pair<std::string, std::string>> seen;
    r.s.OnProcessNotHtmlLink = [&](const std::string &type, const std::string &url, const std::string &,
                                   const std::string &, char, int32_t, const std::string &, bool http) {
        EXPECT_TRUE(http);
        seen.emplace_back(type, url);
    };
    r.link("http://h.example.com/a.gif");
    r.link("b.html");
    r.link("mailto:x@y.example");
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, std::string>>{
                        {"gif", "http://h.example.com/a.gif"}, {"htm", "http://h.example.com/dir/b.html"}}));
}

} // namespace
