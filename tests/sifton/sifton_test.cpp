// The crawler component: properties, Start/Stop/Exit, the timer tick and its guards, the
// scheduler callbacks and the results file. The 200 ms timer is stopped and the tests step
// OnTimer by hand; crawls run against a local server.
#include "sifton/sifton.h"
#include "tests/support/events.h"
#include "tests/support/httpserver.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <QTimer>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <unistd.h>

using testsupport::HttpServer;
using testsupport::Response;

namespace {

// Captures the start messages for one test.
struct Messages {
    std::vector<std::string> shown;
    Messages()
    {
        SetShowMessageHook([this](const std::string &t) { shown.push_back(t); });
    }
    ~Messages() { SetShowMessageHook(nullptr); }
};

struct Component {
    TSifton s;
    Component()
    {
        s.Timer->stop();
        s.ResultFile = RESULTS_NOTHING;
    }
    // Ticks until the crawl is over (or `limit` ticks passed), serving events in between.
    bool runToEnd(int limit = 100000)
    {
        for (int i = 0; i < limit && s.Working(); ++i) {
            s.OnTimer();
            testsupport::serveEventsFor(std::chrono::milliseconds(1));
        }
        return !s.Working();
    }
};

std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

TEST(Sifton, Defaults)
{
    TSifton s;
    EXPECT_TRUE(s.Timer->isActive());
    EXPECT_EQ(s.Timer->interval(), 200);
    EXPECT_EQ(s.GetAgent(), "Mozilla/4.0 (compatible; MSIE 5.0; Windows NT; DigExt)");
    EXPECT_EQ(s.Dwnld->Agent, s.GetAgent());
    EXPECT_EQ(s.GetTimeOut(), 300);
    EXPECT_EQ(s.Dwnld->TimeOut, 300);
    EXPECT_EQ(s.GetRetries(), 3);
    EXPECT_EQ(s.GetDepthSearchLevel(), 3);
    EXPECT_EQ(s.GetConcurrentDownloads(), 6);
    EXPECT_EQ(s.GetMaxQueueSize(), 5000);
    EXPECT_EQ(s.GetProxyType(), PROXY_DEFAULT);
    EXPECT_EQ(s.GetProxyPort(), 80);
    EXPECT_EQ(s.HttpPort, 80);
    EXPECT_EQ(s.ResultFile, RESULTS_FILEOFRESULTS);
    EXPECT_EQ(s.GetFileOfResults(), "c:\\results.txt");
    EXPECT_EQ(s.LinkScan, scanAllLinks);
    EXPECT_EQ(s.LinkReport, reportAllLinks);
    EXPECT_FALSE(s.GetLeavesFirst());
    EXPECT_FALSE(s.GetLogsEnabled());
    EXPECT_EQ(s.Dwnld->Tag, 1);
    EXPECT_EQ(s.GetTypeFilter(), "gif\r\n");
    EXPECT_EQ(s.GetKeywordsFilter(), "count\r\nhitbox\r\nreferer\r\nstat\r\ntrack\r\n");
    EXPECT_EQ(s.GetKeywordsLimiter(), "");
    EXPECT_EQ(s.UrlsDone.Capacity(), 32000);
    EXPECT_EQ(s.RobotsHosts.Capacity(), 10000);
    EXPECT_EQ(s.GetActionForHtmlPages(), STORE_TO_DATASTRING);
    EXPECT_FALSE(s.Working());
    EXPECT_FALSE(s.Stopping());
    EXPECT_FALSE(s.IsExiting());
}

TEST(Sifton, OutOfRangeValuesAreIgnored)
{
    TSifton s;
    s.SetTimeOut(9);
    s.SetMaxQueueSize(9);
    s.SetRetries(0);
    s.SetDepthSearchLevel(0);
    s.SetConcurrentDownloads(0);
    EXPECT_EQ(s.GetTimeOut(), 300);
    EXPECT_EQ(s.GetMaxQueueSize(), 5000);
    EXPECT_EQ(s.GetRetries(), 3);
    EXPECT_EQ(s.Dwnld->RetryCount, 3);
    EXPECT_EQ(s.GetDepthSearchLevel(), 3);
    EXPECT_EQ(s.GetConcurrentDownloads(), 6);

    s.SetTimeOut(10);
    s.SetMaxQueueSize(10);
    s.SetRetries(1);
    s.SetDepthSearchLevel(1);
    s.SetConcurrentDownloads(10);
    EXPECT_EQ(s.Dwnld->TimeOut, 10);
    EXPECT_EQ(s.GetMaxQueueSize(), 10);
    EXPECT_EQ(s.Dwnld->RetryCount, 1);
    EXPECT_EQ(s.Dwnld->DepthSearchLevel, 1);
    EXPECT_EQ(s.Dwnld->Concurrency, 10);
}

TEST(Sifton, SettersReachTheScheduler)
{
    TSifton s;
    s.SetAgent("A/1");
    s.SetUserName("u");
    s.SetPassword("p");
    s.SetProxyType(PROXY_USEPROXY);
    s.SetProxyAddress("proxy.test");
    s.SetProxyPort(3128);
    s.SetProxyUser("pu");
    s.SetProxyPassword("pp");
    s.SetLeavesFirst(true);
    EXPECT_EQ(s.Dwnld->Agent, "A/1");
    EXPECT_EQ(s.Dwnld->UserName, "u");
    EXPECT_EQ(s.Dwnld->Password, "p");
    EXPECT_EQ(s.Dwnld->ProxyType, PROXY_USEPROXY);
    EXPECT_EQ(s.Dwnld->ProxyAddress, "proxy.test");
    EXPECT_EQ(s.Dwnld->ProxyPort, 3128);
    EXPECT_EQ(s.Dwnld->ProxyUser, "pu");
    EXPECT_EQ(s.Dwnld->ProxyPassword, "pp");
    EXPECT_TRUE(s.Dwnld->LeavesFirst);
}

TEST(Sifton, FileOfResultsRule)
{
    TSifton s;
    s.SetFileOfResults("results.txt");
    EXPECT_EQ(s.GetFileOfResults(), QDir::currentPath().toStdString() + "/Download/results.txt");
    s.SetFileOfResults("/d/x.txt");
    EXPECT_EQ(s.GetFileOfResults(), "/d/x.txt");
    s.SetFileOfResults("");
    EXPECT_EQ(s.GetFileOfResults(), "");
}

TEST(Sifton, FilterTextsAreLowerCasedAndSorted)
{
    TSifton s;
    s.SetKeywordsFilter("Zeta\r\n\r\nALPHA\nmid");
    EXPECT_EQ(s.GetKeywordsFilter(), "alpha\r\nmid\r\nzeta\r\n");
    s.SetTypeFilter("JPG\ngif");
    EXPECT_EQ(s.TypeFilter.Count(), 2);
    EXPECT_EQ(s.TypeFilter[0], "gif");
    s.SetKeywordsLimiter("");
    EXPECT_EQ(s.KeywordsLimiter.Count(), 0);
}

TEST(Sifton, SearchKeywordsAndClearUrlsDone)
{
    TSifton s;
    EXPECT_TRUE(s.SearchKeywords(s.KeywordsFilter, "http://h/COUNTER.gif"));
    EXPECT_FALSE(s.SearchKeywords(s.KeywordsFilter, "http://h/cats.gif"));
    EXPECT_FALSE(s.SearchKeywords(s.KeywordsLimiter, "http://h/anything"));

    int found, insert;
    for (const char *u : {"http://h/a.html", "http://h/b.jpg", "http://h/c.html", "http://h/d.gif"})
        (void)s.UrlsDone.Find(u, found, insert, true);
    ASSERT_TRUE(s.UrlsDone.Find("http://h/a.html", found, insert, false));
    s.UrlsDone.SetObjects(found, 1);
    ASSERT_TRUE(s.UrlsDone.Find("http://h/c.html", found, insert, false));
    s.UrlsDone.SetObjects(found, 1);
    s.ClearUrlsDoneIfNotHtml();
    EXPECT_EQ(s.UrlsDone.Text(), "http://h/a.html\r\nhttp://h/c.html\r\n");
}

TEST(Sifton, StartMessages)
{
    QTemporaryDir dir;
    struct Row {
        const char *name;
        TResultFile mode;
        std::string file, url, message;
    } rows[] = {
        {"no URL", RESULTS_NOTHING, "", "", "no URL specified"},
        {"no scheme", RESULTS_NOTHING, "", "pics.example.com", "Invalid Url : pics.example.com"},
        {"results folder missing", RESULTS_FILEOFRESULTS, dir.path().toStdString() + "/missing/r.txt",
         "http://127.0.0.1:1/", "unable to create file: " + dir.path().toStdString() + "/missing/r.txt"},
        {"dated results file without a Download folder", RESULTS_CREATE_DATETIME, "", "http://127.0.0.1:1/",
         "unable to create file: " + QDir::currentPath().toStdString() + "/Download/"},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        Messages messages;
        Component c;
        c.s.ResultFile = r.mode;
        c.s.SetFileOfResults(r.file);
        if (r.mode == RESULTS_CREATE_DATETIME && QDir("Download").exists())
            continue; // the current folder has a Download folder: this row cannot fail here
        EXPECT_FALSE(c.s.Start(r.url));
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].substr(0, r.message.size()), r.message);
        EXPECT_EQ(c.s.Dwnld->QueueCount(), 0) << "nothing is queued";
        EXPECT_FALSE(c.s.Working());
        EXPECT_FALSE(c.s.InStart);
    }
}

