#include "shown_text.h"

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString Shown(std::string_view text) {
    QString shown = Text(text);
    for (QChar& c : shown)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = ' ';
    return shown;
}
