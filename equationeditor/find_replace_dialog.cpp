// The Find and Replace dialogs.
#include "equationeditor/find_replace_dialog.h"

#include "common/message_boxes.h"

#include <QPlainTextEdit>
#include <QTextCursor>

namespace {

platform::DialogInstance<TQNFindReplaceDialog> g_dialog;

/// Byte offsets of the UTF-8 text and positions of the edit's text.
int editPosition(const std::string& text, std::size_t offset)
{
    return static_cast<int>(QString::fromUtf8(text.data(), static_cast<qsizetype>(offset)).size());
}

std::size_t byteOffset(const QString& text, int position)
{
    return static_cast<std::size_t>(text.left(position).toUtf8().size());
}

TextRange selectionOf(const QPlainTextEdit& edit, const QString& text)
{
    const QTextCursor cursor = edit.textCursor();
    const std::size_t start = byteOffset(text, cursor.selectionStart());
    return {start, byteOffset(text, cursor.selectionEnd()) - start};
}

void select(QPlainTextEdit& edit, const std::string& text, const TextRange& range)
{
    QTextCursor cursor = edit.textCursor();
    cursor.setPosition(editPosition(text, range.start));
    cursor.setPosition(editPosition(text, range.start + range.length), QTextCursor::KeepAnchor);
    edit.setTextCursor(cursor);
    edit.ensureCursorVisible();
}

platform::DialogDescription describe(bool replace)
{
    using namespace platform;
    DialogDescription d{replace ? "DLG_REPLACE" : "DLG_FIND", "TQNFindReplaceDialog", replace ? "Replace" : "Find",
                        236, replace ? 94 : 64, {}};
    d.controls.push_back(staticText(-1, "Fi&nd what:", {6, 8, 48, 8}));
    d.controls.push_back(edit(ID_FIND_TEXT, {56, 6, 114, 12}));
    int y = 24;
    if (replace) {
        d.controls.push_back(staticText(-1, "Re&place with:", {6, 26, 48, 8}));
        d.controls.push_back(edit(ID_REPLACE_TEXT, {56, 24, 114, 12}));
        y = 44;
    }
    d.controls.push_back(checkBox(ID_WHOLE_WORD, "Match &whole word only", {6, y, 104, 10}));
    d.controls.push_back(checkBox(ID_MATCH_CASE, "Match &case", {6, y + 14, 104, 10}));
    if (!replace) {
        // The group runs up to the buttons so that "Down" is shown whole.
        d.controls.push_back(groupBox(-1, "Direction", {110, y - 4, 64, 32}));
        d.controls.push_back(radioButton(ID_UP, "&Up", {116, y + 8, 22, 10}).group());
        d.controls.push_back(radioButton(ID_DOWN, "&Down", {138, y + 8, 34, 10}));
    }
    d.controls.push_back(pushButton(ID_FIND_NEXT, "&Find Next", {178, 6, 52, 14}).defaultButton());
    if (replace) {
        d.controls.push_back(pushButton(ID_REPLACE_ONE, "&Replace", {178, 24, 52, 14}));
        d.controls.push_back(pushButton(ID_REPLACE_ALL, "Replace &All", {178, 42, 52, 14}));
        d.controls.push_back(pushButton(ID_FIND_CANCEL, "Cancel", {178, 60, 52, 14}).cancelButton());
    } else {
        d.controls.push_back(pushButton(ID_FIND_CANCEL, "Cancel", {178, 24, 52, 14}).cancelButton());
    }
    return d;
}

} // namespace

const platform::DialogDescription& FindDialogDescription()
{
    static const platform::DialogDescription d = describe(false);
    return d;
}

const platform::DialogDescription& ReplaceDialogDescription()
{
    static const platform::DialogDescription d = describe(true);
    return d;
}

SearchRequest& LastSearch()
{
    static SearchRequest request;
    return request;
}

