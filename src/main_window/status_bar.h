#pragma once

#include <QWidget>

class QLabel;

namespace quillow {

// The main window's status bar: three numbered panels along the bottom row
// and a one-line simple text above them; both are always on show.
class StatusBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPanelCount = 3;

    explicit StatusBar(QWidget *parent = nullptr);

    // Panels are numbered from 1.
    QString panelText(int panel) const;
    void setPanelText(int panel, const QString &text);
    QString simpleText() const;
    void setSimpleText(const QString &text);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QLabel *panels_[kPanelCount];
    QLabel *simple_;
};

}  // namespace quillow
