#pragma once

#include <QWidget>

namespace quillow {

class WindowRegistry;

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

    explicit AboutWindow(WindowRegistry &registry);

    // "major.minor.revision" as plain decimal numbers.
    static QString versionText(int major, int minor, int revision);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void buildControls();
    // Goes to address in the primary main window, then closes.
    void followLink(const QString &address);

    WindowRegistry &registry_;
};

}  // namespace quillow
