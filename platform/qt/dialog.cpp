// Dialogs built from descriptions: one Qt widget per control, named id<N>,
// placed in dialog units of the pinned font.
#include "platform/qt/dialog.h"

#include "platform/core/window_registry.h"
#include "platform/qt/window_widgets.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

#include <algorithm>

namespace platform {

namespace {

QString fromText(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

Qt::Alignment alignment(TextAlign align)
{
    switch (align) {
    case TextAlign::Centre:
        return Qt::AlignHCenter;
    case TextAlign::Right:
        return Qt::AlignRight;
    case TextAlign::Left:
        break;
    }
    return Qt::AlignLeft;
}

/// "&&" as "&" and the mnemonic marks dropped, for a label with nothing to lead to.
QString withoutMnemonics(const QString& text)
{
    QString plain;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size())
            ++i;
        plain += text[i];
    }
    return plain;
}

int scrollCode(int action)
{
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
        return SB_LINEUP;
    case QAbstractSlider::SliderSingleStepAdd:
        return SB_LINEDOWN;
    case QAbstractSlider::SliderPageStepSub:
        return SB_PAGEUP;
    case QAbstractSlider::SliderPageStepAdd:
        return SB_PAGEDOWN;
    case QAbstractSlider::SliderToMinimum:
        return SB_TOP;
    case QAbstractSlider::SliderToMaximum:
        return SB_BOTTOM;
    case QAbstractSlider::SliderMove:
        return SB_THUMBTRACK;
    default:
        return -1;
    }
}

bool isListKind(ControlKind kind)
{
    return kind == ControlKind::ListBox || kind == ControlKind::OwnerDrawList;
}

/// Where a sorted list takes a new text: before the first that sorts after it, ignoring case.
template <class TextAt>
int sortedPosition(int count, const QString& text, TextAt textAt)
{
    for (int i = 0; i < count; ++i)
        if (QString::compare(textAt(i), text, Qt::CaseInsensitive) > 0)
            return i;
    return count;
}

} // namespace

Dialog::Dialog(const DialogDescription& description, QWidget* parent)
    : QDialog(parent), m_resourceName(description.resourceName),
      m_className(description.className.empty() ? description.resourceName : description.className),
      m_caption(description.caption), m_timers(*this, [this](int id) { handleTimer(id); })
{
    setObjectName(QString::fromStdString(m_resourceName));
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(pinnedFont());
    m_base = dialogBaseUnits(font());
    setWindowTitle(QString::fromStdString(m_caption));
    setFixedSize(toPixels({0, 0, description.width, description.height}).size());
    build(description);
    attach();
}

Dialog::~Dialog()
{
    detach();
}

QRect Dialog::toPixels(const DialogRect& rect) const
{
    auto across = [this](int units) { return (units * m_base.x + 2) / 4; };
    auto down = [this](int units) { return (units * m_base.y + 4) / 8; };
    return QRect(across(rect.x), down(rect.y), across(rect.width), down(rect.height));
}

void Dialog::build(const DialogDescription& description)
{
    QButtonGroup* radios = nullptr;
    std::vector<std::pair<QLabel*, QString>> labels;
    std::vector<QWidget*> made;
    for (const ControlDescription& control : description.controls) {
        if (control.style.groupStart)
            radios = nullptr;
        QWidget* widget = makeControl(control);
        if (control.kind == ControlKind::RadioButton || control.kind == ControlKind::BitmapRadio) {
            if (!radios)
                radios = new QButtonGroup(this);
            radios->addButton(static_cast<QAbstractButton*>(widget));
            if (control.id != -1)
                m_radioGroups[control.id] = radios;
        }
        if (control.kind == ControlKind::Static)
            labels.emplace_back(static_cast<QLabel*>(widget), fromText(control.text));
        if (control.style.cancelButton)
            m_cancelId = control.id;
        if (control.id != -1) {
            widget->setObjectName(QStringLiteral("id%1").arg(control.id));
            m_controls.emplace(control.id, widget);
        }
        if (control.style.hidden)
            widget->hide();
        if (control.style.disabled)
            widget->setEnabled(false);
        made.push_back(widget);
    }
    // A label's mnemonic leads to the control after it, as in a dialog template.
    for (auto& [label, text] : labels) {
        auto at = std::find(made.begin(), made.end(), label);
        QWidget* next = nullptr;
        for (auto it = at + 1; it != made.end() && !next; ++it)
            if ((*it)->focusPolicy() != Qt::NoFocus)
                next = *it;
        if (next && text.contains(QLatin1Char('&'))) {
            label->setText(text);
            label->setBuddy(next);
        } else {
            label->setText(withoutMnemonics(text));
        }
    }
    // Group boxes lie behind the controls they frame.
    for (QWidget* widget : made)
        if (qobject_cast<QGroupBox*>(widget))
            widget->lower();
}

