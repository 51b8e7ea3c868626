#pragma once

#include <QStringList>

#include "inet/inet.h"

namespace quillow::test {

// A scripted Internet Transfer component: records OpenURL and Cancel, and
// lets the test report states and the end of the transfer.
class FakeInet : public Inet {
    Q_OBJECT
public:
    using Inet::Inet;

    QStringList opened;
    int cancels = 0;
    bool running = false;

    bool OpenURL(const QString &address) override {
        if (running)
            return false;
        opened.append(address);
        running = true;
        return true;
    }
    void Cancel() override {
        ++cancels;
        if (running)
            finish(false);
    }
    bool busy() const override { return running; }

    void state(int code) { emit StateChanged(code); }
    void finish(bool ok, const QByteArray &body = QByteArray()) {
        running = false;
        emit finished(ok, body);
    }
};

}  // namespace quillow::test
