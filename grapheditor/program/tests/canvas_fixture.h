// The graph editor's main window with a new graph on a canvas without its grid, driven as a
// user drives it: mouse clicks and drags on the canvas, the draw popup's tools and library,
// and typing into dialogs.
#pragma once

#include "grapheditor/program/tests/main_window_fixture.h"

#include "grapheditor/program/draw_popup.h"

#include "common/name_chooser_dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QRadioButton>

namespace editortest {

class CanvasWindow : public MainWindow {
protected:
    /// A new graph in the window started as the program starts it, the canvas without its grid.
    void SetUp() override
    {
        editortest::MainWindow::SetUp();
        writeSettings(0, 1, 0);
        startWindow();
        CloseStartupBox();
        NewGraphCommand();
    }

    QWidget& canvas() const { return window->canvas(); }
    QPoint device(int x, int y) const
    {
        return {x - window->canvas().Scroller()->xPos(), y - window->canvas().Scroller()->yPos()};
    }

    void mouse(QEvent::Type type, int x, int y, Qt::MouseButton button, Qt::MouseButtons held)
    {
        const QPointF at = device(x, y);
        QMouseEvent event(type, at, canvas().mapToGlobal(at), button, held, Qt::NoModifier);
        QApplication::sendEvent(&canvas(), &event);
    }
    void click(int x, int y)
    {
        mouse(QEvent::MouseButtonPress, x, y, Qt::LeftButton, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, x, y, Qt::LeftButton, Qt::NoButton);
    }
    void doubleClick(int x, int y)
    {
        click(x, y);
        mouse(QEvent::MouseButtonDblClick, x, y, Qt::LeftButton, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, x, y, Qt::LeftButton, Qt::NoButton);
    }
    /// Presses on the point, moves the mouse there and on in steps, and lets go at the end.
    void drag(int x0, int y0, int x1, int y1)
    {
        mouse(QEvent::MouseButtonPress, x0, y0, Qt::LeftButton, Qt::LeftButton);
        for (int step = 1; step <= 4; ++step)
            mouse(QEvent::MouseMove, x0 + (x1 - x0) * step / 4, y0 + (y1 - y0) * step / 4, Qt::NoButton,
                  Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, x1, y1, Qt::LeftButton, Qt::NoButton);
    }

    void openPopup()
    {
        window->runCommand(CM_DRAW_POPUP);
        ASSERT_NE(DrawPopup(), nullptr);
    }
    /// Clicks an item of a list control of a dialog.
    static void clickItem(QWidget& dialog, int id, const QString& text)
    {
        auto* list = testsupport::findControl<QListWidget>(dialog, id);
        ASSERT_NE(list, nullptr) << id;
        const QList<QListWidgetItem*> items = list->findItems(text, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1) << text.toStdString();
        const QRect rect = list->visualItemRect(items.front());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    }
    static void clickButton(QWidget& dialog, int id)
    {
        auto* button = testsupport::findControl<QAbstractButton>(dialog, id);
        ASSERT_NE(button, nullptr) << id;
        // A radio or check box takes clicks on its indicator and text only.
        const bool indicator = qobject_cast<QRadioButton*>(button) || qobject_cast<QCheckBox*>(button);
        const QPoint at = indicator ? QPoint(6, button->height() / 2) : button->rect().center();
        QTest::mouseClick(button, Qt::LeftButton, {}, at);
    }
    /// Picks a library entry of the popup's directory list by their texts.
    void pick(const QString& directory, const QString& entry)
    {
        clickItem(*DrawPopup(), ID_DRAW_DIRECTORIES, directory);
        clickItem(*DrawPopup(), ID_DRAW_LIBRARY, entry);
    }
    void tool(int tool) { clickButton(*DrawPopup(), int(ID_DRAW_FIRST_TOOL) + tool); }

    static void typeInto(QWidget& dialog, int id, const QString& text)
    {
        auto* edit = testsupport::findControl<QLineEdit>(dialog, id);
        ASSERT_NE(edit, nullptr) << id;
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }
    /// Types the name into the open model-name chooser and confirms it.
    void chooseName(const std::string& name)
    {
        TQNFileDialog* chooser = NameChooserWindow();
        ASSERT_NE(chooser, nullptr) << window->shownStatusText();
        typeInto(*chooser, ID_CHOOSER_NAME, QString::fromStdString(name));
        clickButton(*chooser, ID_CHOOSER_OK);
    }
};

} // namespace editortest
