#include "trawlix/cli_options.h"

#include <charconv>
#include <optional>

namespace cli {
namespace {

std::optional<int> parseInt(const std::string &text)
{
    int value = 0;
    const char *end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || text.empty())
        return std::nullopt;
    return value;
}

std::vector<std::string> splitList(const std::string &text)
{
    std::vector<std::string> items;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos)
            comma = text.size();
        std::string item = text.substr(start, comma - start);
        const size_t first = item.find_first_not_of(" \t");
        const size_t last = item.find_last_not_of(" \t");
        if (first != std::string::npos)
            items.push_back(item.substr(first, last - first + 1));
        start = comma + 1;
    }
    return items;
}

std::optional<Scope> parseScope(const std::string &text)
{
    if (text == "all")
        return Scope::All;
    if (text == "site")
        return Scope::Site;
    if (text == "path")
        return Scope::Path;
    return std::nullopt;
}

ParsedCommand fail(std::string message)
{
    ParsedCommand result;
    result.kind = ParsedCommand::Kind::Error;
    result.error = std::move(message);
    return result;
}

} // namespace

std::string Usage()
{
    return R"(Usage: trawlix-cli crawl [options] URL
       trawlix-cli --help

Commands:
  crawl URL    Crawl from URL, following links to the set depth, and write every link found
               to the results file ("type";"address" per line). Progress goes to stderr.

Options of crawl:
  --depth N              levels of pages fetched, the start page being level 1 (default 4)
  --concurrency N        pages fetched at once (default 10)
  --retries N            attempts for a page that fails (default 1)
  --timeout S            seconds of silence before a fetch is given up, at least 10 (default 200)
  --queue-size N         most pages waiting in the queue, at least 10 (default 10000)
  --scope all|site|path  which links are followed: all, the start site, or the start path
                         (default all)
  --report all|site|path which links are reported: all, those of the page's site, or of its
                         path (default all)
  --results FILE         the results file (default results.txt in the current folder)
  --keyword-filter WORDS comma-separated words; links containing one are dropped
  --keyword-limiter WORDS
                         comma-separated words; only links containing one are kept
  --type-filter TYPES    comma-separated link types (jpg, gif, htm, ...) handed to a link
                         handler; crawl installs none, and its results file keeps every type
  --seek-robots          also fetch /robots.txt of every new host
  --proxy HOST:PORT      fetch through this HTTP proxy (default: the http_proxy, https_proxy
                         and no_proxy environment variables)
  --proxy-user NAME      user name for the proxy
  --proxy-password PW    password for the proxy
  --user NAME            user name for servers that ask for one
  --password PW          password for servers that ask for one
  --agent TEXT           the User-Agent sent
  --log                  the crawler's log lines on stderr
  --meta                 print each page's title and head tags on stderr; also makes the
                         crawler follow meta refreshes
  --quiet                no progress line
  --help                 this text

Exit status: 0 after a crawl that ran, 1 when the crawl could not start (the reason on
stderr), 2 for a bad command line.
)";
}

ParsedCommand ParseCommandLine(const std::vector<std::string> &args)
{
    if (args.empty())
        return fail("no command given");
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        ParsedCommand help;
        help.kind = ParsedCommand::Kind::Help;
        return help;
    }
    if (args[0] != "crawl")
        return fail("unknown command: " + args[0]);

    ParsedCommand result;
    result.kind = ParsedCommand::Kind::Crawl;
    CrawlOptions &o = result.options;
    std::vector<std::string> positional;

    for (size_t i = 1; i < args.size(); ++i) {
        std::string arg = args[i];
        if (arg == "--") {
            positional.insert(positional.end(), args.begin() + long(i) + 1, args.end());
            break;
        }
        if (arg == "-h")
            return ParseCommandLine({"--help"});
        if (arg.size() > 1 && arg[0] == '-' && arg[1] != '-')
            return fail("unknown option: " + arg);
        if (arg.rfind("--", 0) != 0) {
            positional.push_back(arg);
            continue;
        }
        std::string name = arg;
        std::optional<std::string> inlineValue;
        if (const size_t eq = arg.find('='); eq != std::string::npos) {
            name = arg.substr(0, eq);
            inlineValue = arg.substr(eq + 1);
        }

        const auto flag = [&](bool &target) -> std::optional<ParsedCommand> {
            if (inlineValue)
                return fail(name + " takes no value");
            target = true;
            return std::nullopt;
        };
        if (name == "--help") {
            ParsedCommand help;
            help.kind = ParsedCommand::Kind::Help;
            return help;
        }
        if (name == "--seek-robots" || name == "--log" || name == "--meta" || name == "--quiet") {
            bool &target = name == "--seek-robots" ? o.seekRobots
                : name == "--log"                  ? o.log
                : name == "--meta"                 ? o.meta
                                                   : o.quiet;
            if (auto error = flag(target))
                return *error;
            continue;
        }

        std::string value;
        if (inlineValue) {
            value = *inlineValue;
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return fail(name + " needs a value");
        }

        const auto number = [&](int &target, int minimum, const char *what) -> std::optional<ParsedCommand> {
            const auto parsed = parseInt(value);
            if (!parsed || *parsed < minimum)
                return fail(name + " must be " + what + ", not \"" + value + "\"");
            target = *parsed;
            return std::nullopt;
        };
        std::optional<ParsedCommand> error;
        if (name == "--depth")
            error = number(o.depth, 1, "a whole number of at least 1");
        else if (name == "--concurrency")
            error = number(o.concurrency, 1, "a whole number of at least 1");
        else if (name == "--retries")
            error = number(o.retries, 1, "a whole number of at least 1");
        else if (name == "--timeout")
            error = number(o.timeoutSeconds, 10, "a number of seconds of at least 10");
        else if (name == "--queue-size")
            error = number(o.maxQueueSize, 10, "a whole number of at least 10");
        else if (name == "--scope" || name == "--report") {
            const auto scope = parseScope(value);
            if (!scope)
                return fail(name + " must be all, site or path, not \"" + value + "\"");
            (name == "--scope" ? o.scope : o.report) = *scope;
        } else if (name == "--results") {
            if (value.empty())
                return fail("--results needs a file name");
            o.resultsFile = value;
        } else if (name == "--keyword-filter")
            o.keywordFilter = splitList(value);
        else if (name == "--keyword-limiter")
            o.keywordLimiter = splitList(value);
        else if (name == "--type-filter")
            o.typeFilter = splitList(value);
        else if (name == "--proxy") {
            const size_t colon = value.rfind(':');
            const auto port = colon == std::string::npos ? std::nullopt : parseInt(value.substr(colon + 1));
            if (colon == 0 || !port || *port < 1 || *port > 65535)
                return fail("--proxy must be HOST:PORT, not \"" + value + "\"");
            o.proxyHost = value.substr(0, colon);
            o.proxyPort = *port;
        } else if (name == "--proxy-user")
            o.proxyUser = value;
        else if (name == "--proxy-password")
            o.proxyPassword = value;
        else if (name == "--user")
            o.user = value;
        else if (name == "--password")
            o.password = value;
        else if (name == "--agent")
            o.agent = value;
        else
            return fail("unknown option: " + name);
        if (error)
            return *error;
    }

    if (positional.empty())
        return fail("crawl needs a URL");
    if (positional.size() > 1)
        return fail("crawl takes one URL, not " + std::to_string(positional.size()));
    o.url = positional[0];
    return result;
}

} // namespace cli
