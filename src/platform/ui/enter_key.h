// Return and Enter on a focused push or tool button press it, as Space does.
// Qt gives Return to a button only inside a dialog, through its default
// button; operators expect it of every button that has the focus.
#pragma once

class QAbstractButton;
class QWidget;

namespace keys {

// From now on, Return or Enter (without auto-repeat) pressed while `button`
// has the focus clicks it. The button must live longer than nothing else:
// the filter is owned by the button.
void enterPressesButton(QAbstractButton* button);

// The same for every push and tool button below `window` at the time of the
// call.
void enterPressesButtons(QWidget* window);

}  // namespace keys
