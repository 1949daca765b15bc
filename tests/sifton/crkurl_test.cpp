#include "sifton/crkurl.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(CrackUrl, NewObjectIsEmpty)
{
    const TCrackUrl url;
    EXPECT_FALSE(url.MemoryAssigned);
    EXPECT_FALSE(url.Cracked);
    EXPECT_EQ(url.AllocatedSize, 1024);
    EXPECT_EQ(url.BufferSize, 1024);
    EXPECT_EQ(url.szUrl, nullptr);
    EXPECT_EQ(url.Url(), "");
    EXPECT_EQ(url.Domain, "");
    EXPECT_EQ(url.UrlPath, "");
    EXPECT_EQ(url.HostName(), "");
}

struct CrackCase {
    const char *url;
    bool cracked;
    const char *host;
    uint16_t port;
    const char *path;
    const char *extra;
    const char *urlPath;
    const char *domain;
};

TEST(CrackUrl, SplitsAndDerivesPathAndDomain)
{
    const CrackCase cases[] = {
        {"http://pics.example.com", true, "pics.example.com", 80, "", "", "/", "example.com"},
        {"http://example.com:81/dir/sub?x=1#top", true, "example.com", 81, "/dir/sub", "?x=1#top", "/dir/sub/",
         "example"},
        {"http://pics.example.com/a%20b/c.html", true, "pics.example.com", 80, "/a b/c.html", "", "/a b/c.html",
         "example.com"},
        {"https://a.b.example.com/pics/summer", true, "a.b.example.com", 443, "/pics/summer", "", "/pics/summer/",
         "example.com"},
        {"http://h.example.com/pics/summer.htm", true, "h.example.com", 80, "/pics/summer.htm", "",
         "/pics/summer.htm", "example.com"},
        {"http://h.example.com/pics/", true, "h.example.com", 80, "/pics/", "", "/pics/", "example.com"},
        {"http://h.example.com/", true, "h.example.com", 80, "/", "", "/", "example.com"},
        // Only the last segment is looked at for a dot.
        {"http://h.example.com/a.b/file", true, "h.example.com", 80, "/a.b/file", "", "/a.b/file/",
         "example.com"},
        {"http://192.168.1.10/x", true, "192.168.1.10", 80, "/x", "", "/x/", "1.10"},
        {"http://localhost:8080/", true, "localhost", 8080, "/", "", "/", ""},
        {"http://intranet/", true, "intranet", 80, "/", "", "/", ""},
        {"http://.example/", true, ".example", 80, "/", "", "/", ""},
        {"mailto:someone@example.com", true, "", 0, "someone@example.com", "", "someone@example.com", ""},
        // Failures still derive UrlPath and Domain, from empty components.
        {"/relative/page.html", false, "", 0, "", "", "/", ""},
        {"page.html", false, "", 0, "", "", "/", ""},
        {"http://h.example.com:70000/x", false, "", 0, "", "", "/", ""},
    };
    TCrackUrl url; // one object for all, as the crawler re-uses them
    for (const auto &c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(url.CrackUrl(c.url, ""), c.cracked);
        EXPECT_EQ(url.Cracked, c.cracked);
        EXPECT_EQ(url.Url(), c.url);
        EXPECT_EQ(url.HostName(), c.host);
        EXPECT_EQ(url.Port(), c.port);
        EXPECT_EQ(url.PathWithFile(), c.path);
        EXPECT_EQ(url.ExtraInfo(), c.extra);
        EXPECT_EQ(url.UrlPath, c.urlPath);
        EXPECT_EQ(url.Domain, c.domain);
        EXPECT_EQ(url.LocalFilePath, "");
    }
}

TEST(CrackUrl, UrlIsReturnedExactlyAsGiven)
{
    TCrackUrl url;
    ASSERT_TRUE(url.CrackUrl("HTTP://PICS.Example.COM/X", ""));
    EXPECT_EQ(url.Url(), "HTTP://PICS.Example.COM/X");
    EXPECT_EQ(url.Scheme(), "HTTP");
    EXPECT_EQ(url.SchemeCode(), platform::INTERNET_SCHEME_HTTP);
    EXPECT_EQ(url.Domain, "Example.COM");
    // Not rebuilt from the (decoded) components either.
    ASSERT_TRUE(url.CrackUrl("http://u:p@h/a%20b?q#f", ""));
    EXPECT_EQ(url.Url(), "http://u:p@h/a%20b?q#f");
    EXPECT_EQ(url.UserName(), "u");
    EXPECT_EQ(url.Password(), "p");
}

