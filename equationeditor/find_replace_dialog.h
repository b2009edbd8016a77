// The Find and Replace dialogs of the equation editor's Search menu, our own
// modeless dialogs on the platform's dialog base, over the search of
// text_search.h and the editor's edit control.
#pragma once

#include "equationeditor/text_search.h"

#include "platform/qt/dialog.h"

#include <functional>
#include <string>

class QPlainTextEdit;

/// Control ids of the dialogs.
enum FindReplaceControl : int {
    ID_FIND_NEXT = 1,
    ID_FIND_CANCEL = 2,
    ID_REPLACE_ONE = 1024,
    ID_REPLACE_ALL = 1025,
    ID_WHOLE_WORD = 1040,
    ID_MATCH_CASE = 1041,
    ID_UP = 1056,
    ID_DOWN = 1057,
    ID_FIND_TEXT = 1152,
    ID_REPLACE_TEXT = 1153,
};

/// "DLG_FIND" and "DLG_REPLACE".
const platform::DialogDescription& FindDialogDescription();
const platform::DialogDescription& ReplaceDialogDescription();

/// The search the Next command repeats; kept between openings of the dialogs.
SearchRequest& LastSearch();

/// Searches the edit from its selection with the request and selects what is
/// found; false (after the not-found box) when nothing further is.
bool SearchEdit(QPlainTextEdit& edit, const SearchRequest& request);

class TQNFindReplaceDialog : public platform::Dialog {
public:
    TQNFindReplaceDialog(QPlainTextEdit& edit, bool replace, QWidget* parent);

    bool replaceMode() const { return m_replace; }

protected:
    void notify(int id, int code) override;

private:
    SearchRequest request() const;
    QPlainTextEdit& m_edit;
    bool m_replace;
};

/// Opens the Find (or Replace) dialog for the edit; an open one of the other
/// kind closes first.
TQNFindReplaceDialog& OpenFindReplace(QPlainTextEdit& edit, bool replace, QWidget* parent);

/// The dialog while it is open; null otherwise.
TQNFindReplaceDialog* FindReplaceWindow();
