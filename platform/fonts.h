#pragma once
// The forms and the printed pages are designed in Windows font names ("宋体", "MS Sans
// Serif", "Arial"). None of them exists here, and the toolkit's fallback for an unknown
// name is a wide sans face, which breaks the designed proportions (a "宋体" digit is half
// as wide as a Chinese character). Each name is mapped onto installed faces of the same
// kind; Chinese text in a Latin face falls back to the Song face, as it does on a Chinese
// desktop.

#include <QFont>
#include <QString>
#include <QStringList>

class QPainter;
class QPointF;

// The installed faces that stand for the Song face "宋体", best first.
QStringList SongFaces();

// Installs the substitutions for the process. Called once the application object exists:
// by start-up, by the tests and by the timing programs, so that all measure texts alike.
// Safe to call more than once.
void SetUpFontSubstitutes();

// On paper a face that draws both Chinese and Latin text loses part of its text on the
// way through the print filters to a PDF printer: the PostScript step splits the face
// into a Latin and a Chinese part under one name, and the PDF writer then drops the
// character codes of one part (the page looks right but its digits cannot be searched
// or copied). A twin face (the same glyphs from the same font file under another name)
// draws the Latin part instead. Returns font itself where no twin is known.
QFont LatinTwin(const QFont& font);

// Draws text as QPainter::drawText(baseline, text) does, its printable ASCII runs in the
// painter font's LatinTwin.
void DrawTextWithLatinTwin(QPainter& painter, const QPointF& baseline, const QString& text);
