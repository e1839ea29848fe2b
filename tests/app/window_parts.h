// The parts of the main window a test looks at or works, found by the
// names the window gives them, as a player finds them by sight.
#pragma once

#include "main_window.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QString>
#include <QTimer>
#include <stdexcept>
#include <vector>

template <class Control> Control* Named(const QObject& parent, const QString& name) {
    Control* found = parent.findChild<Control*>(name);
    if (!found)
        throw std::logic_error("the window has no " + name.toStdString());
    return found;
}

// An action of the window by its name ("aNewGame", "Options1", ...).
inline QAction* ActionOf(const TfMain& window, const char* name) {
    return Named<QAction>(window, name);
}

// The lines of the seat panel, in panel order: each seat's pin and name.
struct PanelLine {
    PictureWidget* indicator;
    QLabel* name;
};
inline std::vector<PanelLine> SeatPanel(const TfMain& window) {
    std::vector<PanelLine> lines;
    for (int colour = 0; colour < kColours; ++colour)
        if (window.SeatIndicator(colour))
            lines.push_back({window.SeatIndicator(colour), window.SeatNameLabel(colour)});
    return lines;
}

// The marbles a player sees on the board.
inline int ShownMarbles(const TfMain& window) {
    int shown = 0;
    for (const PictureWidget* picture : window.findChildren<PictureWidget*>())
        if (picture->objectName().startsWith("marble") && picture->isVisible())
            ++shown;
    return shown;
}