QWidget* Dialog::makeControl(const ControlDescription& control)
{
    const int id = control.id;
    const QString text = fromText(control.text);
    QWidget* widget = nullptr;
    switch (control.kind) {
    case ControlKind::Static: {
        auto* label = new QLabel(this);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(alignment(control.style.align) | Qt::AlignTop);
        label->setWordWrap(true);
        widget = label;
        break;
    }
    case ControlKind::Edit:
        if (control.style.multiline) {
            auto* editor = new QPlainTextEdit(this);
            editor->setReadOnly(control.style.readOnly);
            editor->setLineWrapMode(control.style.horizontalScroll ? QPlainTextEdit::NoWrap
                                                                  : QPlainTextEdit::WidgetWidth);
            editor->setVerticalScrollBarPolicy(control.style.verticalScroll ? Qt::ScrollBarAlwaysOn
                                                                            : Qt::ScrollBarAlwaysOff);
            editor->setHorizontalScrollBarPolicy(control.style.horizontalScroll ? Qt::ScrollBarAlwaysOn
                                                                                : Qt::ScrollBarAlwaysOff);
            editor->setPlainText(text);
            connect(editor, &QPlainTextEdit::textChanged, this, [this, id] { notify(id, EN_CHANGE); });
            widget = editor;
        } else {
            auto* line = new QLineEdit(text, this);
            line->setReadOnly(control.style.readOnly);
            line->setAlignment(alignment(control.style.align));
            if (control.limit > 0)
                line->setMaxLength(control.limit);
            connect(line, &QLineEdit::textChanged, this, [this, id] { notify(id, EN_CHANGE); });
            widget = line;
        }
        m_focusCodes[widget] = {id, EN_SETFOCUS, EN_KILLFOCUS};
        widget->installEventFilter(this);
        break;
    case ControlKind::ComboBox: {
        auto* combo = new QComboBox(this);
        combo->setEditable(control.style.editable);
        connect(combo, &QComboBox::activated, this, [this, id] { userNotify(id, CBN_SELCHANGE); });
        if (QLineEdit* line = combo->lineEdit())
            connect(line, &QLineEdit::textEdited, this, [this, id] { userNotify(id, CBN_EDITCHANGE); });
        widget = combo;
        break;
    }
    case ControlKind::ListBox:
    case ControlKind::OwnerDrawList: {
        auto* list = new QListWidget(this);
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        list->setUniformItemSizes(true);
        auto* delegate = new ListItemDelegate(id, list);
        delegate->setTabStops(control.tabStops);
        list->setItemDelegate(delegate);
        // After the selection has moved, so that the handler reads the new one.
        connect(list, &QListWidget::itemSelectionChanged, this, [this, id] { userNotify(id, LBN_SELCHANGE); });
        connect(list, &QListWidget::itemDoubleClicked, this, [this, id] { userNotify(id, LBN_DBLCLK); });
        m_focusCodes[list] = {id, LBN_SETFOCUS, LBN_KILLFOCUS};
        list->installEventFilter(this);
        widget = list;
        break;
    }
    case ControlKind::CheckBox: {
        auto* box = new QCheckBox(text, this);
        connect(box, &QCheckBox::clicked, this, [this, id] { notify(id, BN_CLICKED); });
        widget = box;
        break;
    }
    case ControlKind::RadioButton: {
        auto* radio = new QRadioButton(text, this);
        radio->setAutoExclusive(false);
        connect(radio, &QRadioButton::clicked, this, [this, id] { notify(id, BN_CLICKED); });
        widget = radio;
        break;
    }
    case ControlKind::PushButton: {
        auto* button = new QPushButton(text, this);
        button->setDefault(control.style.defaultButton);
        connect(button, &QPushButton::clicked, this, [this, id] { notify(id, BN_CLICKED); });
        widget = button;
        break;
    }
    case ControlKind::GroupBox:
        widget = new QGroupBox(text, this);
        widget->setFocusPolicy(Qt::NoFocus);
        break;
    case ControlKind::ScrollBar: {
        auto* bar = new QScrollBar(control.style.vertical ? Qt::Vertical : Qt::Horizontal, this);
        bar->setRange(0, 100);
        connect(bar, &QScrollBar::actionTriggered, this, [this, id](int action) {
            int code = scrollCode(action);
            if (code >= 0)
                userNotify(id, code);
        });
        connect(bar, &QScrollBar::sliderReleased, this, [this, id] { userNotify(id, SB_THUMBPOSITION); });
        widget = bar;
        break;
    }
    case ControlKind::ProgressBar: {
        auto* progress = new QProgressBar(this);
        progress->setRange(0, 100);
        progress->setValue(0);
        progress->setTextVisible(false);
        widget = progress;
        break;
    }
    case ControlKind::BitmapButton:
    case ControlKind::BitmapRadio: {
        auto* button = new OwnerDrawnButton(id, control.kind == ControlKind::BitmapRadio, this);
        button->setText(text);
        button->setFocusPolicy(Qt::StrongFocus);
        connect(button, &QAbstractButton::clicked, this, [this, id] { notify(id, BN_CLICKED); });
        button->setDoubleClickHandler([this, id] { notify(id, BN_DOUBLECLICKED); });
        widget = button;
        break;
    }
    }
    if (control.kind == ControlKind::ComboBox || isListKind(control.kind))
        widget->setProperty("sorted", control.style.sorted);
    QRect place = toPixels(control.rect);
    // A combo box's height in a template reaches to the bottom of its open list.
    if (control.kind == ControlKind::ComboBox)
        place.setHeight(widget->sizeHint().height());
    widget->setGeometry(place);
    return widget;
}

