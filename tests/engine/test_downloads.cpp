// Downloads on the real engine: saved where the user says, or cancelled,
// and reported in the status bar of the window that started them.

#include <QWebEngineProfile>

#include "browser/download_controller.h"
#include "engine_support.h"
#include "harness.h"
#include "http_server.h"

using namespace Qt::StringLiterals;
using namespace quillow;
using namespace quillow::test;

class EngineDownloadsTest : public QObject {
    Q_OBJECT

    HttpServer server;

private slots:
    void savedOrCancelledAndReported() {
        QVERIFY(server.listen());
        HttpServer::Response file;
        file.contentType = "application/octet-stream";
        file.body = QByteArray(300 * 1024, 'q');
        server.route(u"/data.bin"_s, file);
        Harness h;
        QStringList asked;  // the file names the question was asked for
        QString saveAs;     // the answer: a name in the test's directory, or cancel
        DownloadController downloads(QWebEngineProfile::defaultProfile(),
                                     [&](QWidget *, const QString &fileName) {
                                         asked.append(fileName);
                                         return saveAs.isEmpty() ? QString() : h.filePath(saveAs);
                                     });
        MainWindow *w = startOnEngine(h);
        QVERIFY(w);

        saveAs = u"saved.bin"_s;
        typeAddress(w, server.url(u"/data.bin"_s));
        QTRY_VERIFY_WITH_TIMEOUT(statusBar(w)->pageStatus().startsWith(u"Download complete: "_s),
                                 kPageWait);
        QCOMPARE(asked, QStringList{u"data.bin"_s});
        QCOMPARE(readFile(h.filePath(saveAs)), file.body);

        saveAs.clear();
        typeAddress(w, server.url(u"/data.bin?again"_s));
        QTRY_COMPARE_WITH_TIMEOUT(statusBar(w)->pageStatus(), u"Download cancelled: data.bin"_s,
                                  kPageWait);
        QCOMPARE(asked.size(), 2);
    }
};

QUILLOW_ENGINE_TEST_MAIN(EngineDownloadsTest)
#include "test_downloads.moc"
