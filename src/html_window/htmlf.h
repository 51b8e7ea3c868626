#pragma once

#include <QByteArray>
#include <QPointer>
#include <QStringConverter>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace quillow {

class ConnectionIndicator;
class Windows;

// The HTML window: fetches the HTML text of an address through the primary
// main window's Internet Transfer component, lets the user change it, and
// shows the changed page in that window through the scratch file temp.htm.
// A top-level window that is gone once closed; creating it runs its load step.
class HtmlF : public QWidget {
    Q_OBJECT
public:
    explicit HtmlF(Windows &windows);
    ~HtmlF() override;

    QString scratchPath() const;

    QLineEdit *wsite() const { return wsite_; }
    QPlainTextEdit *hcontents() const { return hcontents_; }
    QPushButton *runButton() const { return command2_; }
    QPushButton *editButton() const { return command1_; }

    // Fills the contents box from the address line once the page is in;
    // returns at once. A failed fetch keeps the contents as they are.
    void fetchcontents();
    // Writes the contents to the scratch file and sends the primary main
    // window there.
    void run();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void load();
    void onPageFetched(bool ok, const QByteArray &body);

    Windows &windows_;
    QLabel *label1_;
    QLineEdit *wsite_;
    QLabel *label2_;
    QPushButton *command2_;
    QPushButton *command1_;
    QPlainTextEdit *hcontents_;
    // The indicator whose page fetch is ours, while it runs.
    QPointer<ConnectionIndicator> fetcher_;
    // The fetched page's own encoding, so Run writes the text back as the
    // page declares it; the system's before any page came.
    QStringConverter::Encoding encoding_ = QStringConverter::System;
};

}  // namespace quillow