TEST(CrackUrl, ReusedObjectDropsTheEarlierDomain)
{
    TCrackUrl url;
    ASSERT_TRUE(url.CrackUrl("http://pics.example.com/", ""));
    EXPECT_EQ(url.Domain, "example.com");
    ASSERT_TRUE(url.CrackUrl("http://intranet/", ""));
    EXPECT_EQ(url.Domain, "");
    EXPECT_EQ(url.HostName(), "intranet");
}

TEST(CrackUrl, LongUrlGrowsTheBuffersAndFailsOnItsLongPath)
{
    TCrackUrl url;
    const std::string prefix = "http://h.example.com";
    const std::string longUrl = prefix + "/" + std::string(1500 - prefix.size() - 1, 'p');
    ASSERT_EQ(longUrl.size(), 1500u);
    EXPECT_FALSE(url.CrackUrl(longUrl, "/tmp/dl"));
    EXPECT_EQ(url.AllocatedSize, 1501);
    EXPECT_TRUE(url.MemoryAssigned);
    EXPECT_EQ(url.Url(), longUrl);
    EXPECT_EQ(url.UrlPath, "/");
    EXPECT_EQ(url.Domain, "");
    // The buffers keep their size for the next, ordinary URL.
    ASSERT_TRUE(url.CrackUrl("http://h.example.com/a.jpg", ""));
    EXPECT_EQ(url.AllocatedSize, 1501);
    EXPECT_EQ(url.PathWithFile(), "/a.jpg");
}

TEST(CrackUrl, UrlOfExactlyTheBufferSizeIsStoredWhole)
{
    // 1024 characters and the terminating zero do not fit in 1024 bytes: the buffers grow.
    TCrackUrl url;
    const std::string prefix = "http://h/";
    const std::string text = prefix + std::string(1024 - prefix.size(), 'q');
    EXPECT_TRUE(url.CrackUrl(text, "")); // its path has 1016 characters
    EXPECT_EQ(url.AllocatedSize, 1025);
    EXPECT_EQ(url.Url(), text);
    EXPECT_EQ(url.PathWithFile(), text.substr(8));
}

TEST(CrackUrl, LocalFilePathUnderTheSaveRoot)
{
    struct Case {
        const char *url;
        const char *root;
        const char *expected;
    };
    const Case cases[] = {
        {"http://pics.example.com/a/b/", "/tmp/dl", "/tmp/dl/pics.example.com/a/b/index.html"},
        {"http://pics.example.com/", "/tmp/dl/", "/tmp/dl/pics.example.com/index.html"},
        {"http://pics.example.com", "/tmp/dl", "/tmp/dl/pics.example.com/index.html"},
        {"http://pics.example.com/a/pic.jpg?x=1", "/tmp/dl", "/tmp/dl/pics.example.com/a/pic.jpg"},
        {"http://pics.example.com/pics/summer", "/tmp/dl", "/tmp/dl/pics.example.com/pics/summer/index.html"},
        // Escaped dot segments decode to ".." but stay inside the host folder.
        {"http://h/%2e%2e/%2E%2E/etc/passwd", "/tmp/dl", "/tmp/dl/h/etc/passwd/index.html"},
        {"http://h/a/../../../b.jpg", "/tmp/dl", "/tmp/dl/h/b.jpg"},
        {"http://%2e%2e/x.jpg", "/tmp/dl", "/tmp/dl/__/x.jpg"},
    };
    TCrackUrl url;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.url);
        ASSERT_TRUE(url.CrackUrl(c.url, c.root));
        EXPECT_EQ(url.LocalFilePath, c.expected);
    }
    // Without a save root the path is cleared again.
    ASSERT_TRUE(url.CrackUrl("http://pics.example.com/", ""));
    EXPECT_EQ(url.LocalFilePath, "");
}

TEST(CrackUrl, BadInputFailsWithoutTouchingMemoryOutsideTheBuffers)
{
    // Run under the sanitizer build this is the memory check; here it checks the results.
    struct Bad {
        const char *why;
        std::string url;
    };
    const Bad cases[] = {
        {"embedded LF", "http://h/a\nb"},
        {"embedded NUL", std::string("http://h/a\0b", 12)},
        {"escaped control byte", "http://h/%07"},
        {"100 KB of text", "http://h/" + std::string(100 * 1024, 'a')},
        {"unterminated IPv6 host", "http://[::1/x"},
        {"port out of range", "http://h:65536/"},
        {"empty text", ""},
    };
    TCrackUrl url;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.why);
        ASSERT_TRUE(url.CrackUrl("http://before.example.com/dir/", "/tmp/dl"));
        EXPECT_FALSE(url.CrackUrl(c.url, "/tmp/dl"));
        EXPECT_FALSE(url.Cracked);
        EXPECT_EQ(url.Url(), c.url);
        EXPECT_EQ(url.HostName(), "");
        EXPECT_EQ(url.PathWithFile(), "");
        EXPECT_EQ(url.UrlPath, "/");
        EXPECT_EQ(url.Domain, "");
        EXPECT_EQ(url.LocalFilePath, "/tmp/dl//index.html");
    }
    // A "%" without two hex digits is no failure: it stays in the path.
    ASSERT_TRUE(url.CrackUrl("http://h/100%.jpg", ""));
    EXPECT_EQ(url.PathWithFile(), "/100%.jpg");
}

