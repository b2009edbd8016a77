// Help files as HTML pages opened in the desktop's browser.
#include "platform/qt/help.h"

#include "platform/core/file_system.h"
#include "platform/core/message_sink.h"

#include <QDesktopServices>
#include <QUrl>

namespace platform {

namespace {

bool openInBrowser(const std::string& address)
{
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(address)));
}

HelpOpener& opener()
{
    static HelpOpener open = openInBrowser;
    return open;
}

} // namespace

std::string htmlHelpFile(const std::string& helpFile)
{
    std::size_t slash = helpFile.rfind('/');
    std::size_t dot = helpFile.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return helpFile + ".html";
    if (equalsNoCase(std::string_view(helpFile).substr(dot), ".html"))
        return helpFile;
    return helpFile.substr(0, dot) + ".html";
}

std::string helpAddress(const std::string& htmlFile, unsigned command, long data)
{
    std::string address = QUrl::fromLocalFile(QString::fromStdString(htmlFile)).toString().toStdString();
    if (command == HELP_CONTEXT)
        address += "#context-" + std::to_string(data);
    else if (command == HELP_HELPONHELP)
        address += "#using-help";
    return address;
}

int showHelp(WindowHandle owner, const std::string& helpFile, unsigned command, long data)
{
    if (command == HELP_QUIT)
        return 1;
    std::string html = htmlHelpFile(helpFile);
    bool installed = fileExists(html) && !isDirectory(html);
    if (installed && opener()(helpAddress(html, command, data)))
        return 1;
    MessageBoxRequest box;
    box.caption = "Orvanta: Message";
    box.lines = {"Help is not available.",
                 installed ? "No browser could open " + html + "." : "The help file " + html + " is not installed."};
    box.owner = owner;
    messageSink().show(box);
    return 0;
}

bool openAddress(const std::string& address)
{
    return opener()(address);
}

void setHelpOpener(HelpOpener open)
{
    opener() = open ? std::move(open) : HelpOpener(openInBrowser);
}

} // namespace platform
