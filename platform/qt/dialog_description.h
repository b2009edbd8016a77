// Dialog "resources" written in C++: a dialog's resource name, caption, size
// and controls, each control with its id and its place in dialog units.
//
// A dialog of the suite is described once, next to its class:
//
//     const platform::DialogDescription& fileDialog()
//     {
//         using namespace platform;
//         static const DialogDescription d{"DLG_FILE", "TQNFileDialog", "", 160, 150, {
//             staticText(-1, "Category :", {6, 6, 60, 8}),
//             comboBox(571, {6, 16, 100, 60}).hidden(),
//             staticText(-1, "Choice :", {6, 34, 60, 8}),
//             edit(572, {6, 44, 100, 12}).maxLength(8),
//             listBox(573, {6, 62, 100, 70}).columns({40}),
//             pushButton(801, "&OK", {112, 16, 40, 14}).defaultButton(),
//             pushButton(802, "&Cancel", {112, 34, 40, 14}).cancelButton(),
//             staticText(805, "", {6, 136, 148, 8}),
//         }};
//         return d;
//     }
//
// Dialog units are those of the pinned font: a quarter of an average letter
// across, an eighth of a line down. Ids follow the suite's resources; -1 is a
// label nobody addresses. Radios form a group from one marked `group()` up to
// the next such mark.
#pragma once

#include <string>
#include <vector>

namespace platform {

enum class ControlKind {
    Static,
    Edit,
    ComboBox,
    ListBox,
    CheckBox,
    RadioButton,
    PushButton,
    GroupBox,
    ScrollBar,
    ProgressBar,
    OwnerDrawList, ///< a list box whose items the dialog paints
    BitmapButton,  ///< a push button the dialog paints
    BitmapRadio,   ///< a radio button the dialog paints
};

/// A control's place: left, top, width and height in dialog units.
struct DialogRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const DialogRect&) const = default;
};

enum class TextAlign { Left, Centre, Right };

/// The style of one control; every flag off is the usual control.
struct ControlStyle {
    bool hidden = false;
    bool disabled = false;
    bool defaultButton = false; ///< Enter presses it
    bool cancelButton = false;  ///< Escape and the close box press it (else they send id 2)
    bool groupStart = false;    ///< the first radio of a group
    bool multiline = false;     ///< edit of several lines
    bool readOnly = false;
    bool verticalScroll = false;
    bool horizontalScroll = false;
    bool editable = false; ///< combo box with an edit field of its own
    bool sorted = false;   ///< list or combo box keeps its items sorted
    bool vertical = false; ///< vertical scroll bar (else horizontal)
    TextAlign align = TextAlign::Left;
};

/// One control of a dialog.
struct ControlDescription {
    ControlKind kind = ControlKind::Static;
    int id = -1;
    std::string text;
    DialogRect rect;
    ControlStyle style;
    int limit = 0;              ///< the most characters an edit takes (0: no limit)
    std::vector<int> tabStops;  ///< list box columns in dialog units (one value: a stop every so many)

    ControlDescription& hidden() { style.hidden = true; return *this; }
    ControlDescription& disabled() { style.disabled = true; return *this; }
    ControlDescription& defaultButton() { style.defaultButton = true; return *this; }
    ControlDescription& cancelButton() { style.cancelButton = true; return *this; }
    ControlDescription& group() { style.groupStart = true; return *this; }
    ControlDescription& multiline() { style.multiline = true; return *this; }
    ControlDescription& readOnly() { style.readOnly = true; return *this; }
    ControlDescription& verticalScroll() { style.verticalScroll = true; return *this; }
    ControlDescription& horizontalScroll() { style.horizontalScroll = true; return *this; }
    ControlDescription& editable() { style.editable = true; return *this; }
    ControlDescription& sorted() { style.sorted = true; return *this; }
    ControlDescription& vertical() { style.vertical = true; return *this; }
    ControlDescription& centred() { style.align = TextAlign::Centre; return *this; }
    ControlDescription& rightAligned() { style.align = TextAlign::Right; return *this; }
    ControlDescription& maxLength(int characters) { limit = characters; return *this; }
    ControlDescription& columns(std::vector<int> stops) { tabStops = std::move(stops); return *this; }
};

ControlDescription staticText(int id, std::string text, DialogRect rect);
ControlDescription edit(int id, DialogRect rect);
ControlDescription comboBox(int id, DialogRect rect);
ControlDescription listBox(int id, DialogRect rect);
ControlDescription checkBox(int id, std::string text, DialogRect rect);
ControlDescription radioButton(int id, std::string text, DialogRect rect);
ControlDescription pushButton(int id, std::string text, DialogRect rect);
ControlDescription groupBox(int id, std::string text, DialogRect rect);
ControlDescription scrollBar(int id, DialogRect rect);
ControlDescription progressBar(int id, DialogRect rect);
ControlDescription ownerDrawList(int id, DialogRect rect);
ControlDescription bitmapButton(int id, DialogRect rect);
ControlDescription bitmapRadio(int id, DialogRect rect);

/// A whole dialog: `resourceName` becomes its object name, `className` the
/// class it is registered under (the resource name when empty); the size is
/// that of its inside in dialog units.
struct DialogDescription {
    std::string resourceName;
    std::string className;
    std::string caption;
    int width = 0;
    int height = 0;
    std::vector<ControlDescription> controls;

    /// The control with that id; null when there is none.
    const ControlDescription* find(int id) const;
};

/// Dialog ids and notification codes as the suite's dialogs know them.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

inline constexpr int BN_CLICKED = 0;
inline constexpr int BN_DOUBLECLICKED = 5;
inline constexpr int EN_SETFOCUS = 0x0100;
inline constexpr int EN_KILLFOCUS = 0x0200;
inline constexpr int EN_CHANGE = 0x0300;
inline constexpr int LBN_SELCHANGE = 1;
inline constexpr int LBN_DBLCLK = 2;
inline constexpr int LBN_SETFOCUS = 4;
inline constexpr int LBN_KILLFOCUS = 5;
inline constexpr int CBN_SELCHANGE = 1;
inline constexpr int CBN_EDITCHANGE = 5;
inline constexpr int SB_LINEUP = 0;
inline constexpr int SB_LINEDOWN = 1;
inline constexpr int SB_PAGEUP = 2;
inline constexpr int SB_PAGEDOWN = 3;
inline constexpr int SB_THUMBPOSITION = 4;
inline constexpr int SB_THUMBTRACK = 5;
inline constexpr int SB_TOP = 6;
inline constexpr int SB_BOTTOM = 7;

} // namespace platform
