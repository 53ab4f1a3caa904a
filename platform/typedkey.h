#pragma once
// The character a key press types, as the entries that take only some characters judge
// it. A key that types none (arrows, Home, End, Delete, Shift with them) keeps its
// editing role in every such entry.

class QKeyEvent;

// 13 for Enter, 0 for a key that types no character, else the character's code. The X11
// keyboard reports Delete with the text DEL (127), though Delete types nothing.
int TypedChar(const QKeyEvent& key);