TEST(Sifton, StartQueuesOnceAndAddsNewAddresses)
{
    Messages messages;
    Component c;
    std::vector<bool> working;
    c.s.OnWorking = [&](TKvDwnld *sender, bool w) {
        EXPECT_EQ(sender, c.s.Dwnld.get());
        working.push_back(w);
    };
    c.s.InitialReferringUrl = "http://ref.test/";
    ASSERT_TRUE(c.s.Start("http://127.0.0.1:1/a/"));
    EXPECT_EQ(working, std::vector<bool>{true});
    ASSERT_TRUE(c.s.Start("http://127.0.0.1:1/a/"));
    ASSERT_EQ(c.s.Dwnld->QueueCount(), 1);
    ASSERT_TRUE(c.s.Start("http://127.0.0.1:1/b/"));
    ASSERT_EQ(c.s.Dwnld->QueueCount(), 2);
    const auto &row = c.s.Dwnld->Queue.List[1];
    EXPECT_EQ(row.Url, "http://127.0.0.1:1/b/");
    EXPECT_EQ(row.Object.DepthSearchLevel, 1);
    EXPECT_EQ(row.Object.LinkKind, ' ');
    EXPECT_EQ(row.Object.Referer, "http://ref.test/");
    EXPECT_EQ(row.Object.GetAction, STORE_TO_DATASTRING);
    int found, insert;
    ASSERT_TRUE(c.s.UrlsDone.Find("http://127.0.0.1:1/b/", found, insert, false));
    EXPECT_EQ(c.s.UrlsDone.Objects(found), 1);
    EXPECT_TRUE(messages.shown.empty());

    // Without an initial referrer the start address refers to itself.
    c.s.InitialReferringUrl.clear();
    ASSERT_TRUE(c.s.Start("http://127.0.0.1:1/c/"));
    EXPECT_EQ(c.s.Dwnld->Queue.List[2].Object.Referer, "http://127.0.0.1:1/c/");
}