TEST(CrackUrlMemory, AssignFreeAndCheckKeepTheInvariants)
{
    TCrackUrl url;
    url.szFreeMemory(); // nothing held: nothing happens
    EXPECT_FALSE(url.MemoryAssigned);

    url.AssignOrCheckMemorySize(10);
    EXPECT_TRUE(url.MemoryAssigned);
    EXPECT_EQ(url.AllocatedSize, 1024);
    ASSERT_NE(url.szUrl, nullptr);
    EXPECT_EQ(url.Components.lpszHostName[0], '\0'); // fresh buffers hold empty texts

    url.AssignOrCheckMemorySize(2000);
    EXPECT_EQ(url.AllocatedSize, 2001);
    url.AssignOrCheckMemorySize(100); // never shrinks
    EXPECT_EQ(url.AllocatedSize, 2001);

    url.szAssignMemory(50); // fewer bytes than AllocatedSize would break the invariant
    EXPECT_EQ(url.AllocatedSize, 2001);
    url.szAssignMemory(4096);
    EXPECT_EQ(url.AllocatedSize, 4096);

    url.szFreeMemory();
    EXPECT_FALSE(url.MemoryAssigned);
    EXPECT_EQ(url.szUrl, nullptr);
    EXPECT_EQ(url.Url(), "");
    // A freed object cracks again.
    EXPECT_TRUE(url.CrackUrl("http://h.example.com/x", ""));
    EXPECT_EQ(url.HostName(), "h.example.com");
}

TEST(CopyTCrackedUrl, CopiesComponentsButNotDomainOrLocalPath)
{
    TCrackUrl source;
    ASSERT_TRUE(source.CrackUrl("https://u:p@pics.example.com:8443/a/b?x=1", "/tmp/dl"));
    TCrackUrl copy;
    copy.Domain = "kept";
    copy.LocalFilePath = "kept too";
    copy.CopyTCrackedUrl(source);
    EXPECT_EQ(copy.Url(), source.Url());
    EXPECT_EQ(copy.Scheme(), "https");
    EXPECT_EQ(copy.HostName(), "pics.example.com");
    EXPECT_EQ(copy.UserName(), "u");
    EXPECT_EQ(copy.Password(), "p");
    EXPECT_EQ(copy.PathWithFile(), "/a/b");
    EXPECT_EQ(copy.ExtraInfo(), "?x=1");
    EXPECT_EQ(copy.Port(), 8443);
    EXPECT_EQ(copy.SchemeCode(), platform::INTERNET_SCHEME_HTTPS);
    EXPECT_EQ(copy.Components.dwStructSize, 60u);
    EXPECT_EQ(copy.UrlPath, "/a/b/");
    EXPECT_TRUE(copy.Cracked);
    EXPECT_EQ(copy.Domain, "kept");
    EXPECT_EQ(copy.LocalFilePath, "kept too");

    // The copy has buffers of its own.
    EXPECT_NE(copy.szUrl, source.szUrl);
    ASSERT_TRUE(source.CrackUrl("http://other.example.org/", ""));
    EXPECT_EQ(copy.HostName(), "pics.example.com");
}

TEST(CopyTCrackedUrl, LongUrlsAndEmptySourcesAreCopiedSafely)
{
    TCrackUrl longSource;
    const std::string longUrl = "http://h/" + std::string(3000, 'z');
    EXPECT_FALSE(longSource.CrackUrl(longUrl, ""));
    TCrackUrl copy;
    copy.CopyTCrackedUrl(longSource);
    EXPECT_EQ(copy.Url(), longUrl); // whole, not cut at BufferSize
    EXPECT_FALSE(copy.Cracked);

    const TCrackUrl empty;
    copy.CopyTCrackedUrl(empty);
    EXPECT_EQ(copy.Url(), "");
    EXPECT_EQ(copy.HostName(), "");
    EXPECT_FALSE(copy.Cracked);

    copy.CopyTCrackedUrl(copy); // copying onto itself changes nothing
    EXPECT_EQ(copy.Url(), "");
}

} // namespace
