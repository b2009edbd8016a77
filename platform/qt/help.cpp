// The help window: the suite's HTML help shown in a text browser of the program's own.
#include "platform/qt/help.h"

#include "platform/core/file_system.h"
#include "platform/core/message_sink.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QImage>
#include <QResizeEvent>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTextBrowser>
#include <QToolBar>
#include <QUrl>

#include <map>

namespace platform {

namespace {

bool openInDesktopBrowser(const std::string& address)
{
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(address)));
}

HelpOpener& opener()
{
    static HelpOpener open = openInDesktopBrowser;
    return open;
}

QPointer<HelpWindow>& theHelpWindow()
{
    static QPointer<HelpWindow> window;
    return window;
}

bool pageInstalled(const std::string& page)
{
    return fileExists(page) && !isDirectory(page);
}

void showBox(WindowHandle owner, std::vector<std::string> lines)
{
    MessageBoxRequest box;
    box.caption = "Orvanta: Message";
    box.lines = std::move(lines);
    box.owner = owner;
    messageSink().show(box);
}

void sayNotInstalled(WindowHandle owner, const std::string& page)
{
    showBox(owner, {"Help is not available.", "The help file " + page + " is not installed."});
}

void sayNoBrowser(WindowHandle owner, const std::string& address)
{
    showBox(owner, {"No browser could open " + address + ".", "The page stays shown in the help window."});
}

QAction* addTool(QToolBar& tools, const char* name, const QString& text, QStyle::StandardPixmap icon)
{
    QAction* action = tools.addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    if (icon != QStyle::SP_CustomBase)
        action->setIcon(tools.style()->standardIcon(icon));
    return action;
}

} // namespace

/// The text browser of the help window; pictures wider than its view are shown
/// scaled down to fit, as the pages' style sheet asks.
class HelpPages : public QTextBrowser {
public:
    explicit HelpPages(QWidget* parent) : QTextBrowser(parent) {}

    /// Forgets the pictures of the page shown before another is loaded.
    void forgetPictures() { m_pictures.clear(); }

    QVariant loadResource(int type, const QUrl& name) override
    {
        QVariant loaded = QTextBrowser::loadResource(type, name);
        if (type != QTextDocument::ImageResource)
            return loaded;
        QImage picture = loaded.typeId() == QMetaType::QByteArray ? QImage::fromData(loaded.toByteArray())
                                                                   : loaded.value<QImage>();
        if (picture.isNull())
            return loaded;
        m_pictures[name] = picture;
        return fitted(picture);
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QTextBrowser::resizeEvent(event);
        if (event->size().width() == event->oldSize().width() || m_pictures.empty())
            return;
        for (const auto& [name, picture] : m_pictures)
            document()->addResource(QTextDocument::ImageResource, name, fitted(picture));
        document()->markContentsDirty(0, document()->characterCount());
    }

private:
    QImage fitted(const QImage& picture) const
    {
        const int room = viewport()->width() - 2 * int(document()->documentMargin()) - 4;
        if (picture.width() <= room || room < 100)
            return picture;
        return picture.scaledToWidth(room, Qt::SmoothTransformation);
    }

    std::map<QUrl, QImage> m_pictures;
};

