// The shared dialog fonts.
#include "common/dialog_fonts.h"

#include <memory>

namespace {

std::unique_ptr<platform::FontSpec> g_dialogFont;
std::unique_ptr<platform::FontSpec> g_boldDialogFont;

} // namespace

const platform::FontSpec* GetDialogFont()
{
    if (!g_dialogFont)
        g_dialogFont = std::make_unique<platform::FontSpec>();
    return g_dialogFont.get();
}

const platform::FontSpec* GetBoldDialogFont()
{
    if (!g_boldDialogFont) {
        g_boldDialogFont = std::make_unique<platform::FontSpec>(*GetDialogFont());
        g_boldDialogFont->bold = true;
    }
    return g_boldDialogFont.get();
}

void DeleteDialogFonts()
{
    g_dialogFont.reset();
    g_boldDialogFont.reset();
}

void DialogSetupHook(const void*)
{
}
