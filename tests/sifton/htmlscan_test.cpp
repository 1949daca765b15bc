// The page analysis: normalising, marking and the link pass, run through the component's
// page-received handler on pages handed over by hand (no network: the timer is stopped and
// the scheduler never ticks). A seam records every link handed to the link rules.
#include "sifton/sifton.h"

#include <gtest/gtest.h>

#include <QTimer>

#include <random>
#include <string>
#include <vector>

namespace {

struct Link {
    char kind;
    std::string link;
    std::string pageUrl; // the page address at the time of the call
    friend bool operator==(const Link &, const Link &) = default;
};

std::ostream &operator<<(std::ostream &os, const Link &l)
{
    return os << "{" << int(l.kind) << ", " << l.link << ", " << l.pageUrl << "}";
}

struct Crawler {
    TSifton sifton;
    Crawler()
    {
        sifton.Timer->stop();
        // Pages are analysed without an event loop here; yields still run, and are counted.
        sifton.ProcessMessages = [this] { ++yields; };
        sifton.OnLinkExtracted = [this](TKvHttpGet *PtGet, const std::string &link, char kind, int32_t area) {
            recorded.push_back({PtGet->Url.Url(), link, kind, area});
        };
    }
    // Analyses `body` as the page `url` and returns the links handed on.
    std::vector<Link> analyse(const std::string &url, const std::string &body, int depth = 2)
    {
        TKvHttpGet get;
        (void)get.Url.CrackUrl(url, "");
        get.DataString = body;
        get.DepthSearchLevel = depth;
        get.Referer = "http://referrer.test/";
        recorded.clear();
        sifton.HtmlPageReceived(sifton.Dwnld.get(), &get, false);
        std::vector<Link> links;
        for (const auto &r : recorded)
            links.push_back({r.Kind, r.Link, r.PageUrl});
        return links;
    }
    struct Recorded {
        std::string PageUrl, Link;
        char Kind;
        int32_t CountArea;
    };
    std::vector<Recorded> recorded; // every link handed to the link rules
    int yields = 0;
};

struct PageCase {
    const char *name;
    const char *url;
    std::string body;
    std::vector<Link> expected;
};

TEST(HtmlScan, LinksOfSmallPages)
{
    const std::string p = "http://h/dir/page.html";
    const std::vector<PageCase> cases = {
        {"anchor with quoted value", p.c_str(), "<a href = \"http://h/x.html\">x</a>", {{4, "http://h/x.html", p}}},
        {"anchor across a line break", p.c_str(), "<a\nhref=\"x.html\">x</a>", {}},
        {"anchor with CR LF inside the value", p.c_str(), "<a href=\"x.ht\r\nml\">x</a>", {{4, "x.html", p}}},
        {"image source", p.c_str(), "<img src='pics/a.jpg' alt=x>", {{6, "pics/a.jpg", p}}},
        {"base href changes the page address for later links",
         p.c_str(),
         "<base href=\"http://other.test/b/\"><a href=\"y.html\">y</a>",
         {{7, "http://other.test/b/", "http://other.test/b/"}, {4, "y.html", "http://other.test/b/"}}},
        {"openWin argument", p.c_str(), "<a href=\"javascript:openWin('x.html')\">x</a>", {{4, "x.html", p}}},
        {"top.window value", p.c_str(), "<a href=\"javascript:top.window.location='x.html'\">x</a>", {}},
        {"option value that is a path", p.c_str(), "<option value=\"/a/b.htm\">b</option>", {{5, "/a/b.htm", p}}},
        {"option value that is a word", p.c_str(), "<option value=\"red\">r</option>", {}},
        {"option value with a blank", p.c_str(), "<option value=\"a b/c\">r</option>", {}},
        {"href of a lone =", p.c_str(), "<a href=\"=\">x</a>", {}},
        {"href with +", p.c_str(), "<a href=\"a+b.html\">x</a>", {}},
        {"href with [", p.c_str(), "<a href=\"a[1].html\">x</a>", {}},
        {"no pattern at all", p.c_str(), "<p>hello <b>world</b></p>", {}},
        {"two anchors without a close", p.c_str(), "<a href=1.html>one<a href=2.html>two",
         {{4, "1.html", p}, {4, "2.html", p}}},
        {"upper and mixed case", p.c_str(), "<A HrEf=\"Up.HTML\">x</A><IMG SRC=I.GIF>",
         {{4, "Up.HTML", p}, {6, "I.GIF", p}}},
        {"frame source", p.c_str(), "<frameset><frame src=\"f.html\"></frameset>", {{6, "f.html", p}}},
        {"value cut at <", p.c_str(), "<a href=x.html<b>bold</b>", {{4, "x.html", p}}},
        {"unterminated value at the end", p.c_str(), "<a href=\"x.html", {}},
        {"unterminated tag before the next", p.c_str(), "<a href=\"x.html <img src=y.gif>",
         {{4, "x.html", p}, {6, "y.gif", p}}},
        {"robots file as a page", "http://h/robots.txt", "User-agent: *", {{' ', "http://h/robots.txt",
                                                                             "http://h/robots.txt"}}},
        {"robots file with links, handed over first", "http://h/ROBOTS.TXT", "<a href=a.html>",
         {{' ', "http://h/ROBOTS.TXT", "http://h/ROBOTS.TXT"}, {4, "a.html", "http://h/ROBOTS.TXT"}}},
    };
    for (const PageCase &c : cases) {
        SCOPED_TRACE(c.name);
        Crawler crawler;
        EXPECT_EQ(crawler.analyse(c.url, c.body), c.expected);
    }
}

TEST(HtmlScan, NormalizeMarkup)
{
    struct Row {
        const char *in;
        bool quotes, lineFeeds;
        const char *out;
    } rows[] = {
        {"<a  href = \"x.html\" >", true, false, "<a href=x.html >"},
        {"<a  href = \"x.html\" >", false, false, "<a href=\"x.html\" >"},
        {"a\tb\rc\nd", false, false, "abcd"},
        {"a\nb", false, true, "a b"},
        {"x='a,b'", true, false, "x=a b "},
        {"   ", true, false, " "},
        {"", true, true, ""},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.in);
        EXPECT_EQ(NormalizeMarkup(r.in, r.quotes, r.lineFeeds), r.out);
    }
}

