#pragma once

#include <QWidget>

namespace quillow {

// The About window: name, version, credits, the author's note, the icon
// and a photograph, and links to the home page and the e-mail address.
// A click anywhere but on the note closes it; it deletes itself on closing,
// so each opening fills the version anew.
class AboutWindow : public QWidget {
    Q_OBJECT
public:
    static const QString kHomePage;
    static const QString kMailAddress;
    // Twelve lines, each ended by CR LF.
    static const QString kAuthorNote;

    AboutWindow();

    // "major.minor.revision" as plain decimal numbers.
    static QString versionText(int major, int minor, int revision);

Q_SIGNALS:
    // A link was clicked: its address is to be gone to, every time.
    void linkChosen(const QString &address);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void buildControls();
    // Asks for address to be gone to, then closes.
    void followLink(const QString &address);
};

}  // namespace quillow
