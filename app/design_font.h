// The font the windows were designed with: "MS Sans Serif" 8 point, or the
// nearest sans-serif font the system has.
#pragma once

#include <QFont>
#include <QFontMetrics>

// A text of the player dialog and the width the design gave it: the
// presets box shows it whole.
inline constexpr const char* kDesignSampleText = "1 Human vs 1 Computer";
inline constexpr int kDesignSampleWidth = 110; // pixels

inline QFont DesignFont() {
    QFont font("MS Sans Serif", 8);
    font.setStyleHint(QFont::SansSerif);
    // A wider face standing in is narrowed to the design's width, so that
    // the texts fit the controls laid out for them.
    const int width = QFontMetrics(font).horizontalAdvance(kDesignSampleText);
    if (width > kDesignSampleWidth)
        font.setStretch(100 * kDesignSampleWidth / width);
    return font;
}