TEST(HtmlScan, MarkersAndTheirPositions)
{
    std::string text = "<A HREF=x>y</A><BASE HREF=b><img src=s><option value=v>";
    ASSERT_TRUE(LocalizeHrefSrc(text));
    // Checked byte by byte where it matters.
    EXPECT_EQ(text[1], MARK_AREA_OPEN);
    EXPECT_EQ(text[7], MARK_HREF);
    EXPECT_EQ(text[14], MARK_AREA_CLOSE);
    EXPECT_EQ(text[text.find("HREF", 15) + 4], MARK_BASEHREF);
    EXPECT_EQ(text[text.find("src") + 3], MARK_SRC);
    EXPECT_EQ(text[text.find("<optio") + 6], MARK_AREA_OPEN) << "the marker sits on the last letter";
    EXPECT_EQ(text[text.find("value") + 5], MARK_VALUE);

    std::string none = "<p>HREF=x (no blank before)</p>";
    const std::string before = none;
    EXPECT_FALSE(LocalizeHrefSrc(none));
    EXPECT_EQ(none, before);

    // The restart after a mismatch looks only at the first character: "<<A" still opens.
    std::string restart = "<<A";
    EXPECT_TRUE(LocalizeHrefSrc(restart));
    EXPECT_EQ(restart[2], MARK_AREA_OPEN);
}

TEST(HtmlScan, PostLocalizeClosesAnOpenAreaBeforeTheNext)
{
    std::string text = NormalizeMarkup("<a href=1.html>one<a href=2.html>two</a>", true, false);
    ASSERT_TRUE(LocalizeHrefSrc(text));
    const size_t second = text.find('\x0e', 2);
    ASSERT_NE(second, std::string::npos);
    KvSiftonPostLocalizeHrefSrc(text);
    EXPECT_EQ(text[second - 1], MARK_AREA_CLOSE) << "the < of the second anchor";
    EXPECT_EQ(text[second], MARK_AREA_OPEN);

    // At positions 1 and 2 nothing can be overwritten.
    std::string edge = "\x0e\x0e";
    KvSiftonPostLocalizeHrefSrc(edge);
    EXPECT_EQ(edge, "\x0e\x0e");
    std::string run = "x\x0e\x0e\x0e";
    KvSiftonPostLocalizeHrefSrc(run);
    EXPECT_EQ(run, "x\x10\x10\x0e");
}

TEST(HtmlScan, AreasAreCountedAndAReplacedStepCanSetTheInAreaFlag)
{
    Crawler crawler;
    const int before = crawler.sifton.AreaCount;
    (void)crawler.analyse("http://h/", "<a href=1.html>1</a><a href=2.html>2</a>");
    EXPECT_EQ(crawler.sifton.AreaCount, before + 2);
    for (const auto &r : crawler.recorded)
        EXPECT_EQ(r.CountArea, 0) << "the default step never sets the in-area flag";

    // A descendant's step turns every area opening into the in-area kind.
    crawler.sifton.OnPostLocalizeHrefSrc = [](std::string &body) {
        for (char &c : body)
            if (c == MARK_AREA_OPEN)
                c = MARK_AREA_OPEN_IN;
    };
    (void)crawler.analyse("http://h/", "<a href=1.html>1</a><a href=2.html>2</a>");
    ASSERT_EQ(crawler.recorded.size(), 2u);
    EXPECT_EQ(crawler.recorded[0].CountArea, before + 3);
    EXPECT_EQ(crawler.recorded[1].CountArea, before + 4);
}

