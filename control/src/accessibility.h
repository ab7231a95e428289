// What screen readers see of the control's windows beyond Qt's defaults.
#pragma once

namespace vexq4::control {

// Installs the control's accessibility factory (once per process). Its
// interfaces cover only the control's own windows:
// - a tool window's frame is a dialog;
// - a checkable button pressed through the bus (its "Toggle" action, as a
//   screen reader or switch device presses it) is clicked as the mouse
//   clicks it, so the window acts; Qt's own action only flips the check
//   mark, and the button and what it controls then disagree;
// - a spin button is a spin button with its position as value, and its
//   arrows are named after it;
// - the link label is a link that can be followed;
// - the strip's overflow button has a name, and so has a picture that
//   carries kScreenReaderNameProperty (controls.h).
void InstallAccessibility();

}  // namespace vexq4::control
