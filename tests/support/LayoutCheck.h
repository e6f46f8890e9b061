// What a person sees of a window's layout, checked without restating its
// rectangles: every shown control lies inside the window, no two shown controls
// side by side overlap, and every text fits its control.
#pragma once

#include <QWidget>

// Adds a test failure for each fault, naming the controls.
void ExpectLaidOut(QWidget& window);
