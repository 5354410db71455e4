#pragma once

class MainOptions;
class QCheckBox;
class QLineEdit;

// Ties an option control to the controller's value of the same name (the
// control's objectName), both ways: the user's edit goes to the options, and a
// value the options take (loading, a plug-in, a test) shows in the control.
namespace OptionBinding {

void bind(QCheckBox* box, MainOptions& options);
// While the box has the focus the user's text stays as typed; leaving it shows
// the value as it is stored (a cleared number box shows its default again).
void bind(QLineEdit* edit, MainOptions& options);

} // namespace OptionBinding
