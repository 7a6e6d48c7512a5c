// What every window shares: text conversion at the window boundary, the
// header band that tops each dialog and tab panel, and where the program's
// own files (pictures, help) are found.
#pragma once

#include <QAbstractScrollArea>
#include <QFrame>
#include <QLabel>
#include <QList>
#include <QRect>
#include <QRegion>
#include <QString>
#include <string>

#include "core/shell/ProgressPacing.h"

namespace tarnel {

// Program texts are Windows-1252 byte strings; only windows see QString.
QString ToQ(const std::string& ansi);
std::string FromQ(const QString& text);

// The header band: 49 pixels high, no bevel, filled in the window-text
// colour, a bold title and a plain subtitle in the window colour.
class THeaderBand : public QFrame {
    Q_OBJECT
public:
    THeaderBand(const QString& title, const QString& subtitle, QPoint titleAt, QPoint subtitleAt,
                QWidget* parent = nullptr);
    QLabel* Label2;     // the title
    QLabel* HelpLabel;  // the subtitle
};

// The font the designs name, at a pixel height; the platform substitutes
// a font the machine lacks.
QFont DesignFont(const QString& family, int pixelHeight, bool bold = false);

// A font family as a user knows it: the name without the foundry Qt adds
// where several foundries make a family ("Nimbus Sans [urw]").
QString FontFamilyName(const QString& listed);
// The installed font families, each once, as a user knows them, sorted as
// a user reads them (letter case ignored).
QStringList InstalledFontFamilies();
// The family the program font setting names: an installed family as it is
// listed; the platform's default font for an empty name, the "Default"
// entry and a family the machine lacks, so that the choices the font box
// can leave all look alike.
QString ProgramFontFamily(const std::string& programFont);

// The folder of the running program.
QString ProgramDir();
// Where the help file and the pictures are: beside the program in a build,
// or in share/tarnel beside the installed program's bin folder.
QString DataDir();
QString ArtFile(const QString& name);

// The pictures' folder: "<data dir>/art" unless set (tests point it at
// the repository's art folder or at a folder of broken pictures); an
// empty folder name returns to the default.
void SetArtDir(const QString& dir);
QString ArtDir();

// Widens the band's two labels to its right edge, so that a title or
// subtitle set after creation is not cut to the design text's width.
void FitBandLabels(THeaderBand* band);

// Paints a window now, as the loops that process no window messages need:
// a window the window system has not shown yet (no expose event so far) is
// first waited for, up to half a second, handling no user input meanwhile;
// a repaint before that would paint nothing.
void PaintNow(QWidget* window);
// The same for a part of it, in its own coordinates.
void PaintNow(QWidget* window, const QRegion& part);

// Moves a top-level window so that its centre is the centre of `over`'s
// window, or of the screen's available area when `over` is null; either
// way it ends whole on a screen.
void CentreWindow(QWidget* window, const QWidget* over);

// The title-bar buttons a dialog is designed with.
enum class TTitleButtons { None, Close };

// Gives a dialog (its type, Dialog or Tool, kept) a title bar without
// minimise and maximise buttons, and with a close button only where it is
// designed with one, asked for in the ways window managers take it: the
// Motif hints, and a window type that offers no more than a close button
// for those that go by the type alone. Later changes of the flags (stay on
// top) keep the frame.
void SetDialogFrame(QWidget* dialog, TTitleButtons buttons);

// Names a scrolling control's scroll bars for screen readers, which
// otherwise get two unnamed controls.
void NameScrollBars(QAbstractScrollArea* area);

// Where a window's frame is seen whole: on the area (of the screens'
// available areas) that holds the most of it, or the one nearest to it when
// it lies on none; no larger than that area, and moved into it.
QRect FitToArea(const QRect& frame, const QList<QRect>& areas);

// Moves, and shrinks where it is larger, a top-level window so that its
// frame lies whole on the screen it will be seen on. Bounds are in Qt's
// device-independent pixels, the units they are saved and restored in.
// Before the window system has framed the window its frame is estimated.
void KeepOnScreen(QWidget* window);
// KeepOnScreen for a window just shown, once the window manager has put its
// frame around it (or, where none comes, after a second).
void KeepOnScreenOnceFramed(QWidget* window);

// How much wider than `design` the font `font` sets text on `device`: the
// design font is measured at 96 dots per inch, where the designs' pixel
// sizes were drawn. Never below 1, so that a design size only ever grows.
double FontGrowth(const QFont& font, const QPaintDevice* device, const QFont& design);
inline int Grown(int designPixels, double growth) { return qRound(designPixels * growth); }

}  // namespace tarnel
