// trawlix-cli: the crawler without a window.
#include "platform/coreapp.h"
#include "trawlix/cli_crawl.h"
#include "trawlix/cli_options.h"

#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

int main(int argc, char **argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    const cli::ParsedCommand command = cli::ParseCommandLine(args);
    switch (command.kind) {
    case cli::ParsedCommand::Kind::Help:
        std::fputs(cli::Usage().c_str(), stdout);
        return 0;
    case cli::ParsedCommand::Kind::Error:
        std::fprintf(stderr, "trawlix-cli: %s\n\n%s", command.error.c_str(), cli::Usage().c_str());
        return 2;
    case cli::ParsedCommand::Kind::Crawl:
        break;
    }
    platform::TCoreApplication application(argc, argv, "trawlix-cli");
    return cli::RunCrawl(command.options, stderr, ::isatty(STDERR_FILENO) == 1);
}
