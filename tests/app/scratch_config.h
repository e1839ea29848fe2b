// A settings file of the test's own: while the object lives, XDG_CONFIG_HOME
// points into a temporary folder, so zellhop.ini is read and written there.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>
#include <gtest/gtest.h>

class ScratchConfig {
  public:
    ScratchConfig() : previous_(qgetenv("XDG_CONFIG_HOME")) {
        qputenv("XDG_CONFIG_HOME", folder_.path().toLocal8Bit());
    }
    ~ScratchConfig() { qputenv("XDG_CONFIG_HOME", previous_); }
    ScratchConfig(const ScratchConfig&) = delete;
    ScratchConfig& operator=(const ScratchConfig&) = delete;

    bool isValid() const { return folder_.isValid(); }
    QString IniPath() const { return folder_.path() + "/zellhop/zellhop.ini"; }

    void Write(const QByteArray& text) const {
        QDir().mkpath(folder_.path() + "/zellhop");
        QFile file(IniPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    // The file as it is now; empty when there is none.
    QByteArray Read() const {
        QFile file(IniPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

  private:
    QTemporaryDir folder_;
    QByteArray previous_;
};
