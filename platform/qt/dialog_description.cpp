// Makers of control descriptions.
#include "platform/qt/dialog_description.h"

namespace platform {

namespace {

ControlDescription control(ControlKind kind, int id, std::string text, DialogRect rect)
{
    ControlDescription description;
    description.kind = kind;
    description.id = id;
    description.text = std::move(text);
    description.rect = rect;
    return description;
}

} // namespace

ControlDescription staticText(int id, std::string text, DialogRect rect)
{
    return control(ControlKind::Static, id, std::move(text), rect);
}

ControlDescription edit(int id, DialogRect rect)
{
    return control(ControlKind::Edit, id, {}, rect);
}

ControlDescription comboBox(int id, DialogRect rect)
{
    return control(ControlKind::ComboBox, id, {}, rect);
}

ControlDescription listBox(int id, DialogRect rect)
{
    return control(ControlKind::ListBox, id, {}, rect);
}

ControlDescription checkBox(int id, std::string text, DialogRect rect)
{
    return control(ControlKind::CheckBox, id, std::move(text), rect);
}

ControlDescription radioButton(int id, std::string text, DialogRect rect)
{
    return control(ControlKind::RadioButton, id, std::move(text), rect);
}

ControlDescription pushButton(int id, std::string text, DialogRect rect)
{
    return control(ControlKind::PushButton, id, std::move(text), rect);
}

ControlDescription groupBox(int id, std::string text, DialogRect rect)
{
    return control(ControlKind::GroupBox, id, std::move(text), rect);
}

ControlDescription scrollBar(int id, DialogRect rect)
{
    return control(ControlKind::ScrollBar, id, {}, rect);
}

ControlDescription progressBar(int id, DialogRect rect)
{
    return control(ControlKind::ProgressBar, id, {}, rect);
}

ControlDescription ownerDrawList(int id, DialogRect rect)
{
    return control(ControlKind::OwnerDrawList, id, {}, rect);
}

ControlDescription bitmapButton(int id, DialogRect rect)
{
    return control(ControlKind::BitmapButton, id, {}, rect);
}

ControlDescription bitmapRadio(int id, DialogRect rect)
{
    return control(ControlKind::BitmapRadio, id, {}, rect);
}

const ControlDescription* DialogDescription::find(int id) const
{
    for (const ControlDescription& control : controls)
        if (control.id == id)
            return &control;
    return nullptr;
}

} // namespace platform
