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

// The marking as written out row by row, every row on every byte: the fast pass must give
// the same bytes.
bool ReferenceLocalize(std::string &t)
{
    static const struct {
        const char *pattern;
        char marker;
    } rows[] = {{" HREF=", 4},   {" SRC=", 6},      {"<A", 14},      {"/A>", 16},       {"A/>", 16},
                {"<FRAME", 14},  {"</FRAME", 16},   {"OPENWIN( ", 4}, {"BASE HREF=", 7}, {"<OPTION", 14},
                {"/OPTION>", 16}, {"<APPLET", 14},  {"/APPLET>", 16}, {" VALUE=", 5}};
    size_t index[14];
    for (size_t &i : index)
        i = 1;
    std::string u = t;
    for (char &c : u)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    bool any = false;
    for (size_t p = 0; p < u.size(); ++p) {
        for (size_t r = 0; r < 14; ++r) {
            const std::string_view pattern = rows[r].pattern;
            if (u[p] == pattern[index[r] - 1]) {
                if (++index[r] > pattern.size()) {
                    t[p] = rows[r].marker;
                    index[r] = 1;
                    any = true;
                }
            } else {
                index[r] = u[p] == pattern[0] ? 2 : 1;
            }
        }
    }
    return any;
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
    std::string reference = text;
    const bool referenceAny = ReferenceLocalize(reference);
    check(LocalizeHrefSrc(text) == referenceAny);
    check(text == reference);
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
    s.RobotsHosts.Clear();
    s.UrlsDone.Clear();
    s.Dwnld->Queue.Clear();
    return 0;
}