bool SearchEdit(QPlainTextEdit& edit, const SearchRequest& request)
{
    const QString shown = edit.toPlainText();
    const std::string text = shown.toStdString();
    const std::optional<TextRange> found = FindNext(text, selectionOf(edit, shown), request);
    if (!found) {
        ShowMessage({NotFoundText(request)});
        return false;
    }
    select(edit, text, *found);
    return true;
}

TQNFindReplaceDialog::TQNFindReplaceDialog(QPlainTextEdit& edit, bool replace, QWidget* parent)
    : Dialog(replace ? ReplaceDialogDescription() : FindDialogDescription(), parent), m_edit(edit), m_replace(replace)
{
    const SearchRequest& last = LastSearch();
    const QString selected = edit.textCursor().selectedText();
    setText(ID_FIND_TEXT, !selected.isEmpty() && !selected.contains(QChar::ParagraphSeparator)
                              ? selected.toStdString()
                              : last.findText);
    if (replace)
        setText(ID_REPLACE_TEXT, last.replaceText);
    setChecked(ID_WHOLE_WORD, last.wholeWord);
    setChecked(ID_MATCH_CASE, last.matchCase);
    if (!replace)
        setChecked(last.down ? ID_DOWN : ID_UP, true);
    selectAllText(ID_FIND_TEXT);
    focusControl(ID_FIND_TEXT);
}

SearchRequest TQNFindReplaceDialog::request() const
{
    SearchRequest request;
    request.findText = text(ID_FIND_TEXT);
    if (m_replace)
        request.replaceText = text(ID_REPLACE_TEXT);
    request.wholeWord = isChecked(ID_WHOLE_WORD);
    request.matchCase = isChecked(ID_MATCH_CASE);
    request.down = m_replace || !isChecked(ID_UP);
    return request;
}

void TQNFindReplaceDialog::notify(int id, int code)
{
    if (code != platform::BN_CLICKED || (id != ID_FIND_NEXT && id != ID_REPLACE_ONE && id != ID_REPLACE_ALL)) {
        Dialog::notify(id, code);
        return;
    }
    const SearchRequest wanted = request();
    LastSearch() = wanted;
    if (wanted.findText.empty())
        return;
    SetTempMessageOwner(handle());
    if (id == ID_FIND_NEXT) {
        SearchEdit(m_edit, wanted);
    } else {
        const QString shown = m_edit.toPlainText();
        std::string text = shown.toStdString();
        QTextCursor cursor = m_edit.textCursor();
        if (id == ID_REPLACE_ALL) {
            std::string changed = text;
            if (const int count = ReplaceAll(changed, wanted); count > 0) {
                // One edit of the whole text, so that a single Undo takes it back.
                cursor.beginEditBlock();
                cursor.select(QTextCursor::Document);
                cursor.insertText(QString::fromStdString(changed));
                cursor.endEditBlock();
                ShowMessage({std::to_string(count) + " occurrence" + (count == 1 ? "" : "s") + " replaced."});
            } else {
                ShowMessage({NotFoundText(wanted)});
            }
        } else {
            const TextRange selection = selectionOf(m_edit, shown);
            std::string changed = text;
            const std::optional<TextRange> next = ReplaceNext(changed, selection, wanted);
            if (changed != text) {
                cursor.insertText(QString::fromStdString(wanted.replaceText));
                text = changed;
            }
            if (next)
                select(m_edit, text, *next);
            else
                ShowMessage({NotFoundText(wanted)});
        }
    }
    RestoreMessageOwner();
}

TQNFindReplaceDialog& OpenFindReplace(QPlainTextEdit& edit, bool replace, QWidget* parent)
{
    if (TQNFindReplaceDialog* open = g_dialog.get(); open && open->replaceMode() != replace)
        g_dialog.close();
    return g_dialog.open([&] { return new TQNFindReplaceDialog(edit, replace, parent); });
}

TQNFindReplaceDialog* FindReplaceWindow()
{
    return g_dialog.get();
}