TEST(Sifton, HttpPortReplacesPort80OfTheStartRecord)
{
    Component c;
    c.s.HttpPort = 8080;
    ASSERT_TRUE(c.s.Start("http://h.test/"));
    EXPECT_EQ(c.s.StartUrl.Port(), 8080);
    EXPECT_EQ(c.s.Dwnld->Queue.List[0].Url, "http://h.test/") << "the address text is unchanged";
}

TEST(Sifton, StopTwice)
{
    Component c;
    EXPECT_FALSE(c.s.Stop()) << "not working";
    ASSERT_TRUE(c.s.Start("http://127.0.0.1:1/"));
    EXPECT_TRUE(c.s.Stop());
    EXPECT_TRUE(c.s.Stopping());
    EXPECT_FALSE(c.s.Stop());
    EXPECT_TRUE(c.runToEnd());
    EXPECT_FALSE(c.s.Stopping()) << "the scheduler clears Aborting when it stops";
}

TEST(Sifton, GuardsAreClearedWhenAHandlerThrows)
{
    Component c;
    // From the message hook.
    SetShowMessageHook([](const std::string &) { throw std::runtime_error("box failed"); });
    EXPECT_THROW((void)c.s.Start(""), std::runtime_error);
    SetShowMessageHook(nullptr);
    EXPECT_FALSE(c.s.InStart);

    // From a tick.
    c.s.OnHeritedTimer = [](TSifton *, bool) { throw std::runtime_error("tick failed"); };
    EXPECT_THROW(c.s.OnTimer(), std::runtime_error);
    EXPECT_FALSE(c.s.InTimer);
    int ticks = 0;
    c.s.OnHeritedTimer = [&](TSifton *, bool aborting) {
        EXPECT_FALSE(aborting);
        ++ticks;
    };
    c.s.OnTimer();
    EXPECT_EQ(ticks, 1) << "later ticks still run";
}