int Dialog::runModal()
{
    m_ended = false;
    setAttribute(Qt::WA_DeleteOnClose, false);
    attach();
    return exec();
}

void Dialog::showModeless()
{
    m_ended = false;
    setAttribute(Qt::WA_DeleteOnClose, true);
    attach();
    show();
    raise();
    activateWindow();
}

void Dialog::showWindowModal()
{
    // Modality is taken at showing: a dialog shown already is hidden for a moment to take it.
    if (isVisible() && windowModality() != Qt::WindowModal)
        hide();
    setWindowModality(Qt::WindowModal);
    showModeless();
}

void Dialog::endDialog(int result)
{
    done(result);
}

void Dialog::done(int result)
{
    m_ended = true;
    detach();
    QDialog::done(result);
}

void Dialog::reject()
{
    // Escape and the close box: the command of the cancel button, as a click on it.
    notify(m_cancelId, BN_CLICKED);
}

void Dialog::notify(int id, int code)
{
    if (code == BN_CLICKED && (id == IDOK || id == IDCANCEL || id == m_cancelId))
        endDialog(id == IDOK ? IDOK : IDCANCEL);
}

void Dialog::handleMessage(const Message&)
{
}

void Dialog::handleTimer(int)
{
}

void Dialog::userNotify(int id, int code)
{
    if (m_quiet == 0)
        notify(id, code);
}

void Dialog::setCaption(const std::string& caption)
{
    m_caption = caption;
    setEdited(m_edited);
}

