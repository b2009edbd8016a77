// Hooks the canvas's mouse, the draw popup, the connection check and the
// modeless editors into the main window and the model commands.
#pragma once

class QWidget;

/// Installs the interaction for a main window whose canvas is `canvas`
/// (the parent of the popup and the editors).
void InstallEditorInteraction(QWidget* canvas);

/// Closes the popup and the editors and forgets the canvas's state.
void RemoveEditorInteraction();

/// The editors let go of the objects they hold and the canvas forgets its
/// drag and drawing: the model is being emptied.
void ForgetEditorObjects();
