// The installed help pages as the help window shows them: every link of every
// page followed in the window reaches an installed page and scrolls to its
// anchor, every picture loads, and each page fits the window's width.
#include "common/tests/clipped_controls.h"
#include "platform/core/message_sink.h"
#include "platform/qt/help.h"
#include "platform/testing/qt_support.h"

#include <QImage>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>

#include <gtest/gtest.h>

namespace {

const std::vector<std::string> kPages = {"help/orvanta.html", "help/orvantadmo.html", "tutorial/orvantatut.html"};

/// The links and pictures of the page the window shows, as its document holds them.
void linksAndPictures(const QTextDocument& document, std::vector<std::string>& links, std::vector<std::string>& pictures)
{
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.isAnchor() && !format.anchorHref().isEmpty())
                links.push_back(format.anchorHref().toStdString());
            if (format.isImageFormat())
                pictures.push_back(format.toImageFormat().name().toStdString());
        }
}

} // namespace

TEST(HelpWindowPages, EveryLinkOfEveryPageLeadsInTheWindowToAnInstalledPageAtItsAnchor)
{
    testsupport::testApplication();
    platform::ScriptedMessageSink boxes;
    platform::ScopedMessageSink useBoxes(boxes);
    testsupport::NoBrowser browser;
    int followed = 0;
    for (const std::string& name : kPages) {
        const std::string page = std::string(ORVANTA_BIN_DIR) + "/" + name;
        ASSERT_EQ(platform::showHelp(0, page, platform::HELP_CONTENTS, 0), 1) << page;
        platform::HelpWindow& window = *platform::helpWindow();
        std::vector<std::string> links, pictures;
        linksAndPictures(*window.pages().document(), links, pictures);
        EXPECT_FALSE(links.empty()) << name;

        for (const std::string& picture : pictures) {
            const QVariant loaded = window.pages().loadResource(QTextDocument::ImageResource, QUrl(QString::fromStdString(picture)));
            const QImage image = loaded.typeId() == QMetaType::QByteArray ? QImage::fromData(loaded.toByteArray())
                                                                          : loaded.value<QImage>();
            EXPECT_FALSE(image.isNull()) << name << ": " << picture;
        }
        // Nothing of the page is cut off at the right at the window's size.
        EXPECT_EQ(window.pages().horizontalScrollBar()->maximum(), 0) << name;
        testsupport::grabToPng(window, "help_window_" + name.substr(name.find('/') + 1, name.find('.') - name.find('/') - 1));
        EXPECT_EQ(testsupport::clippedControls(window), std::vector<std::string>{}) << name;

        for (const std::string& link : links) {
            std::optional<platform::HelpPlace> place = platform::linkedPlace({page, {}}, link);
            ASSERT_TRUE(place) << name << ": " << link << " leads outside the help";
            platform::showHelp(0, page, platform::HELP_CONTENTS, 0);
            window.followLink(link);
            EXPECT_EQ(testsupport::shownHelpPlace(), platform::helpAddress(*place)) << name << ": " << link;
            ++followed;
        }
    }
    EXPECT_GT(followed, 50);
    EXPECT_TRUE(browser.opened.empty());
    EXPECT_EQ(boxes.transcriptLines(), std::vector<std::string>{});
    platform::showHelp(0, {}, platform::HELP_QUIT, 0);
}