TEST(Sifton, ReentryIsRefused)
{
    Component c;
    int inner = 0;
    c.s.OnHeritedTimer = [&](TSifton *, bool) {
        ++inner;
        c.s.OnTimer(); // ignored: a tick is in progress
    };
    c.s.OnTimer();
    EXPECT_EQ(inner, 1);

    Messages messages;
    bool innerResult = false;
    SetShowMessageHook([&](const std::string &) { innerResult = c.s.Start("http://127.0.0.1:1/x/"); });
    EXPECT_FALSE(c.s.Start(""));
    SetShowMessageHook(nullptr);
    EXPECT_TRUE(innerResult) << "a Start inside a Start returns true at once";
    EXPECT_EQ(c.s.Dwnld->QueueCount(), 0) << "and does nothing";
}

// A small site: the start page links to a second page.
struct Site {
    HttpServer server;
    Site()
    {
        server.route("/", Response::html("<html><head><title>Start</title></head>"
                                         "<a href=\"/second.html\">2</a><img src=\"/a.gif\"></html>"));
        server.route("/second.html", Response::html("<a href=x.html>x</a>"));
    }
};

TEST(Sifton, CrawlRaisesPagesStatsAndEndsWithEmptyLists)
{
    Site site;
    Component c;
    std::vector<std::string> order;
    c.s.OnWorking = [&](TKvDwnld *, bool w) { order.push_back(w ? "working" : "idle"); };
    c.s.OnPageReceived = [&](TSifton *sender, const std::string &host, const std::string &url, const std::string &head,
                             const std::string &body) {
        EXPECT_EQ(sender, &c.s);
        EXPECT_EQ(host, "127.0.0.1");
        EXPECT_NE(head.find("200"), std::string::npos);
        if (url == site.server.url("/")) {
            EXPECT_NE(body.find("second.html"), std::string::npos) << "the body as received";
        }
        order.push_back("page " + url);
    };
    int stats = 0;
    int lastDone = -1;
    c.s.OnUpdatedStats = [&](TSifton *sender, int, int, int, int done, int, int) {
        EXPECT_EQ(sender, &c.s);
        lastDone = done;
        ++stats;
    };
    std::vector<std::pair<std::string, char>> extracted;
    c.s.OnLinkExtracted = [&](TKvHttpGet *, const std::string &link, char kind, int32_t) {
        extracted.emplace_back(link, kind);
    };
    const std::string start = site.server.url("/");
    ASSERT_TRUE(c.s.Start(start));
    ASSERT_TRUE(c.runToEnd());
    EXPECT_EQ(order, (std::vector<std::string>{"working", "page " + start, "page " + site.server.url("/second.html"),
                                               "idle"}));
    EXPECT_GT(stats, 0);
    EXPECT_EQ(lastDone, 2);
    ASSERT_EQ(extracted.size(), 3u);
    EXPECT_EQ(extracted[0], std::make_pair(std::string("/second.html"), char(MARK_HREF)));
    EXPECT_EQ(extracted[1], std::make_pair(std::string("/a.gif"), char(MARK_SRC)));
    EXPECT_EQ(extracted[2], std::make_pair(std::string("x.html"), char(MARK_HREF)));
    EXPECT_EQ(c.s.UrlsDone.Count(), 0);
    EXPECT_EQ(c.s.RobotsHosts.Count(), 0);

    // The same address again: the lists were emptied, so it is crawled again.
    order.clear();
    ASSERT_TRUE(c.s.Start(start));
    ASSERT_TRUE(c.runToEnd());
    EXPECT_EQ(order, (std::vector<std::string>{"working", "page " + start, "page " + site.server.url("/second.html"),
                                               "idle"}));
    EXPECT_EQ(site.server.requestsFor("/").size(), 2u);
}

