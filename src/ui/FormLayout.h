// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include <QByteArray>
#include <QHash>
#include <QRect>
#include <QSize>

class QWidget;

// The main window's controls, laid out in twips as the dialer's original designers did: 1440
// twips to the inch, 15 twips to one device-independent pixel. One row per control, built in
// this order; a control's position is measured from the top-left corner of its container.
namespace FormLayout {

enum class Kind { Frame, Label, TextField, ComboBox, Button, LinkLabel };

struct Control {
    const char *name;
    Kind kind;
    const char *container;
    const char16_t *caption; // empty: none
    int left, top, width, height;
    int tabIndex;
    const char16_t *tooltip; // empty: none
};

inline constexpr int TwipsPerPixel = 15;
inline constexpr int ClientWidthTwips = 4890;
inline constexpr int ClientHeightTwips = 3315;

// clang-format off
inline constexpr Control Controls[] = {
//   name           kind             container caption          left  top   width height tab tooltip
    {"Frame1",      Kind::Frame,     "Form1",  u"",             0,    0,    4875, 3255,  0,  u""},
    {"Frame3",      Kind::Frame,     "Frame1", u"GSMsettings",  60,   120,  3015, 3015,  7,  u""},
    {"Frame5",      Kind::Frame,     "Frame1", u"Commands",     3120, 120,  1695, 3015,  11, u""},
    {"Label4",      Kind::Label,     "Frame3", u"Phone #1",     480,  360,  735,  255,   8,  u""},
    {"Text1Num",    Kind::TextField, "Frame3", u"",             1380, 300,  1515, 315,   1,  u"First Dialed Number"},
    {"Label5",      Kind::Label,     "Frame3", u"Phone #2",     480,  780,  735,  255,   9,  u""},
    {"Text2Num",    Kind::TextField, "Frame3", u"",             1380, 720,  1515, 315,   2,  u"Second Dialed Number"},
    {"Label6",      Kind::Label,     "Frame3", u"Phone #3",     480,  1200, 735,  255,   10, u""},
    {"Text3Num",    Kind::TextField, "Frame3", u"",             1380, 1140, 1515, 315,   3,  u"Third Dialed Number"},
    {"Label1",      Kind::Label,     "Frame3", u"Phone #4",     480,  1620, 735,  255,   16, u""},
    {"Text4Num",    Kind::TextField, "Frame3", u"",             1380, 1560, 1515, 315,   14, u""},
    {"Label2",      Kind::Label,     "Frame3", u"Phone #5",     480,  2020, 735,  255,   17, u""},
    {"Text5Num",    Kind::TextField, "Frame3", u"",             1380, 1980, 1515, 315,   15, u""},
    {"Label3",      Kind::Label,     "Frame3", u"FREE SMS",     120,  2400, 495,  495,   19, u""},
    {"TextFreeNum", Kind::TextField, "Frame3", u"",             600,  2400, 2295, 375,   18, u""},
    {"Combo1",      Kind::ComboBox,  "Frame5", u"COM",          360,  360,  975,  315,   6,  u"Select COM Port"},
    {"SaveCMD",     Kind::Button,    "Frame5", u"Save",         360,  900,  975,  315,   4,  u"Save Settings To Tracker"},
    {"ReadCMD",     Kind::Button,    "Frame5", u"Read",         360,  1500, 975,  315,   13, u"Save Settings To Lift"},
    {"ExitCMD",     Kind::Button,    "Frame5", u"Exit",         360,  2100, 975,  315,   5,  u""},
    {"Label10",     Kind::LinkLabel, "Frame5", u"",             120,  2640, 1515, 255,   12, u""},
};
// clang-format on

// The six text fields, in the order of the settings record: PhoneNum1 to PhoneNum5, FreeNum.
inline constexpr const char *FieldNames[] = {"Text1Num", "Text2Num", "Text3Num",
                                             "Text4Num", "Text5Num", "TextFreeNum"};

// Each phone-number label names the text field beside it.
struct Buddy {
    const char *label;
    const char *field;
};
inline constexpr Buddy Buddies[] = {
    {"Label4", "Text1Num"}, {"Label5", "Text2Num"}, {"Label6", "Text3Num"},
    {"Label1", "Text4Num"}, {"Label2", "Text5Num"}, {"Label3", "TextFreeNum"},
};

[[nodiscard]] constexpr int toPixels(int twips) {
    return (twips + TwipsPerPixel / 2) / TwipsPerPixel;
}

[[nodiscard]] constexpr QRect toPixels(const Control& c) {
    return {toPixels(c.left), toPixels(c.top), toPixels(c.width), toPixels(c.height)};
}

// The window's inner area: 326 x 221 pixels.
[[nodiscard]] QSize clientSize();

// Creates every control of the table inside `form` (frames, labels, fields, selector, buttons,
// link) in its design state, with object names, tooltips, buddies and the tab order, and fixes
// the form's size. Returns the controls by name, the form itself as "Form1".
QHash<QByteArray, QWidget *> build(QWidget& form);

// Whether the control's caption (a label's or button's text, a frame's title, the selector's
// longest port name) shows whole at the control's fixed size, in the control's own font.
[[nodiscard]] bool captionFits(const QWidget& control);

// Makes every caption fit: where the fonts the desktop resolves are wider than the layout was
// drawn for (no Arial and no metric-compatible substitute), the window's font, and the link's own
// font, step down from their design sizes until every caption shows whole.
void fitCaptions(const QHash<QByteArray, QWidget *>& controls);

} // namespace FormLayout
