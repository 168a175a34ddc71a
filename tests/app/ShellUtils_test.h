#pragma once

#include <QObject>
#include <QUrl>

#include <vector>

namespace sonari::test {

// Stands in for the desktop's URL handlers (QDesktopServices::setUrlHandler(scheme, this,
// "Open")).
class TUrlRecorder : public QObject {
    Q_OBJECT
public:
    std::vector<QUrl> Urls;
public slots:
    void Open(const QUrl& url) { Urls.push_back(url); }
};

} // namespace sonari::test
