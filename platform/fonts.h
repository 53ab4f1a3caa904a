#pragma once
// The forms and the printed pages are designed in Windows font names ("宋体", "MS Sans
// Serif", "Arial"). None of them exists here, and the toolkit's fallback for an unknown
// name is a wide sans face, which breaks the designed proportions (a "宋体" digit is half
// as wide as a Chinese character). Each name is mapped onto installed faces of the same
// kind; Chinese text in a Latin face falls back to the Song face, as it does on a Chinese
// desktop.

#include <QString>
#include <QStringList>

// The installed faces that stand for the Song face "宋体", best first.
QStringList SongFaces();

// Installs the substitutions for the process. Called once the application object exists:
// by start-up, by the tests and by the timing programs, so that all measure texts alike.
// Safe to call more than once.
void SetUpFontSubstitutes();
