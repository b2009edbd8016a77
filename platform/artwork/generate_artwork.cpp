// Build step: draws every picture of the artwork tables into a PNG and lists
// them in a Qt resource file (prefix /orvanta): toolbar/<command id>.png,
// bitmaps/<name>.png (radio buttons, the about picture and the wizard's pages),
// icons/<name>-<size>.png (the windows' icons at each of their sizes) and
// symbols/<resource name>.png (element symbols with their "BW" form, and the
// connection symbols), and symbols/<resource name>.svg (the element symbols as
// drawings, for printing).
//
//   generate_artwork OUTPUT_DIRECTORY
#include "artwork_script.h"
#include "artwork_tables.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

#include <cstdio>
#include <functional>

namespace {

using artwork::Picture;

struct Output {
    QString directory;
    QStringList files;            // relative to the resource file
    QList<QPair<QString, QString>> aliases; // alias, file
    bool failed = false;

    void save(const QImage& image, const QString& file)
    {
        QString path = directory + "/" + file;
        QDir().mkpath(QFileInfo(path).path());
        if (!image.save(path, "PNG")) {
            std::fprintf(stderr, "generate_artwork: cannot write %s\n", qPrintable(path));
            failed = true;
        }
        files << file;
    }
};

/// Draws a picture on a ground; false (with the message printed) when its script is wrong.
bool paint(QImage& image, const Picture& picture, bool smooth, const std::map<std::string, QColor>& variables = {},
           const std::function<void(QPainter&)>& before = {})
{
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, smooth);
    painter.setRenderHint(QPainter::TextAntialiasing, smooth);
    if (before)
        before(painter);
    std::string error;
    if (!artwork::drawScript(painter, picture.name, picture.script, &error, variables)) {
        std::fprintf(stderr, "generate_artwork: %s\n", error.c_str());
        return false;
    }
    return true;
}

/// The picture as an SVG drawing on a clear ground: its lines, shapes and
/// letters as vectors, for printing at any size. False when the script is wrong.
bool paintVector(Output& out, const Picture& picture, const QString& file)
{
    QByteArray svg;
    QBuffer buffer(&svg);
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    generator.setSize(QSize(picture.width, picture.height));
    generator.setViewBox(QRect(0, 0, picture.width, picture.height));
    generator.setResolution(96);
    generator.setTitle(QString::fromStdString(picture.name));
    bool drawn = false;
    {
        QPainter painter(&generator);
        std::string error;
        drawn = artwork::drawScript(painter, picture.name, picture.script, &error);
        if (!drawn)
            std::fprintf(stderr, "generate_artwork: %s\n", error.c_str());
    }
    QString path = out.directory + "/" + file;
    QDir().mkpath(QFileInfo(path).path());
    QFile written(path);
    if (!written.open(QIODevice::WriteOnly | QIODevice::Truncate) || written.write(svg) != svg.size()) {
        std::fprintf(stderr, "generate_artwork: cannot write %s\n", qPrintable(path));
        out.failed = true;
    }
    out.files << file;
    return drawn;
}

