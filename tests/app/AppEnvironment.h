#pragma once

#include "tests/support/TestSupport.h"

#include <QByteArray>
#include <QString>

#include <map>
#include <string>

namespace sonari::test {

// Sets environment variables for one test and puts the old values back afterwards.
class TScopedEnv {
public:
    TScopedEnv() = default;
    ~TScopedEnv() {
        for (const auto& [name, value] : saved_) {
            if (value.isNull())
                qunsetenv(name.c_str());
            else
                qputenv(name.c_str(), value);
        }
    }
    TScopedEnv(const TScopedEnv&) = delete;
    TScopedEnv& operator=(const TScopedEnv&) = delete;

    void Set(const std::string& name, const QString& value) {
        Save(name);
        qputenv(name.c_str(), value.toLocal8Bit());
    }
    void Unset(const std::string& name) {
        Save(name);
        qunsetenv(name.c_str());
    }

private:
    void Save(const std::string& name) {
        if (!saved_.count(name))
            saved_[name] =
                qEnvironmentVariableIsSet(name.c_str()) ? qgetenv(name.c_str()) : QByteArray();
    }
    std::map<std::string, QByteArray> saved_;
};

inline QString QPath(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

// A private home and configuration folder ($HOME and $XDG_CONFIG_HOME) for one test.
struct TPrivateConfig {
    TPrivateConfig() {
        Env.Set("HOME", QPath(Dir / "home"));
        Env.Set("XDG_CONFIG_HOME", QPath(Dir / "config"));
    }
    TTempDir Dir{"sonari-config"};
    TScopedEnv Env;
};

} // namespace sonari::test
