// Setup's windows stand over one another: the backdrop at the bottom, the
// wizard over it, each dialog over the window it was opened from (the wizard,
// or the progress window). X11 keeps that order by stacking; Wayland has no
// stacking that a program sets, only parent and child windows, which a
// compositor keeps above their parent and places over it. So each window
// names its parent (its transient parent) before it is shown.
#pragma once

class QWidget;

// Makes window a child window of parent's window, from its next showing on
// (before it is shown, or before it is shown again). Nothing when either is
// missing or when they are one window.
void StandOver(QWidget* window, QWidget* parent);

// The window that a dialog opened now belongs to: the modal dialog in front
// (the progress window, a disk prompt), else the window the backdrop stands
// behind (the wizard), else the active window other than the backdrop; none
// when there is no such window.
QWidget* OwnerWindow();