TEST(HtmlScan, PlainLinksAndPathValues)
{
    EXPECT_TRUE(IsPlainLink(""));
    EXPECT_TRUE(IsPlainLink("a/b.html?x=1"));
    for (const char *bad : {"a(b", "a)b", "a+b", "a[b", "a]b"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(IsPlainLink(bad));
    }
    EXPECT_TRUE(IsPathValue("/a/b.htm"));
    EXPECT_FALSE(IsPathValue("red"));
    EXPECT_FALSE(IsPathValue("a b/c"));
    EXPECT_FALSE(IsPathValue("a;/b"));
}

struct MetaEvent {
    std::string url, referer, type, a1, v1, a2, v2, a3, v3;
};

struct MetaCrawler : Crawler {
    std::vector<MetaEvent> metas;
    MetaCrawler()
    {
        sifton.OnMetaTag = [this](TSifton *, const std::string &url, const std::string &ref, const std::string &type,
                                  const std::string &a1, const std::string &v1, const std::string &a2,
                                  const std::string &v2, const std::string &a3, const std::string &v3) {
            metas.push_back({url, ref, type, a1, v1, a2, v2, a3, v3});
        };
    }
    [[nodiscard]] std::vector<std::string> queued() const
    {
        std::vector<std::string> urls;
        for (const auto &row : sifton.Dwnld->Queue.List)
            urls.push_back(row.Url);
        return urls;
    }
};

TEST(HtmlScan, HeadTitleAndMetaTagsAreReported)
{
    MetaCrawler c;
    (void)c.analyse("http://h/", "<html><HEAD>\n<title>My  Page</title>\n"
                                 "<meta name=\"Keywords\" content=\"Red Cars\">\n"
                                 "<link rel=stylesheet href=s.css>\n<script src=x.js></script>"
                                 "<meta a=1 b=2 c=3 d=4></head><body>x</body>");
    ASSERT_EQ(c.metas.size(), 3u);
    EXPECT_EQ(c.metas[0].type, "TITLE");
    EXPECT_EQ(c.metas[0].v1, "My Page");
    EXPECT_EQ(c.metas[0].url, "http://h/");
    EXPECT_EQ(c.metas[0].referer, "http://referrer.test/");
    EXPECT_EQ(c.metas[1].type, "META");
    EXPECT_EQ(c.metas[1].a1, "NAME");
    EXPECT_EQ(c.metas[1].v1, "Keywords");
    EXPECT_EQ(c.metas[1].a2, "CONTENT");
    EXPECT_EQ(c.metas[1].v2, "Red Cars");
    EXPECT_EQ(c.metas[2].type, "LINK");
    EXPECT_EQ(c.metas[2].a1, "REL");
    EXPECT_EQ(c.metas[2].v1, "STYLESHEET");
    EXPECT_EQ(c.metas[2].v2, "S.CSS");
    // SCRIPT has six letters; the META with a fourth attribute reports nothing.
}

TEST(HtmlScan, MetaRefreshIsQueuedAtThePagesOwnDepth)
{
    MetaCrawler c;
    (void)c.analyse("http://h/dir/",
                    "<head><meta http-equiv=\"refresh\" content=\"5; URL=next.html\"></head>", 2);
    ASSERT_EQ(c.metas.size(), 1u);
    EXPECT_EQ(c.metas[0].v2, "5; URLnext.html");
    ASSERT_EQ(c.queued(), std::vector<std::string>{"http://h/dir/next.html"});
    const auto &row = c.sifton.Dwnld->Queue.List[0];
    EXPECT_EQ(row.Object.DepthSearchLevel, 2);
    EXPECT_EQ(row.Object.LinkKind, 'H');
    EXPECT_EQ(row.Object.Referer, "http://h/dir/");
    int found = -1, insert = -1;
    ASSERT_TRUE(c.sifton.UrlsDone.Find("http://h/dir/next.html", found, insert, false));
    EXPECT_EQ(c.sifton.UrlsDone.Objects(found), 1);

    // Met again: already seen, not queued twice.
    (void)c.analyse("http://h/dir/", "<head><meta http-equiv=\"refresh\" content=\"5; URL=next.html\"></head>", 2);
    EXPECT_EQ(c.queued().size(), 1u);
}

TEST(HtmlScan, MetaRefreshVariants)
{
    struct Row {
        const char *name, *page, *content;
        std::vector<std::string> queued;
    } rows[] = {
        {"lower-case url=", "http://h/dir/", "0; url=next.html", {}},
        {"empty target", "http://h/dir/", "0; URL=", {}},
        {"absolute target", "http://h/dir/", "0; URL=http://o.test/p", {"http://o.test/p"}},
        {"page without trailing slash", "http://h/dir", "0; URL=n.html", {"http://h/dir/n.html"}},
        {"target with leading slash", "http://h/dir", "0; URL=/n.html", {"http://h/n.html"}},
        {"page with a file name", "http://h/dir/page.html", "0; URL=n.html", {"http://h/dir/n.html"}},
        {"target going up", "http://h/dir/sub/", "0; URL=../n.html", {"http://h/dir/n.html"}},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        MetaCrawler c;
        (void)c.analyse(r.page, std::string("<head><meta http-equiv=refresh content=\"") + r.content + "\"></head>");
        EXPECT_EQ(c.queued(), r.queued);
    }
}

TEST(HtmlScan, WithoutAMetaTagHandlerTheHeadIsNotRead)
{
    Crawler c;
    (void)c.analyse("http://h/dir/", "<head><meta http-equiv=\"refresh\" content=\"0; URL=n.html\"></head>");
    EXPECT_EQ(c.sifton.Dwnld->Queue.Count(), 0);
}

TEST(HtmlScan, PageReceivedGetsTheBodyAsReceivedAndTheUiIsGivenTime)
{
    Crawler c;
    std::string body;
    std::string host;
    c.sifton.OnPageReceived = [&](TSifton *, const std::string &h, const std::string &, const std::string &,
                                  const std::string &b) {
        host = h;
        body = b;
    };
    const std::string page = "<A HREF=\"1.html\">\r\n<a href=2.html><a href=3.html>";
    const auto links = c.analyse("http://pics.example.test/", page);
    EXPECT_EQ(body, page);
    EXPECT_EQ(host, "pics.example.test");
    EXPECT_EQ(links.size(), 3u);
    // After the normalisation, after the marking and after every link.
    EXPECT_EQ(c.yields, 2 + 3);
}

TEST(HtmlScan, AStopDuringTheParseEndsItAtTheNextByte)
{
    Crawler c;
    c.sifton.ProcessMessages = [&] {
        if (!c.recorded.empty())
            c.sifton.StopHtml();
    };
    const auto links = c.analyse("http://h/", "<a href=1.html>1</a><a href=2.html>2</a><a href=3.html>3</a>");
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].link, "1.html");
}

