// End to end: trawlix-cli crawls a fixture site served by the test server (as the proxy for
// the made-up host site.test) and its results file is compared line for line with the
// expected one. One fetch at a time keeps the order of the lines fixed.
#include "tests/support/httpserver.h"
#include "tests/support/testenv.h"

#include <QFile>
#include <QProcess>
#include <algorithm>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

using testsupport::HttpServer;
using testsupport::Response;

namespace {

const std::string kSite = std::string(TRAWLIX_SOURCE_DIR) + "/tests/trawlix/site";
const std::string kExpected = std::string(TRAWLIX_SOURCE_DIR) + "/tests/trawlix/expected";

std::string readFile(const std::string &path)
{
    QFile file(QString::fromStdString(path));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path;
    return file.readAll().toStdString();
}

// The fixture site, with a redirect, a missing page and a page that is busy once; another
// host has one page.
struct Site {
    Site()
    {
        server.serveDirectory(kSite, "http://site.test/");
        server.route("http://site.test/moved.html", Response::redirect("http://site.test/new-place.html"));
        server.route("http://site.test/missing.html", Response::html("<html>gone</html>", 404));
        server.route("http://other.test/away.html",
                     Response::html("<html><a href=\"far.gif\">far</a><a href=\"/far.html\">page</a></html>"));
        server.routeSequence("http://site.test/busy.html",
                             {Response::html("<html>busy</html>", 503), Response::html(readFile(kSite + "/busy.html"))});
    }
    HttpServer server;
};

struct CliRun {
    int status = -1;
    std::string results, err;
};

CliRun crawl(const Site &site, std::vector<std::string> options, const std::string &url = "http://site.test/index.html")
{
    const QString results = testenv::root() + "/results.txt";
    QStringList args{"crawl", "--concurrency", "1", "--proxy", QString("127.0.0.1:%1").arg(site.server.port()),
                     "--results", results, "--timeout", "10"};
    for (const std::string &option : options)
        args << QString::fromStdString(option);
    args << QString::fromStdString(url);
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "no_proxy", "NO_PROXY"})
        environment.remove(name);
    process.setProcessEnvironment(environment);
    process.start(TRAWLIX_CLI_PATH, args);
    CliRun run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "trawlix-cli did not end";
        return run;
    }
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.err = process.readAllStandardError().toStdString();
    QFile file(results);
    if (file.open(QIODevice::ReadOnly))
        run.results = file.readAll().toStdString();
    return run;
}

std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            out.push_back(text.substr(start) + "  <- not ended by CR LF");
            break;
        }
        out.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return out;
}

struct Case {
    const char *name; // also the expected file's name
    std::vector<std::string> options;
};

void PrintTo(const Case &c, std::ostream *os)
{
    *os << c.name;
}

class CliCrawl : public ::testing::TestWithParam<Case> {};

TEST_P(CliCrawl, ResultsFileIsTheExpectedOne)
{
    Site site;
    const CliRun run = crawl(site, GetParam().options);
    ASSERT_EQ(run.status, 0) << run.err;
    const auto actual = lines(run.results);
    const std::string expectedFile = kExpected + "/" + GetParam().name + ".txt";
    if (std::getenv("TRAWLIX_WRITE_EXPECTED")) { // regenerating the expected files, for review
        QFile out(QString::fromStdString(expectedFile));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(run.results.data(), qint64(run.results.size()));
    }
    const auto expected = lines(readFile(expectedFile));
    EXPECT_EQ(actual, expected) << "stderr:\n" << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Site, CliCrawl,
    ::testing::Values(Case{"depth1", {"--depth", "1"}}, Case{"depth2", {"--depth", "2"}},
                      Case{"depth3", {"--depth", "3"}}, Case{"depth3_meta", {"--depth", "3", "--meta"}},
                      Case{"scope_site", {"--depth", "3", "--scope", "site"}},
                      Case{"scope_path", {"--depth", "4", "--scope", "path"}},
                      Case{"report_site", {"--depth", "2", "--report", "site"}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(CliCrawlRun, PathScopeStartingInAFolder)
{
    Site site;
    const CliRun run = crawl(site, {"--depth", "4", "--scope", "path"}, "http://site.test/deep/a/");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string expectedFile = kExpected + "/scope_path_deep.txt";
    if (std::getenv("TRAWLIX_WRITE_EXPECTED")) {
        QFile out(QString::fromStdString(expectedFile));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(run.results.data(), qint64(run.results.size()));
    }
    EXPECT_EQ(lines(run.results), lines(readFile(expectedFile)));
}

TEST(CliCrawlRun, ConcurrentCrawlFindsTheSameLinks)
{
    Site site;
    CliRun one = crawl(site, {"--depth", "3"});
    Site again;
    CliRun many = crawl(again, {"--depth", "3", "--concurrency", "10"});
    ASSERT_EQ(one.status, 0);
    ASSERT_EQ(many.status, 0);
    auto a = lines(one.results), b = lines(many.results);
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    EXPECT_EQ(a, b);
}

TEST(CliCrawlRun, StartThatIsRefusedEndsWithStatusOne)
{
    Site site;
    const CliRun run = crawl(site, {}, "site.test/index.html");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Invalid Url : site.test/index.html"), std::string::npos) << run.err;

    const CliRun unwritable = crawl(site, {"--results", "/nonexistent-folder/results.txt"});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_NE(unwritable.err.find("unable to create file: /nonexistent-folder/results.txt"), std::string::npos)
        << unwritable.err;
}

TEST(CliCrawlRun, BadOptionsEndWithStatusTwoAndTheUsage)
{
    Site site;
    const CliRun run = crawl(site, {"--depth", "zero"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("Usage: trawlix-cli crawl"), std::string::npos);
}

TEST(CliCrawlRun, LogAndMetaLinesGoToStderrAndProgressEnds)
{
    Site site;
    const CliRun run = crawl(site, {"--depth", "1", "--log", "--meta"});
    ASSERT_EQ(run.status, 0);
    EXPECT_NE(run.err.find("HTML: "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("meta: http://site.test/index.html"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("done 1"), std::string::npos) << run.err;
    const CliRun quiet = crawl(site, {"--depth", "1", "--quiet"});
    EXPECT_EQ(quiet.err, "");
}

} // namespace
