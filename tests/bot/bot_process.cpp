#include "bot_process.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

BotProcess::BotProcess(const std::vector<std::string>& args,
                       const std::vector<std::string>& prefix) {
    QStringList all;
    for (const std::string& word : prefix)
        all << QString::fromStdString(word);
    all << ZELLHOP_BOT_PROGRAM;
    for (const std::string& word : args)
        all << QString::fromStdString(word);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    process_.setProcessEnvironment(env);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QObject::connect(&process_, &QProcess::readyReadStandardOutput, [this] { ReadLines(); });
    const QString program = all.takeFirst();
    process_.start(program, all);
    process_.waitForStarted();
}

BotProcess::~BotProcess() {
    Kill();
}

void BotProcess::ReadLines() {
    pending_ += process_.readAllStandardOutput();
    for (qsizetype end; (end = pending_.indexOf('\n')) >= 0; pending_.remove(0, end + 1))
        lines_ << QString::fromUtf8(pending_.left(end));
}

bool BotProcess::WaitFor(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return done();
}

bool BotProcess::WaitForLine(const std::string& line, int timeoutMs) {
    return WaitFor([&] { return lines_.contains(QString::fromStdString(line)); }, timeoutMs);
}

bool BotProcess::WaitForLinePrefix(const std::string& prefix, int timeoutMs) {
    return WaitFor([&] { return !LineWithPrefix(prefix).empty(); }, timeoutMs);
}

std::string BotProcess::LineWithPrefix(const std::string& prefix) const {
    for (auto line = lines_.crbegin(); line != lines_.crend(); ++line)
        if (line->startsWith(QString::fromStdString(prefix)))
            return line->toStdString();
    return "";
}

void BotProcess::Send(const std::string& line) {
    process_.write(QByteArray::fromStdString(line + "\n"));
}

void BotProcess::Kill() {
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.kill();
    process_.waitForFinished();
}

std::string BotProcess::Output() const {
    return "\n" + lines_.join('\n').toStdString();
}
