// The command line of trawlix-cli: defaults, every option, and the errors that give status 2.
#include "trawlix/cli_options.h"

#include <gtest/gtest.h>

using cli::ParseCommandLine;
using cli::ParsedCommand;
using cli::Scope;
using Kind = ParsedCommand::Kind;

namespace {

TEST(CliOptions, CrawlDefaultsAreTheCrawlerSettingsOfTheWindow)
{
    const ParsedCommand c = ParseCommandLine({"crawl", "http://pics.example.test/"});
    ASSERT_EQ(c.kind, Kind::Crawl) << c.error;
    const cli::CrawlOptions &o = c.options;
    EXPECT_EQ(o.url, "http://pics.example.test/");
    EXPECT_EQ(o.depth, 4);
    EXPECT_EQ(o.concurrency, 10);
    EXPECT_EQ(o.retries, 1);
    EXPECT_EQ(o.timeoutSeconds, 200);
    EXPECT_EQ(o.maxQueueSize, 10000);
    EXPECT_EQ(o.scope, Scope::All);
    EXPECT_EQ(o.report, Scope::All);
    EXPECT_EQ(o.resultsFile, "results.txt");
    EXPECT_TRUE(o.keywordFilter.empty());
    EXPECT_TRUE(o.proxyHost.empty());
    EXPECT_FALSE(o.seekRobots || o.log || o.meta || o.quiet);
}

TEST(CliOptions, EveryOptionInBothSpellings)
{
    const ParsedCommand c = ParseCommandLine(
        {"crawl", "--depth", "2", "--concurrency=3", "--retries", "5", "--timeout=30", "--queue-size", "50",
         "--scope", "site", "--report=path", "--results", "out/r.txt", "--keyword-filter", "ads, track ,",
         "--keyword-limiter=cats", "--type-filter", "jpg,gif", "--seek-robots", "--proxy", "proxy.test:3128",
         "--proxy-user", "pu", "--proxy-password=ppw", "--user", "u", "--password", "p", "--agent", "Bot/1",
         "--log", "--meta", "--quiet", "http://h.test/start.html"});
    ASSERT_EQ(c.kind, Kind::Crawl) << c.error;
    const cli::CrawlOptions &o = c.options;
    EXPECT_EQ(o.depth, 2);
    EXPECT_EQ(o.concurrency, 3);
    EXPECT_EQ(o.retries, 5);
    EXPECT_EQ(o.timeoutSeconds, 30);
    EXPECT_EQ(o.maxQueueSize, 50);
    EXPECT_EQ(o.scope, Scope::Site);
    EXPECT_EQ(o.report, Scope::Path);
    EXPECT_EQ(o.resultsFile, "out/r.txt");
    EXPECT_EQ(o.keywordFilter, (std::vector<std::string>{"ads", "track"}));
    EXPECT_EQ(o.keywordLimiter, std::vector<std::string>{"cats"});
    EXPECT_EQ(o.typeFilter, (std::vector<std::string>{"jpg", "gif"}));
    EXPECT_TRUE(o.seekRobots && o.log && o.meta && o.quiet);
    EXPECT_EQ(o.proxyHost, "proxy.test");
    EXPECT_EQ(o.proxyPort, 3128);
    EXPECT_EQ(o.proxyUser, "pu");
    EXPECT_EQ(o.proxyPassword, "ppw");
    EXPECT_EQ(o.user, "u");
    EXPECT_EQ(o.password, "p");
    EXPECT_EQ(o.agent, "Bot/1");
    EXPECT_EQ(o.url, "http://h.test/start.html");
}

TEST(CliOptions, HelpInEveryPlace)
{
    for (const auto &args : std::vector<std::vector<std::string>>{
             {"--help"}, {"-h"}, {"help"}, {"crawl", "--help"}, {"crawl", "http://h/", "-h"}}) {
        EXPECT_EQ(ParseCommandLine(args).kind, Kind::Help) << args.back();
    }
    const std::string usage = cli::Usage();
    for (const char *option : {"--depth", "--concurrency", "--retries", "--timeout", "--queue-size", "--scope",
                               "--report", "--results", "--keyword-filter", "--keyword-limiter", "--type-filter",
                               "--seek-robots", "--proxy ", "--proxy-user", "--proxy-password", "--user",
                               "--password", "--agent", "--log", "--meta", "--quiet", "--help"})
        EXPECT_NE(usage.find(option), std::string::npos) << option << " is documented";
}

TEST(CliOptions, BadCommandLinesAreRefusedWithAReason)
{
    struct Case {
        std::vector<std::string> args;
        const char *reasonContains;
    };
    const Case cases[] = {
        {{}, "no command"},
        {{"grab", "cats"}, "unknown command: grab"},
        {{"crawl"}, "needs a URL"},
        {{"crawl", "http://a/", "http://b/"}, "one URL"},
        {{"crawl", "--depth", "0", "http://a/"}, "--depth must be"},
        {{"crawl", "--depth", "two", "http://a/"}, "--depth must be"},
        {{"crawl", "--depth", "3x", "http://a/"}, "--depth must be"},
        {{"crawl", "--timeout", "9", "http://a/"}, "at least 10"},
        {{"crawl", "--concurrency", "-1", "http://a/"}, "--concurrency must be"},
        {{"crawl", "--scope", "world", "http://a/"}, "all, site or path"},
        {{"crawl", "--proxy", "proxyhost", "http://a/"}, "HOST:PORT"},
        {{"crawl", "--proxy", "h:70000", "http://a/"}, "HOST:PORT"},
        {{"crawl", "--proxy", ":80", "http://a/"}, "HOST:PORT"},
        {{"crawl", "http://a/", "--depth"}, "needs a value"},
        {{"crawl", "--log=yes", "http://a/"}, "takes no value"},
        {{"crawl", "--colour", "http://a/"}, "unknown option: --colour"},
        {{"crawl", "-x", "http://a/"}, "unknown option: -x"},
        {{"crawl", "--results=", "http://a/"}, "file name"},
    };
    for (const Case &c : cases) {
        const ParsedCommand parsed = ParseCommandLine(c.args);
        SCOPED_TRACE(c.reasonContains);
        EXPECT_EQ(parsed.kind, Kind::Error);
        EXPECT_NE(parsed.error.find(c.reasonContains), std::string::npos) << parsed.error;
    }
}

TEST(CliOptions, DoubleDashEndsTheOptions)
{
    const ParsedCommand c = ParseCommandLine({"crawl", "--depth", "2", "--", "http://a/--log"});
    ASSERT_EQ(c.kind, Kind::Crawl) << c.error;
    EXPECT_EQ(c.options.url, "http://a/--log");
    EXPECT_FALSE(c.options.log);
}

} // namespace
