#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

class QLabel;

namespace quillow {

class Inet;

// The "Offline" / "Testing." / "Online" label of a main window, driven by
// the window's Internet Transfer component. The component also fetches the
// HTML window's pages; those fetches take precedence over a test, and the
// label follows them as well.
class ConnectionIndicator : public QObject {
    Q_OBJECT
public:
    // A click on onoff retests.
    ConnectionIndicator(QLabel *onoff, Inet *inet, QString testHost, QObject *parent = nullptr);

    // Starts a connection test and returns at once. Refused quietly while
    // any transfer runs, so a dragged window border does not pile up tests.
    void retest();

    // Fetches address for a page, cancelling a running test or an earlier
    // page fetch. Returns at once; the result comes through pageFetched.
    // False (and no pageFetched) when the address cannot be fetched.
    bool fetchPage(const QString &address);
    // Ends a running page fetch without reporting it.
    void cancelPage();
    bool fetchingPage() const { return running_ == Running::Page; }

Q_SIGNALS:
    // The end of the page fetch: ok with the whole body, or failed.
    void pageFetched(bool ok, const QByteArray &body);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class Running { Nothing, Test, Page };

    void onState(int state);
    void onFinished(bool ok, const QByteArray &body);
    // Cancels whatever runs, without reporting its end.
    void dropRunning();

    QPointer<QLabel> onoff_;
    QPointer<Inet> inet_;
    QString testHost_;
    Running running_ = Running::Nothing;
};

}  // namespace quillow
