#pragma once
// The command line of trawlix-cli: `trawlix-cli crawl [options] URL`. Parsing is separate from
// running so that every option, default and error can be tested without a crawl.

#include <string>
#include <vector>

namespace cli {

enum class Scope { All, Site, Path }; // which links are followed, or reported

struct CrawlOptions {
    std::string url;
    // The crawler's settings as the Trawlix window sets them.
    int depth = 4;
    int concurrency = 10;
    int retries = 1;
    int timeoutSeconds = 200;
    int maxQueueSize = 10000;
    Scope scope = Scope::All;
    Scope report = Scope::All;
    std::string resultsFile = "results.txt";
    std::vector<std::string> keywordFilter;  // non-empty: the filter is enabled
    std::vector<std::string> keywordLimiter; // non-empty: the limiter is enabled
    std::vector<std::string> typeFilter;     // non-empty: only these types reach the handler
    bool seekRobots = false;
    std::string proxyHost; // empty: the proxy environment variables decide
    int proxyPort = 0;
    std::string proxyUser, proxyPassword;
    std::string user, password;
    std::string agent; // empty: the crawler's own
    bool log = false;
    bool meta = false;
    bool quiet = false;
};

struct ParsedCommand {
    enum class Kind { Crawl, Help, Error } kind = Kind::Error;
    CrawlOptions options;
    std::string error; // for Kind::Error: what was wrong, one line
};

// Parses the arguments after the program name.
[[nodiscard]] ParsedCommand ParseCommandLine(const std::vector<std::string> &args);

// The help text: every subcommand and option.
[[nodiscard]] std::string Usage();

} // namespace cli
