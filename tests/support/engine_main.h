#pragma once

#include <unistd.h>
#include <QApplication>
#include <QtTest>

#include <vector>

// Runs a test that starts the real web engine: the engine needs a shared GL
// context set before the application exists, refuses to run as root with
// its sandbox on, and must not reach for the network by itself.
// engineArgs reach the engine as command-line switches (one switch each,
// spaces allowed), not the test runner.
template <typename TestClass>
int quillowEngineTestMain(int argc, char **argv, QList<QByteArray> engineArgs = {}) {
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    flags += " --disable-background-networking --disable-component-update";
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    std::vector<char *> appArgv(argv, argv + argc);
    for (QByteArray &a : engineArgs)
        appArgv.push_back(a.data());
    int appArgc = int(appArgv.size());
    appArgv.push_back(nullptr);
    QApplication app(appArgc, appArgv.data());
    TestClass test;
    return QTest::qExec(&test, argc, argv);
}

#define QUILLOW_ENGINE_TEST_MAIN(TestClass)                  \
    int main(int argc, char **argv) {                        \
        return quillowEngineTestMain<TestClass>(argc, argv); \
    }
