#pragma once

class QWidget;

// Translates a window once, at the start of its creation: the window title,
// tool tips, status tips and "What's This" texts of the window and every
// child widget, label and button texts, group box titles, combo box and list
// items, tab texts, placeholder texts, menu titles, file dialog filters and
// action texts, each looked up in `domain` ("default" or "dialogs"). Object
// names and fonts are never touched.
void TranslateComponent(QWidget* root, const char* domain);
