#include "browser/download_controller.h"

#include <QFileInfo>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <QWidget>

#include "browser/web_engine_browser.h"

namespace quillow {

DownloadController::DownloadController(QWebEngineProfile *profile, AskSavePath askSavePath,
                                       QObject *parent)
    : QObject(parent), askSavePath_(std::move(askSavePath)) {
    connect(profile, &QWebEngineProfile::downloadRequested, this,
            &DownloadController::onDownloadRequested);
}

QString safeFileName(QString fileName) {
    for (QChar &c : fileName) {
        const char16_t u = c.unicode();
        if (c.category() == QChar::Other_Control || u == 0x200E || u == 0x200F ||
            (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069))
            c = QLatin1Char('_');
    }
    return fileName;
}

void DownloadController::onDownloadRequested(QWebEngineDownloadRequest *download) {
    // The engine cancels a download that is not accepted inside this
    // notification, so the question is asked here.
    WebEngineBrowser *browser = WebEngineBrowser::of(download);
    QWidget *window = browser ? browser->widget()->window() : nullptr;
    const QString name = safeFileName(download->downloadFileName());
    const QString path = askSavePath_ ? askSavePath_(window, name) : QString();
    if (path.isEmpty()) {
        download->cancel();
        if (browser)
            emit browser->statusTextChanged(tr("Download cancelled: %1").arg(name));
        return;
    }
    const QFileInfo target(path);
    download->setDownloadDirectory(target.absolutePath());
    download->setDownloadFileName(target.fileName());
    if (browser)
        browser->followDownload(download);
    download->accept();
}

}  // namespace quillow
