#pragma once

#include <QObject>
#include <functional>

class QWebEngineDownloadRequest;
class QWebEngineProfile;

namespace quillow {

// Asks where a download goes (fileName is the page's suggestion); an empty
// answer cancels it.
using AskSavePath = std::function<QString(QWidget *parent, const QString &fileName)>;

// fileName with the characters that could fool the user or a terminal
// (controls, text-direction overrides) replaced by "_".
QString safeFileName(QString fileName);

// Takes the downloads of every page of a profile: asks where each goes and
// has the window whose page started it report its progress.
class DownloadController : public QObject {
    Q_OBJECT
public:
    DownloadController(QWebEngineProfile *profile, AskSavePath askSavePath,
                       QObject *parent = nullptr);

private:
    void onDownloadRequested(QWebEngineDownloadRequest *download);

    AskSavePath askSavePath_;
};

}  // namespace quillow
