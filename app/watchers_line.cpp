#include "watchers_line.h"

#include <QLabel>

WatchersLine::~WatchersLine() {
    delete label_.data();
}

void WatchersLine::Show(const QStringList& names, int x, int y) {
    if (names.isEmpty()) {
        delete label_.data();
        return;
    }
    if (!label_) {
        label_ = new QLabel(&client_);
        label_->setObjectName("watchersLine");
    }
    label_->setText("Watching: " + names.join(", "));
    label_->move(x, y);
    label_->adjustSize();
    label_->show();
}
