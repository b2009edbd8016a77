// The model wizard's window.
#include "equationeditor/model_wizard_dialog.h"

#include "common/dialog_fonts.h"
#include "common/message_boxes.h"
#include "platform/qt/artwork.h"

#include <QPainter>

namespace {

using namespace platform;

DialogInstance<TQNTemplateWizardDialog> g_wizard;

/// Where the page picture stands; its size is the picture's own.
constexpr DialogRect PictureOrigin{6, 6, 168, 140};

} // namespace

const DialogDescription& TemplateWizardDialogDescription()
{
    static const DialogDescription d{"DLG_TPLWIZ", "TQNTemplateWizardDialog", "ORVANTA Model Wizard", 320, 176, {
        bitmapButton(ID_WIZ_PICTURE, PictureOrigin),
        staticText(ID_WIZ_MESSAGE, "", {180, 6, 134, 52}),
        staticText(ID_WIZ_NAME_LABEL, "Model Name :", {180, 63, 58, 8}),
        edit(ID_WIZ_NAME, {240, 61, 74, 12}).maxLength(24),
        staticText(ID_WIZ_VERSION_LABEL, "Version number :", {180, 79, 58, 8}),
        edit(ID_WIZ_VERSION, {240, 77, 24, 12}).maxLength(8),
        comboBox(ID_WIZ_KIND, {180, 61, 66, 80}),
        comboBox(ID_WIZ_PORT, {248, 61, 66, 80}),
        comboBox(ID_WIZ_RELATION, {180, 77, 66, 40}),
        comboBox(ID_WIZ_OTHER_PORT, {248, 77, 66, 80}),
        radioButton(ID_WIZ_RADIO1, "Sub Model", {180, 96, 130, 10}).group(),
        radioButton(ID_WIZ_RADIO2, "Main Model", {180, 108, 130, 10}),
        radioButton(ID_WIZ_RADIO3, "Outputs", {180, 120, 130, 10}),
        pushButton(ID_WIZ_ADD, "&Add", {180, 134, 42, 14}),
        pushButton(ID_WIZ_DELETE, "&Delete", {226, 134, 42, 14}),
        listBox(ID_WIZ_LIST, {6, 60, 168, 90}).columns({60}),
        groupBox(ID_WIZ_FRAME_SECTIONS, "", {178, 58, 136, 48}).hidden(),
        staticText(ID_WIZ_SECTIONS_LABEL, "Generate template code for :", {184, 64, 124, 8}),
        checkBox(ID_WIZ_PARAMETERS, "Parameters", {190, 76, 100, 10}),
        checkBox(ID_WIZ_VARIABLES, "Variables", {190, 88, 100, 10}),
        pushButton(ID_WIZ_BACK, "< &Back", {180, 156, 42, 14}),
        pushButton(ID_WIZ_NEXT, "&Next >", {224, 156, 42, 14}).defaultButton(),
        pushButton(ID_WIZ_CANCEL, "&Cancel", {272, 156, 42, 14}).cancelButton(),
    }};
    return d;
}

TQNTemplateWizardDialog::TQNTemplateWizardDialog(QWidget* parent, ModelWizardHost host)
    : ModuleDialog(TemplateWizardDialogDescription(), parent),
      m_wizard(std::move(host.newBlankModel), std::move(host.insert))
{
    const FontSpec& font = *GetDialogFont();
    setControlFont(ID_WIZ_LIST, font);
    setControlFont(ID_WIZ_MESSAGE, font);
    setTabStops(ID_WIZ_LIST, {60});
    setChecked(ID_WIZ_PARAMETERS, true);
    setChecked(ID_WIZ_VARIABLES, true);
    setOwnerDraw(ID_WIZ_PICTURE, [this](QPainter& painter, const OwnerDrawItem& item) {
        if (m_picture.isNull())
            return;
        if (m_picture.width() <= item.rect.width() && m_picture.height() <= item.rect.height())
            painter.drawImage(item.rect.topLeft(), m_picture);
        else
            painter.drawImage(item.rect, m_picture);
    });
    m_wizard.attachWindow({[this](const std::string& name) { return loadPagePicture(name); },
                           [this] {
                               if (!hasEnded())
                                   endDialog(IDCANCEL);
                           }});
    DialogSetupHook(this);
}

TQNTemplateWizardDialog::~TQNTemplateWizardDialog() = default;

bool TQNTemplateWizardDialog::loadPagePicture(const std::string& name)
{
    m_picture = bitmapResourceImage(name);
    if (QWidget* picture = control(ID_WIZ_PICTURE)) {
        QRect place = toPixels(PictureOrigin);
        picture->setGeometry(QRect(place.topLeft(), m_picture.isNull() ? place.size() : m_picture.size()));
        picture->update();
    }
    return !m_picture.isNull();
}

void TQNTemplateWizardDialog::done(int result)
{
    // The window is closing already: the template only goes.
    m_wizard.attachWindow({});
    m_wizard.cancel();
    SetMessageOwner(m_previousOwner);
    ModuleDialog::done(result);
}

void TQNTemplateWizardDialog::notify(int id, int code)
{
    switch (id) {
    case ID_WIZ_ADD:
        if (code == BN_CLICKED)
            m_wizard.addWizardEntry(*this);
        return;
    case ID_WIZ_DELETE:
        if (code == BN_CLICKED)
            m_wizard.deleteWizardEntry(*this);
        return;
    case ID_WIZ_BACK:
        if (code == BN_CLICKED)
            m_wizard.back(*this);
        return;
    case ID_WIZ_NEXT:
        if (code == BN_CLICKED)
            m_wizard.next(*this);
        return;
    case ID_WIZ_CANCEL:
        if (code == BN_CLICKED)
            m_wizard.cancel();
        return;
    case ID_WIZ_KIND:
        if (code == CBN_SELCHANGE)
            m_wizard.kindChosen(*this);
        return;
    case ID_WIZ_RADIO1:
    case ID_WIZ_RADIO2:
    case ID_WIZ_RADIO3:
        if (code == BN_CLICKED)
            m_wizard.radioChosen(*this, id - ID_WIZ_RADIO1);
        return;
    case ID_WIZ_PORT:
    case ID_WIZ_RELATION:
    case ID_WIZ_OTHER_PORT:
    case ID_WIZ_LIST:
        return;
    default:
        ModuleDialog::notify(id, code);
    }
}

void startModelWizard(QWidget* frame, ModelWizardHost host)
{
    bool existed = g_wizard.get() != nullptr;
    TQNTemplateWizardDialog& wizard =
        g_wizard.create([&] { return new TQNTemplateWizardDialog(frame, std::move(host)); });
    if (!existed)
        wizard.rememberMessageOwner(CurrentMessageOwner());
    wizard.wizard().start(wizard);
    wizard.showWindowModal();
    SetMessageOwner(wizard.handle());
}

TQNTemplateWizardDialog* modelWizardWindow()
{
    return g_wizard.get();
}

void closeModelWizard()
{
    g_wizard.close();
}
