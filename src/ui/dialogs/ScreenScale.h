#pragma once

class QWidget;

// The windows are laid out in pixels of a 96 dpi design and scaled for the
// screen they are shown on.

// number × numerator / denominator, rounded to the nearest integer (half
// away from zero).
int MulDiv(int number, int numerator, int denominator);
// v × ppi / 96, rounded like MulDiv.
int ScaleLength(int v, int ppi);
// Logical pixels per inch of the screen that shows (or will show) w.
int ScreenPpi(const QWidget* w);
// Centres w on the screen of the active window, else the primary screen.
void CentreOnScreen(QWidget* w);
// Enlarges the icons of every button below control by to / from when that is
// at least 120 %.
void ScaleGlyphs(QWidget* control, int from, int to);