TEST(Sifton, FetchErrorsReachOnErrorWithTheScheduler)
{
    HttpServer server;
    server.route("/gone", Response::html("no", 404));
    Component c;
    std::vector<std::pair<std::string, uint32_t>> errors;
    c.s.OnError = [&](TKvDwnld *sender, const std::string &url, uint32_t code, const std::string &) {
        EXPECT_EQ(sender, c.s.Dwnld.get());
        errors.emplace_back(url, code);
    };
    ASSERT_TRUE(c.s.Start(server.url("/gone")));
    ASSERT_TRUE(c.runToEnd());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].first, server.url("/gone"));
    EXPECT_EQ(errors[0].second, 404u);
}

TEST(Sifton, LogsOnlyWhenEnabled)
{
    Site site;
    Component c;
    std::vector<std::string> logs;
    c.s.OnLog = [&](TSifton *, const std::string &line) { logs.push_back(line); };
    ASSERT_TRUE(c.s.Start(site.server.url("/")));
    ASSERT_TRUE(c.runToEnd());
    EXPECT_TRUE(logs.empty());

    c.s.SetLogsEnabled(true);
    ASSERT_TRUE(c.s.Start(site.server.url("/")));
    ASSERT_TRUE(c.runToEnd());
    bool pageLine = false, headLine = false, prefixed = false;
    for (const auto &l : logs) {
        pageLine |= l == "page received, processing:" + site.server.url("/");
        headLine |= l == "html head complete (200):" + site.server.url("/");
        prefixed |= l.rfind("HTML: ", 0) == 0;
    }
    EXPECT_TRUE(pageLine);
    EXPECT_TRUE(headLine);
    EXPECT_TRUE(prefixed);

    logs.clear();
    c.s.SetLogsEnabled(false);
    ASSERT_TRUE(c.s.Start(site.server.url("/")));
    ASSERT_TRUE(c.runToEnd());
    EXPECT_TRUE(logs.empty());
}

TEST(Sifton, LogPrefixes)
{
    TSifton s;
    s.Timer->stop();
    std::vector<std::string> logs;
    s.OnLog = [&](TSifton *, const std::string &line) { logs.push_back(line); };
    s.SetLogsEnabled(true);
    TKvDwnld other;
    TKvHttpGet getter;
    s.OnLogDwnld(s.Dwnld.get(), "a");
    s.OnLogDwnld(&other, "b");
    s.OnLogDwnld(&getter, "c");
    s.Dwnld->Aborting = true;
    s.OnLogDwnld(s.Dwnld.get(), "dropped while stopping");
    EXPECT_EQ(logs, (std::vector<std::string>{"HTML: a", "OTHER: b", "HTML: c"}));
}

