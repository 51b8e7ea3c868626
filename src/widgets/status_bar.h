#pragma once

#include <QWidget>

class QLabel;

namespace quillow {

// The main window's status bar: a one-line message above three panels,
// both always on show. The first panel shows the page's status, the second
// the count of refused popups; the third lies under the progress bar.
class StatusBar : public QWidget {
    Q_OBJECT
public:
    explicit StatusBar(QWidget *parent = nullptr);

    QString pageStatus() const;
    void setPageStatus(const QString &text);
    QString popupCount() const;
    void setPopupCount(const QString &text);
    // What the popup panel's tooltip and screen reader tell beside it.
    void setPopupDetails(const QString &text);
    QString message() const;
    void setMessage(const QString &text);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    static constexpr int kPanelCount = 3;
    QLabel *panels_[kPanelCount];
    QLabel *message_;
};

}  // namespace quillow