// ---- Hostile pages ---------------------------------------------------------------------------

TEST(HtmlScanHostile, LargeAndOddBodies)
{
    std::mt19937 random(7);
    std::string noise(2'000'000, '\0');
    for (char &ch : noise)
        ch = char(random());
    std::string high(200'000, '\xe9');
    high += "<a href=\"\xff\xfe.html\">\xc3\xa9</a>";

    struct Row {
        const char *name;
        std::string body;
        size_t links;
    } rows[] = {
        {"NUL bytes", std::string(1'000'000, '\0'), 0},
        {"random bytes", noise, size_t(-1)},
        {"bytes above 127", high, 1},
        {"unterminated quote", "<a href=\"x.html " + std::string(100000, 'q'), 1},
        {"unterminated tag", std::string(100000, '<'), 0},
        {"head without its end", "<head><title>t</title><meta http-equiv=refresh content=\"0;URL=x\">", 0},
        {"head end before its start", "</head>xx<head>", 0},
        {"enormous meta refresh",
         "<head><meta http-equiv=refresh content=\"0;URL=" + std::string(1'000'000, 'u') + "\"></head>", 0},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        MetaCrawler c;
        const auto links = c.analyse("http://h/", r.body);
        if (r.links != size_t(-1)) {
            EXPECT_EQ(links.size(), r.links);
        }
    }
}

TEST(HtmlScanHostile, HundredThousandAnchorsAndFiftyMegabytes)
{
    std::string anchors;
    for (int i = 0; i < 100000; ++i)
        anchors += "<a href=\"p" + std::to_string(i) + ".html\">x";
    Crawler c;
    const auto links = c.analyse("http://h/", anchors);
    ASSERT_EQ(links.size(), 100000u);
    EXPECT_EQ(links.back().link, "p99999.html");
    EXPECT_GE(c.yields, 100000) << "the window is given time after every link";

    std::string big;
    big.reserve(50'000'000);
    while (big.size() < 50'000'000)
        big += "<p class=\"x\">text, text</p><img src=i.gif>\n";
    const auto many = c.analyse("http://h/", big);
    EXPECT_GT(many.size(), 1'000'000u);
}

} // namespace