TEST(Sifton, ExitDuringACrawl)
{
    HttpServer server;
    server.route("/", Response::silence());
    Component c;
    int terminated = 0;
    c.s.Terminate = [&] { ++terminated; };
    std::vector<std::string> events;
    c.s.OnWorking = [&](TKvDwnld *, bool w) { events.push_back(w ? "working" : "idle"); };
    c.s.OnUpdatedStats = [&](TSifton *, int, int, int, int, int, int) { events.push_back("stats"); };
    c.s.OnError = [&](TKvDwnld *, const std::string &, uint32_t, const std::string &) { events.push_back("error"); };
    c.s.OnPageReceived = [&](TSifton *, const std::string &, const std::string &, const std::string &,
                             const std::string &) { events.push_back("page"); };
    ASSERT_TRUE(c.s.Start(server.url("/")));
    // Let the fetch begin.
    for (int i = 0; i < 3; ++i)
        c.s.OnTimer();
    events.clear();
    std::vector<bool> aborting;
    c.s.OnHeritedTimer = [&](TSifton *, bool a) { aborting.push_back(a); };

    c.s.Exit();
    EXPECT_TRUE(c.s.IsExiting());
    EXPECT_TRUE(c.s.Stopping());
    EXPECT_EQ(c.s.ExitCountdown, 10);
    EXPECT_FALSE(c.s.Dwnld->AddInQueue("http://127.0.0.1:1/", "", 1, 0, ' ', STORE_TO_DATASTRING, 0, false, -1))
        << "no further address is accepted";
    for (int i = 0; i < 9; ++i) {
        c.s.OnTimer();
        testsupport::serveEventsFor(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(terminated, 0);
    EXPECT_TRUE(c.s.IsExiting());
    c.s.OnTimer();
    EXPECT_EQ(terminated, 1) << "ten ticks after Exit";
    EXPECT_FALSE(c.s.IsExiting());
    EXPECT_EQ(aborting, std::vector<bool>(10, true));
    c.s.OnTimer();
    EXPECT_EQ(terminated, 1);
    for (const auto &e : events)
        EXPECT_TRUE(e == "working" || e == "idle") << e;
}

TEST(Sifton, ResultsFileLinesAndClosing)
{
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/r.txt";
    {
        std::ofstream old(path);
        old << "old contents\n";
    }
    Site site;
    Component c;
    c.s.ResultFile = RESULTS_FILEOFRESULTS;
    c.s.SetFileOfResults(path);
    ASSERT_TRUE(c.s.Start(site.server.url("/")));
    EXPECT_TRUE(c.s.ResultsOpen);
    EXPECT_EQ(ReadFile(path), "") << "truncated by Start";
    c.s.WriteResultsLine(TSifton::DefaultResultsLine("jpg", "http://h/a.jpg"));
    c.s.WriteResultsLine("custom");
    EXPECT_EQ(ReadFile(path), "\"jpg\";\"http://h/a.jpg\"\r\ncustom\r\n") << "on disk line by line";
    ASSERT_TRUE(c.runToEnd());
    EXPECT_FALSE(c.s.ResultsOpen) << "closed at the end of the crawl";

    // Stop closes it at once.
    ASSERT_TRUE(c.s.Start(site.server.url("/")));
    EXPECT_TRUE(c.s.ResultsOpen);
    EXPECT_TRUE(c.s.Stop());
    EXPECT_FALSE(c.s.ResultsOpen);
    EXPECT_TRUE(c.runToEnd());
}

TEST(Sifton, ResultsFileWithDateName)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("Download"));
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    {
        Component c;
        c.s.ResultFile = RESULTS_CREATE_DATETIME;
        EXPECT_TRUE(c.s.Start("http://127.0.0.1:1/"));
        EXPECT_TRUE(c.s.ResultsOpen);
        const QStringList files = QDir(dir.path() + "/Download").entryList(QDir::Files);
        ASSERT_EQ(files.size(), 1);
        EXPECT_TRUE(files[0].endsWith(".txt"));
    }
    ASSERT_TRUE(QDir::setCurrent(previous));
}

TEST(Sifton, AFullDiskIsReportedNotHidden)
{
    if (::access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no /dev/full";
    Component c;
    c.s.ResultFile = RESULTS_FILEOFRESULTS;
    c.s.SetFileOfResults("/dev/full");
    ASSERT_TRUE(c.s.Start("http://127.0.0.1:1/"));
    ASSERT_TRUE(c.s.ResultsOpen);
    try {
        c.s.WriteResultsLine("\"gif\";\"http://h/a.gif\"");
        ADD_FAILURE() << "the write to a full disk passed as a success";
    } catch (const std::system_error &e) {
        EXPECT_EQ(e.code().value(), ENOSPC);
    }
    TResultsFile closed;
    EXPECT_THROW(closed.WriteLine("x"), std::system_error) << "writing without an open file";
}

TEST(Sifton, StatsAreMappedFromTheScheduler)
{
    TSifton s;
    s.Timer->stop();
    std::vector<int> published, inherited;
    s.OnUpdatedStats = [&](TSifton *, int a, int b, int c, int d, int e, int f) { published = {a, b, c, d, e, f}; };
    s.OnHeritedUpdatedStats = [&](TKvDwnld *, int tag, int a, int b, int c, int d, int e, int f, int g) {
        inherited = {tag, a, b, c, d, e, f, g};
    };
    s.DwnldStats(s.Dwnld.get(), 1, 2, 3, 4, 5, 6, 7, 8);
    EXPECT_EQ(published, (std::vector<int>{2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(inherited, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
}

} // namespace
