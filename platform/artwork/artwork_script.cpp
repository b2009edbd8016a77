// Reading and drawing the artwork scripts.
#include "artwork_script.h"

#include <QPainter>
#include <QPolygonF>

#include <cctype>
#include <sstream>
#include <vector>

namespace artwork {

namespace {

/// The words of one command; a quoted text is one word without its quotes.
std::vector<std::string> words(const std::string& command)
{
    std::vector<std::string> out;
    for (std::size_t i = 0; i < command.size();) {
        if (std::isspace(static_cast<unsigned char>(command[i]))) {
            ++i;
        } else if (command[i] == '\'') {
            std::size_t end = command.find('\'', i + 1);
            end = end == std::string::npos ? command.size() : end;
            out.push_back("'" + command.substr(i + 1, end - i - 1));
            i = end + 1;
        } else {
            std::size_t end = i;
            while (end < command.size() && !std::isspace(static_cast<unsigned char>(command[end])))
                ++end;
            out.push_back(command.substr(i, end - i));
            i = end;
        }
    }
    return out;
}

struct Reader {
    const std::string& picture;
    int commandNumber;
    std::string* error;

    bool fail(const std::string& what, const std::string& token)
    {
        if (error)
            *error = "artwork " + picture + ", command " + std::to_string(commandNumber) + ": " + what + " '" + token + "'";
        return false;
    }

    bool number(const std::string& token, double& value)
    {
        std::istringstream in(token);
        if (!(in >> value) || !in.eof())
            return fail("not a number", token);
        return true;
    }

    bool numbers(const std::vector<std::string>& w, std::size_t from, std::vector<double>& out)
    {
        for (std::size_t i = from; i < w.size(); ++i) {
            double v = 0;
            if (!number(w[i], v))
                return false;
            out.push_back(v);
        }
        return true;
    }
};

QPolygonF points(const std::vector<double>& v)
{
    QPolygonF polygon;
    for (std::size_t i = 0; i + 1 < v.size(); i += 2)
        polygon << QPointF(v[i], v[i + 1]);
    return polygon;
}

} // namespace

QColor namedColour(const std::string& name, const std::map<std::string, QColor>& variables)
{
    if (auto it = variables.find(name); it != variables.end())
        return it->second;
    static const std::map<std::string, QColor> names = {
        {"black", QColor(0, 0, 0)},         {"white", QColor(255, 255, 255)},   {"grey", QColor(128, 128, 128)},
        {"darkgrey", QColor(64, 64, 64)},   {"lightgrey", QColor(192, 192, 192)}, {"red", QColor(220, 30, 30)},
        {"darkred", QColor(128, 0, 0)},     {"green", QColor(40, 170, 40)},     {"darkgreen", QColor(0, 100, 0)},
        {"blue", QColor(40, 80, 220)},      {"darkblue", QColor(0, 0, 128)},    {"yellow", QColor(255, 220, 60)},
        {"orange", QColor(240, 140, 20)},   {"brown", QColor(130, 90, 20)},     {"purple", QColor(130, 40, 150)},
        {"teal", QColor(0, 128, 128)},
    };
    if (auto it = names.find(name); it != names.end())
        return it->second;
    if (name.size() == 7 && name[0] == '#')
        return QColor(QString::fromStdString(name));
    return QColor();
}

bool drawScript(QPainter& painter, const std::string& picture, const std::string& script, std::string* error,
                const std::map<std::string, QColor>& variables)
{
    painter.save();
    // Whole coordinates name pixels; their centres lie half a unit further on.
    painter.translate(0.5, 0.5);
    QPen pen(Qt::black, 1);
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::MiterJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    std::istringstream commands(script);
    std::string command;
    bool ok = true;
    for (int n = 1; ok && std::getline(commands, command, ';'); ++n) {
        Reader reader{picture, n, error};
        std::vector<std::string> w = words(command);
        if (w.empty())
            continue;
        const std::string& verb = w[0];
        auto colour = [&](const std::string& token, QColor& out) {
            out = namedColour(token, variables);
            return out.isValid() || reader.fail("unknown colour", token);
        };
        std::vector<double> v;
        if (verb == "pen" && w.size() >= 2 && w.size() <= 3) {
            QColor c;
            double width = 1;
            ok = colour(w[1], c) && (w.size() < 3 || reader.number(w[2], width));
            pen.setColor(c);
            pen.setWidthF(width);
            pen.setStyle(Qt::SolidLine);
            painter.setPen(pen);
        } else if (verb == "nopen" && w.size() == 1) {
            painter.setPen(Qt::NoPen);
        } else if (verb == "brush" && w.size() == 2) {
            QColor c;
            ok = colour(w[1], c);
            painter.setBrush(c);
        } else if (verb == "nobrush" && w.size() == 1) {
            painter.setBrush(Qt::NoBrush);
        } else if ((verb == "line" || verb == "poly") && w.size() >= 5 && w.size() % 2 == 1) {
            ok = reader.numbers(w, 1, v);
            if (ok && verb == "line")
                painter.drawPolyline(points(v));
            else if (ok)
                painter.drawPolygon(points(v));
        } else if ((verb == "rect" || verb == "ellipse" || verb == "fill") && w.size() == 5) {
            ok = reader.numbers(w, 1, v);
            QRectF r(v.size() == 4 ? QRectF(v[0], v[1], v[2] - v[0] - 1, v[3] - v[1] - 1) : QRectF());
            if (ok && verb == "rect")
                painter.drawRect(r);
            else if (ok && verb == "ellipse")
                painter.drawEllipse(r);
            else if (ok)
                painter.fillRect(QRectF(v[0] - 0.5, v[1] - 0.5, v[2] - v[0], v[3] - v[1]), painter.brush());
        } else if ((verb == "text" || verb == "ctext") && w.size() >= 5 && w.size() <= 6 && w.back()[0] == '\'') {
            bool bold = w.size() == 6;
            if (bold && w[4] != "bold")
                ok = reader.fail("expected bold, not", w[4]);
            ok = ok && reader.numbers(std::vector<std::string>(w.begin(), w.begin() + 4), 1, v);
            if (ok) {
                QFont font("DejaVu Sans");
                font.setPixelSize(static_cast<int>(v[2]));
                font.setBold(bold);
                if (!painter.testRenderHint(QPainter::Antialiasing))
                    font.setStyleStrategy(QFont::NoAntialias);
                painter.setFont(font);
                QString text = QString::fromStdString(w.back().substr(1));
                double x = v[0];
                if (verb == "ctext")
                    x -= painter.fontMetrics().horizontalAdvance(text) / 2.0;
                painter.drawText(QPointF(x - 0.5, v[1] - 0.5), text);
            }
        } else {
            ok = reader.fail("unknown command or wrong count of words in", command);
        }
    }
    painter.restore();
    return ok;
}

} // namespace artwork
