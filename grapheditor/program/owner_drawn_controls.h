// The two custom controls of the graph editor's dialogs, bound to a dialog's
// controls by id: a list box whose items show a bitmap before their text, and
// a radio button drawn wholly from three bitmaps.
#pragma once

#include "platform/core/bitmap.h"
#include "platform/qt/dialog.h"

#include <QColor>
#include <QImage>

#include <array>
#include <string>

/// An owner-drawn list: the item's bitmap at x = 0, its text at x = 64.
class TQNListBox {
public:
    static constexpr int kTextLeft = 64;
    /// The colour of the stock light-grey brush, the background of unselected items.
    static constexpr platform::ColorRef kLightGrey = 0xC0C0C0;

    /// Paints the dialog's owner-drawn list `id` from now on.
    TQNListBox(platform::Dialog& dialog, int id);

    /// The bitmap of an item (null: none); it must outlive the item.
    void setItemBitmap(int index, const platform::Bitmap* bitmap);

    /// Paints one item: the rectangle in the background colour, the text, the
    /// bitmap with its black pixels in the text colour and its white ones in the background.
    static void paintItem(QPainter& painter, const platform::OwnerDrawItem& item);

    /// The bitmap masked as an item shows it: black becomes `text`, white `background`.
    static QImage maskedImage(const platform::Bitmap& bitmap, QColor text, QColor background);

private:
    platform::Dialog& m_dialog;
    int m_id;
};

/// A radio drawn from the bitmaps `name`, `name`2 and `name`3: normal, checked, disabled.
class TQNRadioButton {
public:
    /// Loads the three bitmaps; when one is missing the user is told and the
    /// button keeps the plain look.
    TQNRadioButton(platform::Dialog& dialog, int id, const std::string& name);

    bool loaded() const { return m_loaded; }

    /// The picture of a button in a state: 0 normal, 1 checked, 2 disabled.
    static int pictureFor(bool enabled, bool checked) { return !enabled ? 2 : checked ? 1 : 0; }

private:
    bool m_loaded = false;
};
