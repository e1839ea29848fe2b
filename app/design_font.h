// The font the windows were designed with: "MS Sans Serif" 8 point, or the
// nearest sans-serif font the system has.
#pragma once

#include <QFont>

inline QFont DesignFont() {
    QFont font("MS Sans Serif", 8);
    font.setStyleHint(QFont::SansSerif);
    return font;
}
