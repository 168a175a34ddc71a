#pragma once

// The main of the Qt test executables: a QApplication on the offscreen platform (unless the
// environment names another), a private runtime folder, then GoogleTest. A test file can
// register a child-process entry point; the executable runs it instead of the tests when the
// variable SONARI_TEST_CHILD names it, so a test can start this very executable as a child.

#include <QApplication>
#include <QDir>
#include <QFile>

#include <gmock/gmock.h>

#include <functional>
#include <map>
#include <string>
#include <unistd.h>

namespace sonari::test {

inline std::map<std::string, std::function<int()>>& ChildMains() {
    static std::map<std::string, std::function<int()>> mains;
    return mains;
}

inline bool RegisterChildMain(const std::string& name, std::function<int()> main) {
    ChildMains()[name] = std::move(main);
    return true;
}

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
    const std::string child = qEnvironmentVariable("SONARI_TEST_CHILD").toStdString();
    if (!child.empty()) {
        const auto it = ChildMains().find(child);
        return it == ChildMains().end() ? 99 : it->second();
    }
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}

} // namespace sonari::test
