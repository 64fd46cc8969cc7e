#pragma once

class Form1;
class Form2;

// The program's two windows, each one instance for the whole program, made
// at first reference.
Form1 &form1();
Form2 &form2();

// Loads the preview window and, once its load handler has finished, shows it.
void startProgram();

// Discards both instances and whatever windows they left; called when the
// application ends (and by the tests, between cases).
void releaseForms();
