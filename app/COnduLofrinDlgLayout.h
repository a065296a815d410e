#pragma once

#include <QColor>
#include <QFont>
#include <QPoint>
#include <QRect>

// The main window's size and the places of its controls and drawings, in
// pixels of its client area unless said otherwise.

constexpr int kClientWidth = 946;
constexpr int kClientHeight = 554;

// The controls' places are measured from the outer corner of the window as it
// stood on Windows, caption and border included; this is the client area's
// origin there.
constexpr QPoint kFrameOffset(8, 31);

constexpr QRect kListPlace(441, 108, 490, 358);
constexpr QRect kBigButtonPlace(377, 517, 202, 47);
constexpr QRect kAddPlace(439, 470, 228, 32);
constexpr QRect kDeletePlace(703, 470, 228, 32);
// Beside the big button, as high as the add and delete buttons, centred on
// the big button's height.
constexpr QRect kCancelPlace(589, 525, 110, 32);
// The rest of the row right of the big button, to the list's right edge.
constexpr QRect kStatusPlace(589, 517, 342, 47);

// The link keeps its template rectangle (46, 198, 115 x 14 dialog units),
// converted with the base units of 8 x 18 pixels that map the list's template
// size of 245 x 159 units onto its 490 x 358 pixels.
constexpr QRect kLinkRect(92, 446, 230, 32);

constexpr QColor kBackground(240, 240, 240);
constexpr QColor kFrameLine(205, 221, 227);

// The font of the two instruction lines above the list.
QFont InstructionFont();
