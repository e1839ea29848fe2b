// Pictures of windows for a person to look at, written by the screenshot
// programs into the folder they are given.
#pragma once

#include <QDir>
#include <QPixmap>
#include <QString>
#include <QWidget>
#include <cstdio>

// Writes the widget as it is drawn now to folder/name (a PNG by its
// suffix) and says so on standard output; false when it could not.
inline bool Save(QWidget& widget, const QString& folder, const char* name) {
    const QString path = QDir(folder).filePath(name);
    const bool saved = widget.grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    return saved;
}
