#pragma once

#include <QWidget>

class QLabel;
class QPlainTextEdit;

namespace quillow {

class Windows;

// The About window: name, version, credits, the author's note, the icon
// and a photograph, and links to the home page and the e-mail address.
// A click anywhere but on the note closes it; it deletes itself on closing,
// so each opening fills the version anew.
class AboutForm : public QWidget {
    Q_OBJECT
public:
    static const QString kHomePage;
    static const QString kMailAddress;
    // Twelve lines, each ended by CR LF.
    static const QString kAuthorNote;

    explicit AboutForm(Windows &windows);

    // "major.minor.revision" as plain decimal numbers.
    static QString versionText(int major, int minor, int revision);

    QLabel *formitem(int index) const;
    QLabel *formp(int index) const;
    QPlainTextEdit *authorcomments() const { return authorcomments_; }

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void buildControls();
    void formitemClick(int index);
    void formpClick(int index);

    Windows &windows_;
    QLabel *formitem_[9] = {};
    QLabel *formp_[2] = {};
    QPlainTextEdit *authorcomments_ = nullptr;
};

}  // namespace quillow