void Dialog::setEdited(bool edited)
{
    m_edited = edited;
    setWindowTitle(QString::fromStdString(edited ? m_caption + " (edited)" : m_caption));
}

QWidget* Dialog::control(int id) const
{
    auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

void Dialog::enableControl(int id, bool enabled)
{
    if (QWidget* widget = control(id))
        widget->setEnabled(enabled);
}

bool Dialog::isControlEnabled(int id) const
{
    QWidget* widget = control(id);
    return widget && widget->isEnabled();
}

void Dialog::showControl(int id, bool shown)
{
    if (QWidget* widget = control(id))
        widget->setVisible(shown);
}

void Dialog::focusControl(int id)
{
    if (QWidget* widget = control(id))
        widget->setFocus(Qt::OtherFocusReason);
}

void Dialog::setControlFont(int id, const FontSpec& font)
{
    if (QWidget* widget = control(id))
        widget->setFont(widgetFont(font));
}

void Dialog::setText(int id, std::string_view text)
{
    QWidget* widget = control(id);
    QString value = fromText(text);
    if (auto* label = qobject_cast<QLabel*>(widget))
        label->setText(value);
    else if (auto* line = qobject_cast<QLineEdit*>(widget))
        line->setText(value);
    else if (auto* editor = qobject_cast<QPlainTextEdit*>(widget))
        editor->setPlainText(value.replace(QLatin1String("\r\n"), QLatin1String("\n")));
    else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        button->setText(value);
    else if (auto* group = qobject_cast<QGroupBox*>(widget))
        group->setTitle(value);
    else if (auto* combo = qobject_cast<QComboBox*>(widget); combo && combo->isEditable())
        combo->setEditText(value);
}

std::string Dialog::text(int id) const
{
    QWidget* widget = control(id);
    QString value;
    if (auto* label = qobject_cast<QLabel*>(widget))
        value = label->text();
    else if (auto* line = qobject_cast<QLineEdit*>(widget))
        value = line->text();
    else if (auto* editor = qobject_cast<QPlainTextEdit*>(widget))
        value = editor->toPlainText();
    else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        value = button->text();
    else if (auto* group = qobject_cast<QGroupBox*>(widget))
        value = group->title();
    else if (auto* combo = qobject_cast<QComboBox*>(widget))
        value = combo->currentText();
    return value.toStdString();
}

void Dialog::setTextLimit(int id, int characters)
{
    if (auto* line = controlAs<QLineEdit>(id))
        line->setMaxLength(characters > 0 ? characters : 32767);
}

void Dialog::selectAllText(int id)
{
    QWidget* widget = control(id);
    if (auto* line = qobject_cast<QLineEdit*>(widget))
        line->selectAll();
    else if (auto* editor = qobject_cast<QPlainTextEdit*>(widget))
        editor->selectAll();
    else if (auto* combo = qobject_cast<QComboBox*>(widget); combo && combo->lineEdit())
        combo->lineEdit()->selectAll();
}

void Dialog::setChecked(int id, bool checked)
{
    auto* button = controlAs<QAbstractButton>(id);
    if (!button)
        return;
    if (!button->isCheckable())
        button->setCheckable(true);
    auto group = m_radioGroups.find(id);
    if (!checked && group != m_radioGroups.end() && group->second->exclusive()) {
        // An exclusive group would keep its one checked button.
        group->second->setExclusive(false);
        button->setChecked(false);
        group->second->setExclusive(true);
        return;
    }
    button->setChecked(checked);
}

bool Dialog::isChecked(int id) const
{
    auto* button = controlAs<QAbstractButton>(id);
    return button && button->isChecked();
}

int Dialog::checkedIndex(const std::vector<int>& ids) const
{
    for (std::size_t i = 0; i < ids.size(); ++i)
        if (isChecked(ids[i]))
            return int(i);
    return -1;
}

int Dialog::addItem(int id, std::string_view text)
{
    return insertItem(id, -1, text);
}

int Dialog::insertItem(int id, int index, std::string_view text)
{
    QWidget* widget = control(id);
    QString value = fromText(text);
    ++m_quiet;
    int at = -1;
    if (auto* list = qobject_cast<QListWidget*>(widget)) {
        bool sorted = list->property("sorted").toBool();
        at = index < 0 || index > list->count() ? list->count() : index;
        if (sorted && index < 0)
            at = sortedPosition(list->count(), value, [list](int i) { return list->item(i)->text(); });
        list->insertItem(at, value);
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        bool sorted = combo->property("sorted").toBool();
        at = index < 0 || index > combo->count() ? combo->count() : index;
        if (sorted && index < 0)
            at = sortedPosition(combo->count(), value, [combo](int i) { return combo->itemText(i); });
        int current = combo->currentIndex();
        combo->insertItem(at, value);
        // A combo box has no selection until one is made.
        if (current < 0 && !combo->isEditable())
            combo->setCurrentIndex(-1);
    }
    --m_quiet;
    return at;
}

bool Dialog::removeItem(int id, int index)
{
    QWidget* widget = control(id);
    bool removed = false;
    ++m_quiet;
    if (auto* list = qobject_cast<QListWidget*>(widget); list && index >= 0 && index < list->count()) {
        delete list->takeItem(index);
        removed = true;
    } else if (auto* combo = qobject_cast<QComboBox*>(widget); combo && index >= 0 && index < combo->count()) {
        combo->removeItem(index);
        removed = true;
    }
    --m_quiet;
    return removed;
}

void Dialog::setItemText(int id, int index, std::string_view text)
{
    QWidget* widget = control(id);
    if (auto* list = qobject_cast<QListWidget*>(widget)) {
        if (QListWidgetItem* item = list->item(index))
            item->setText(fromText(text));
    } else if (auto* combo = qobject_cast<QComboBox*>(widget); combo && index >= 0 && index < combo->count()) {
        combo->setItemText(index, fromText(text));
    }
}

void Dialog::clearItems(int id)
{
    QWidget* widget = control(id);
    ++m_quiet;
    if (auto* list = qobject_cast<QListWidget*>(widget))
        list->clear();
    else if (auto* combo = qobject_cast<QComboBox*>(widget))
        combo->clear();
    --m_quiet;
}

int Dialog::itemCount(int id) const
{
    QWidget* widget = control(id);
    if (auto* list = qobject_cast<QListWidget*>(widget))
        return list->count();
    if (auto* combo = qobject_cast<QComboBox*>(widget))
        return combo->count();
    return 0;
}

std::string Dialog::itemText(int id, int index) const
{
    QWidget* widget = control(id);
    if (auto* list = qobject_cast<QListWidget*>(widget)) {
        if (QListWidgetItem* item = list->item(index))
            return item->text().toStdString();
    } else if (auto* combo = qobject_cast<QComboBox*>(widget); combo && index >= 0 && index < combo->count()) {
        return combo->itemText(index).toStdString();
    }
    return {};
}

int Dialog::findItem(int id, std::string_view text) const
{
    int count = itemCount(id);
    for (int i = 0; i < count; ++i)
        if (itemText(id, i) == text)
            return i;
    return -1;
}

int Dialog::selectedIndex(int id) const
{
    QWidget* widget = control(id);
    if (auto* list = qobject_cast<QListWidget*>(widget)) {
        QList<QListWidgetItem*> selected = list->selectedItems();
        return selected.isEmpty() ? -1 : list->row(selected.front());
    }
    if (auto* combo = qobject_cast<QComboBox*>(widget))
        return combo->currentIndex();
    return -1;
}

void Dialog::selectIndex(int id, int index)
{
    QWidget* widget = control(id);
    ++m_quiet;
    if (auto* list = qobject_cast<QListWidget*>(widget)) {
        if (index >= 0 && index < list->count()) {
            list->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
            list->scrollToItem(list->item(index));
        } else {
            list->clearSelection();
            list->setCurrentIndex(QModelIndex());
        }
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
    }
    --m_quiet;
}

void Dialog::setItemData(int id, int index, const QVariant& data)
{
    QWidget* widget = control(id);
    if (auto* list = qobject_cast<QListWidget*>(widget)) {
        if (QListWidgetItem* item = list->item(index))
            item->setData(Qt::UserRole, data);
    } else if (auto* combo = qobject_cast<QComboBox*>(widget); combo && index >= 0 && index < combo->count()) {
        combo->setItemData(index, data);
    }
}

QVariant Dialog::itemData(int id, int index) const
{
    QWidget* widget = control(id);
    if (auto* list = qobject_cast<QListWidget*>(widget)) {
        if (QListWidgetItem* item = list->item(index))
            return item->data(Qt::UserRole);
    } else if (auto* combo = qobject_cast<QComboBox*>(widget); combo && index >= 0 && index < combo->count()) {
        return combo->itemData(index);
    }
    return {};
}

void Dialog::setTabStops(int id, std::vector<int> dialogUnits)
{
    if (auto* list = controlAs<QListWidget>(id)) {
        if (auto* delegate = dynamic_cast<ListItemDelegate*>(list->itemDelegate()))
            delegate->setTabStops(std::move(dialogUnits));
        list->viewport()->update();
    }
}

void Dialog::setItemHeight(int id, int pixels)
{
    if (auto* list = controlAs<QListWidget>(id)) {
        if (auto* delegate = dynamic_cast<ListItemDelegate*>(list->itemDelegate()))
            delegate->setItemHeight(pixels);
        list->doItemsLayout();
    }
}

void Dialog::setOwnerDraw(int id, OwnerDrawPainter painter)
{
    QWidget* widget = control(id);
    if (auto* button = dynamic_cast<OwnerDrawnButton*>(widget)) {
        button->setPainter(std::move(painter));
    } else if (auto* list = qobject_cast<QListWidget*>(widget)) {
        if (auto* delegate = dynamic_cast<ListItemDelegate*>(list->itemDelegate()))
            delegate->setPainter(std::move(painter));
        list->viewport()->update();
    }
}

void Dialog::setScrollRange(int id, int minimum, int maximum)
{
    if (auto* bar = controlAs<QScrollBar>(id)) {
        ++m_quiet;
        bar->setRange(minimum, std::max(minimum, maximum));
        --m_quiet;
    }
}

void Dialog::setScrollPosition(int id, int position)
{
    if (auto* bar = controlAs<QScrollBar>(id)) {
        ++m_quiet;
        bar->setValue(position);
        --m_quiet;
    }
}

int Dialog::scrollPosition(int id) const
{
    // During a notification the slider has moved but its value has not caught up.
    auto* bar = controlAs<QScrollBar>(id);
    return bar ? bar->sliderPosition() : 0;
}

void Dialog::setProgressRange(int id, int minimum, int maximum)
{
    if (auto* progress = controlAs<QProgressBar>(id))
        progress->setRange(minimum, std::max(minimum, maximum));
}

void Dialog::setProgress(int id, int value)
{
    if (auto* progress = controlAs<QProgressBar>(id))
        progress->setValue(std::clamp(value, progress->minimum(), progress->maximum()));
}

void Dialog::attach()
{
    if (m_handle == 0)
        m_handle = attachWindowWidget(*this, m_className, [this](const Message& message) { dispatch(message); });
}

void Dialog::detach()
{
    detachWindowWidget(m_handle);
}

void Dialog::dispatch(const Message& message)
{
    if (!handleWindowRequest(*this, message))
        handleMessage(message);
}

bool Dialog::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate && m_handle != 0)
        touchWindow(m_handle);
    return QDialog::event(event);
}

bool Dialog::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
        auto it = m_focusCodes.find(watched);
        if (it != m_focusCodes.end())
            notify(it->second.id, event->type() == QEvent::FocusIn ? it->second.gained : it->second.lost);
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace platform