QImage ground(const Picture& picture, QColor colour)
{
    QImage image(picture.width, picture.height, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

/// A button face, raised or pressed in, of the image's size.
void buttonFace(QPainter& painter, const QImage& image, bool pressed)
{
    int r = image.width() - 1, b = image.height() - 1;
    QColor light(255, 255, 255), shadow(128, 128, 128), dark(0, 0, 0);
    painter.setPen(pressed ? dark : light);
    painter.drawLine(0, 0, r, 0);
    painter.drawLine(0, 0, 0, b);
    painter.setPen(pressed ? light : dark);
    painter.drawLine(0, b, r, b);
    painter.drawLine(r, 0, r, b);
    painter.setPen(shadow);
    if (pressed) {
        painter.drawLine(1, 1, r - 1, 1);
        painter.drawLine(1, 1, 1, b - 1);
    } else {
        painter.drawLine(1, b - 1, r - 1, b - 1);
        painter.drawLine(r - 1, 1, r - 1, b - 1);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: generate_artwork OUTPUT_DIRECTORY\n");
        return 2;
    }
    Output out;
    out.directory = QString::fromLocal8Bit(argv[1]);
    bool ok = true;

    for (const Picture& picture : artwork::toolBarImages()) {
        QImage image = ground(picture, Qt::transparent);
        ok = paint(image, picture, true) && ok;
        out.save(image, "toolbar/" + QString::fromStdString(picture.name) + ".png");
    }
    for (auto [id, shown] : artwork::toolBarAliases())
        out.aliases << qMakePair(QString("toolbar/%1.png").arg(id), QString("toolbar/%1.png").arg(shown));

    for (const Picture& picture : artwork::windowIcons()) {
        QImage image = ground(picture, Qt::transparent);
        ok = paint(image, picture, true) && ok;
        out.save(image, QString("icons/%1-%2.png").arg(QString::fromStdString(picture.name)).arg(picture.width));
    }

    const QColor face(192, 192, 192);
    for (const Picture& picture : artwork::radioPictures()) {
        QString name = QString::fromStdString(picture.name);
        QImage normal = ground(picture, face), checked = ground(picture, QColor(224, 224, 224)),
               disabled = ground(picture, face);
        ok = paint(normal, picture, false, {{"ink", Qt::black}},
                   [&](QPainter& p) { buttonFace(p, normal, false); }) && ok;
        ok = paint(checked, picture, false, {{"ink", Qt::black}}, [&](QPainter& p) {
                 buttonFace(p, checked, true);
                 p.translate(1, 1);
             }) && ok;
        // Disabled: grey with a white shadow, as the system greys a picture.
        ok = paint(disabled, picture, false, {{"ink", Qt::white}}, [&](QPainter& p) {
                 buttonFace(p, disabled, false);
                 p.translate(1, 1);
             }) && ok;
        ok = paint(disabled, picture, false, {{"ink", QColor(128, 128, 128)}}) && ok;
        out.save(normal, "bitmaps/" + name + ".png");
        out.save(checked, "bitmaps/" + name + "2.png");
        out.save(disabled, "bitmaps/" + name + "3.png");
    }

    const Picture& about = artwork::aboutPicture();
    QImage aboutImage = ground(about, Qt::white);
    ok = paint(aboutImage, about, true) && ok;
    out.save(aboutImage, "bitmaps/" + QString::fromStdString(about.name) + ".png");

    for (const Picture& picture : artwork::wizardPictures()) {
        QImage image = ground(picture, Qt::white);
        ok = paint(image, picture, true) && ok;
        out.save(image, "bitmaps/" + QString::fromStdString(picture.name) + ".png");
    }

    for (const Picture& symbol : artwork::elementSymbols()) {
        QImage colour = ground(symbol, Qt::white);
        ok = paint(colour, symbol, false) && ok;
        QImage blackAndWhite = colour.copy();
        for (int y = 0; y < blackAndWhite.height(); ++y)
            for (int x = 0; x < blackAndWhite.width(); ++x)
                if (blackAndWhite.pixel(x, y) != qRgb(255, 255, 255))
                    blackAndWhite.setPixel(x, y, qRgb(0, 0, 0));
        QString resource = "BM_" + QString::fromStdString(symbol.name).toUpper();
        out.save(colour, "symbols/" + resource + ".png");
        out.save(blackAndWhite, "symbols/" + resource + "BW.png");
        ok = paintVector(out, symbol, "symbols/" + resource + ".svg") && ok;
    }

    for (const Picture& symbol : artwork::connectionSymbols()) {
        QImage colour = ground(symbol, Qt::white);
        ok = paint(colour, symbol, false) && ok;
        out.save(colour, "symbols/BM_" + QString::fromStdString(symbol.name).toUpper() + ".png");
    }

    QFile qrc(out.directory + "/artwork.qrc");
    if (!ok || out.failed || !qrc.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "generate_artwork: the artwork was not made\n");
        return 1;
    }
    QTextStream text(&qrc);
    text << "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"/orvanta\">\n";
    for (const QString& file : out.files)
        text << "  <file>" << file << "</file>\n";
    for (const auto& [alias, file] : out.aliases)
        text << "  <file alias=\"" << alias << "\">" << file << "</file>\n";
    text << "</qresource>\n</RCC>\n";
    return 0;
}
