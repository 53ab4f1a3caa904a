#pragma once
// Both print previews show their page in a scroll area over the room right of the
// settings panel, between the tool bar and the status bar: centred where the page fits,
// with scroll bars that reach every part of it where it does not (a low screen, a large
// zoom).

#include <QRect>
#include <QSize>

class QLabel;
class QScrollArea;

// The room the page has in a form of the given size.
QRect PreviewRoom(QSize form, int toolBarHeight, int panelWidth, int statusBarHeight);

// Puts the page into the area, once: the page keeps the size it is given and stands
// centred; the form's colour shows around it.
void HoldPreviewPage(QScrollArea* area, QLabel* page);

// Gives the area the room and the page its size.
void PlacePreviewPage(QScrollArea* area, QLabel* page, QRect room, QSize image);
