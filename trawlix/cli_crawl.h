#pragma once
// Runs `trawlix-cli crawl`: one crawl from one start address with the crawler's own link
// rules and no link handler, so the results file holds the crawler's default lines.

#include "trawlix/cli_options.h"

#include <cstdio>

namespace cli {

// Runs the crawl to its end on the current QCoreApplication's event loop and returns the
// exit status: 0 after a crawl that ran, 1 when it could not start or its results could not
// be written. Progress, messages and log lines go to `err`; a live progress line is drawn
// when `errIsTerminal`.
[[nodiscard]] int RunCrawl(const CrawlOptions &options, std::FILE *err, bool errIsTerminal);

} // namespace cli
