// Fuzz entry point for the page analysis: normalising, marking, the default post-marking step
// and the link pass, on the free functions and through the component's page handler (head,
// meta tags and meta refresh included). The checks abort on a broken promise.
#include "sifton/htmlscan.h"
#include "sifton/sifton.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

TSifton &Component()
{
    static int argc = 1;
    static char name[] = "htmlscan_fuzzer";
    static char *argv[] = {name, nullptr};
    static QCoreApplication *app = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    (void)app;
    static TSifton *sifton = [] {
        auto *s = new TSifton;
        s->Timer->stop();
        s->ProcessMessages = nullptr;
        s->OnMetaTag = [](TSifton *, const std::string &, const std::string &, const std::string &,
                          const std::string &, const std::string &, const std::string &, const std::string &,
                          const std::string &, const std::string &) {};
        return s;
    }();
    return *sifton;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char *>(data), size);

    for (int flags = 0; flags < 4; ++flags) {
        const std::string normal = NormalizeMarkup(input, flags & 1, flags & 2);
        check(normal.size() <= input.size());
        for (char c : normal)
            check(static_cast<unsigned char>(c) >= 32);
    }

    std::string text = NormalizeMarkup(input, true, false);
    const size_t length = text.size();
    (void)LocalizeHrefSrc(text);
    check(text.size() == length);
    KvSiftonPostLocalizeHrefSrc(text);
    check(text.size() == length);

    int32_t areas = 0;
    ScanMarkedText(
        text, areas, [] { return false; },
        [&](char kind, std::string_view link, bool) {
            check(link.data() >= text.data() && link.data() + link.size() <= text.data() + text.size());
            check(IsPlainLink(link));
            check(link != "=");
            if (kind == MARK_VALUE)
                check(IsPathValue(link));
            check(link.find_first_of(" <>") == std::string_view::npos);
        });

    // The marking also runs on raw bytes (a replaced step may hand on anything).
    std::string raw(input);
    (void)LocalizeHrefSrc(raw);
    KvSiftonPostLocalizeHrefSrc(raw);
    ScanMarkedText(raw, areas, [] { return false; }, [](char, std::string_view, bool) {});

    TSifton &s = Component();
    TKvHttpGet get;
    (void)get.Url.CrackUrl("http://h/dir/", "");
    get.DataString.assign(input);
    s.HtmlPageReceived(s.Dwnld.get(), &get, false);
    s.RecordedLinks.clear();
    s.UrlsDone.Clear();
    s.Dwnld->Queue.Clear();
    return 0;
}