HelpWindow::HelpWindow() : FrameWindow("TQNHelpWindow")
{
    // Help stays open beside the programs, but never keeps one running.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(QStringLiteral("Orvanta Help"));

    auto* tools = new QToolBar(this);
    tools->setObjectName(QStringLiteral("helpTools"));
    tools->setMovable(false);
    tools->setFloatable(false);
    tools->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    addToolBar(Qt::TopToolBarArea, tools);
    m_back = addTool(*tools, "help_back", QStringLiteral("&Back"), QStyle::SP_ArrowBack);
    m_back->setShortcut(QKeySequence::Back);
    m_forward = addTool(*tools, "help_forward", QStringLiteral("&Forward"), QStyle::SP_ArrowForward);
    m_forward->setShortcut(QKeySequence::Forward);
    m_contents = addTool(*tools, "help_contents", QStringLiteral("&Contents"), QStyle::SP_FileDialogContentsView);
    tools->addSeparator();
    QAction* browser = addTool(*tools, "help_browser", QStringLiteral("Open in &Browser"), QStyle::SP_CustomBase);
    connect(m_back, &QAction::triggered, this, [this] { goBack(); });
    connect(m_forward, &QAction::triggered, this, [this] { goForward(); });
    connect(m_contents, &QAction::triggered, this, [this] { showContents(); });
    connect(browser, &QAction::triggered, this, [this] { openInBrowser(); });

    m_pages = new HelpPages(this);
    m_pages->setObjectName(QStringLiteral("help_pages"));
    // Links go through the help's own history, and outside addresses to the browser.
    m_pages->setOpenLinks(false);
    connect(m_pages, &QTextBrowser::anchorClicked, this,
            [this](const QUrl& link) { followLink(link.toString(QUrl::FullyEncoded).toStdString()); });
    setCentralWidget(m_pages);

    // Wide enough for the tutorial's widest picture beside the page's margins.
    QSize size(980, 800);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size() - QSize(40, 60));
    resize(size);
    showCurrent();
}

void HelpWindow::openPlace(const HelpPlace& place)
{
    // Shown first, so that the page is laid out at the window's width before it scrolls to the anchor.
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
    m_history.open(place);
    showCurrent();
}

void HelpWindow::followLink(const std::string& link)
{
    const HelpPlace* now = m_history.current();
    std::optional<HelpPlace> place = linkedPlace(now ? *now : HelpPlace{}, link);
    if (!place) {
        if (!openAddress(link))
            sayNoBrowser(handle(), link);
        return;
    }
    if (!pageInstalled(place->page)) {
        sayNotInstalled(handle(), place->page);
        return;
    }
    m_history.go(*place);
    showCurrent();
}

void HelpWindow::goBack()
{
    if (m_history.back())
        showCurrent();
}

void HelpWindow::goForward()
{
    if (m_history.forward())
        showCurrent();
}

void HelpWindow::showContents()
{
    if (m_history.contents())
        showCurrent();
}

void HelpWindow::openInBrowser()
{
    const HelpPlace* now = m_history.current();
    if (!now)
        return;
    if (!openAddress(helpAddress(*now)))
        sayNoBrowser(handle(), now->page);
}

QTextBrowser& HelpWindow::pages() const
{
    return *m_pages;
}

void HelpWindow::showCurrent()
{
    const HelpPlace* now = m_history.current();
    m_back->setEnabled(m_history.canGoBack());
    m_forward->setEnabled(m_history.canGoForward());
    m_contents->setEnabled(!m_history.contentsPage().empty());
    if (!now)
        return;
    if (now->page != m_loadedPage) {
        m_pages->forgetPictures();
        m_pages->setSource(QUrl::fromLocalFile(QString::fromStdString(now->page)));
        m_loadedPage = now->page;
        const QString title = m_pages->documentTitle();
        setWindowTitle(title.isEmpty() ? QStringLiteral("Orvanta Help") : title);
    }
    if (now->anchor.empty())
        m_pages->verticalScrollBar()->setValue(0);
    else
        m_pages->scrollToAnchor(QString::fromStdString(now->anchor));
}

HelpWindow* helpWindow()
{
    return theHelpWindow().data();
}

int showHelp(WindowHandle owner, const std::string& helpFile, unsigned command, long data)
{
    if (command == HELP_QUIT) {
        if (HelpWindow* window = helpWindow())
            window->close();
        return 1;
    }
    const HelpPlace place = helpPlace(helpFile, command, data);
    if (!pageInstalled(place.page)) {
        sayNotInstalled(owner, place.page);
        return 0;
    }
    QPointer<HelpWindow>& window = theHelpWindow();
    if (!window) {
        window = new HelpWindow;
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, window, &QObject::deleteLater);
    }
    window->openPlace(place);
    return 1;
}

bool openAddress(const std::string& address)
{
    return opener()(address);
}

void setHelpOpener(HelpOpener open)
{
    opener() = open ? std::move(open) : HelpOpener(openInDesktopBrowser);
}

} // namespace platform
