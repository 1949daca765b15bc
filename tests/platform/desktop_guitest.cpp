#include "platform/gui/desktop.h"

#include <QDir>
#include <gtest/gtest.h>

namespace {

TEST(Desktop, DocumentUrlTellsAddressesFromPaths)
{
    const struct {
        QString input;
        QString expected; // encoded form; empty: invalid
    } cases[] = {
        {"https://www.example.com/a?b=c", "https://www.example.com/a?b=c"},
        {"http://example.com/red car.html", "http://example.com/red%20car.html"},
        {"mailto:contact@example.com", "mailto:contact@example.com"},
        {"file:///tmp/x.jpg", "file:///tmp/x.jpg"},
        {"/home/u/@Trawlix Downloads/pic #1.jpg", "file:///home/u/@Trawlix%20Downloads/pic%20%231.jpg"},
        {"  /tmp/padded.gif  ", "file:///tmp/padded.gif"},
        {"relative/pic.jpg", QUrl::fromLocalFile(QDir::current().absoluteFilePath("relative/pic.jpg")).toEncoded()},
        {"", ""},
        {"   ", ""},
        {"http://exa mple.com/", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.input.toStdString());
        const QUrl url = platform::DocumentUrl(c.input);
        if (c.expected.isEmpty()) {
            EXPECT_FALSE(url.isValid()) << url.toString().toStdString();
        } else {
            EXPECT_EQ(url.toEncoded().toStdString(), c.expected.toStdString());
        }
    }
}

class DesktopOpener : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::SetDocumentOpener([this](const QUrl &url) {
            opened.push_back(url);
            return answer;
        });
    }
    void TearDown() override { platform::SetDocumentOpener({}); }

    std::vector<QUrl> opened;
    bool answer = true;
};

TEST_F(DesktopOpener, HandsTheUrlToTheDesktopAndReturnsItsAnswer)
{
    EXPECT_TRUE(platform::OpenDocument("https://example.com/help.html#context7"));
    answer = false;
    EXPECT_FALSE(platform::OpenDocument("/tmp/movie.mpg"));
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], QUrl("https://example.com/help.html#context7"));
    EXPECT_EQ(opened[1], QUrl::fromLocalFile("/tmp/movie.mpg"));
}

TEST_F(DesktopOpener, InvalidInputNeverReachesTheDesktop)
{
    EXPECT_FALSE(platform::OpenDocument(""));
    EXPECT_FALSE(platform::OpenDocument("http://exa mple.com/"));
    EXPECT_TRUE(opened.empty());
}

} // namespace
