#pragma once

// The main of the Qt test executables: a QApplication on the offscreen platform (unless the
// environment names another) with a private runtime folder, then GoogleTest.

#include <QApplication>
#include <QDir>
#include <QFile>

#include <gmock/gmock.h>

#include <unistd.h>

namespace sonari::test {

inline int RunQtTests(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString runtimeDir = QDir::tempPath() + "/sonari-test-runtime-" +
                                   QString::number(static_cast<qint64>(getuid()));
        QDir().mkpath(runtimeDir);
        QFile::setPermissions(runtimeDir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtimeDir.toLocal8Bit());
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}

} // namespace sonari::test
