#pragma once
// The two attention animations any widget can run: a sideways shake and a
// blink. Both run on the GUI thread's animation timer and never block it.

class QWidget;

namespace sorrelby {

// Moves the widget 10 points to the right and back, count times (3 when
// count < 1), 0.06 s a movement.
void nodLeftRight(QWidget *widget, int count);

// Fades the widget out over 0.2 s and back in over 0.15 s, count times:
// for ever when negative, 3 times when 0. stopFlashing ends it.
void flashOnOff(QWidget *widget, int count);
void stopFlashing(QWidget *widget);

} // namespace sorrelby
