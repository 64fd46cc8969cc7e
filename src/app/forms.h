#pragma once

#include <QString>

class Form1;
class Form2;

// The program's two windows, each one instance for the whole program, made
// at first reference.
Form1 &form1();
Form2 &form2();

// Loads the preview window and, once its load handler has finished, shows
// it; with a skin folder, applies that first as closing the selector on it
// would.
void startProgram(const QString &skinFolder = {});

// Discards both instances and whatever windows they left; called when the
// application ends (and by the tests, between cases).
void releaseForms();
