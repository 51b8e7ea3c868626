#pragma once

#include <QObject>

class QSocketNotifier;

namespace quillow {

// SIGTERM, SIGINT and SIGHUP (the session's logout, kill, Ctrl+C) as a
// notification of the event loop's, so that the program closes its windows
// as their close boxes do and ends normally, its profile written and its
// lock given up. Only one may exist.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

Q_SIGNALS:
    // Each time one of the signals arrives.
    void received();

private:
    QSocketNotifier *notifier_ = nullptr;
};

}  // namespace quillow
