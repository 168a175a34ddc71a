#include "controls/TrayIcon.h"

#include <QCursor>

#include <algorithm>

namespace sonari {

TTrayIcon::TTrayIcon(QObject* parent) : QObject(parent) {
    areaWatch_.setInterval(kAreaPollMs);
    connect(&areaWatch_, &QTimer::timeout, this, [this] { LookForArea(); });
}

TTrayIcon::~TTrayIcon() { DeleteIcon(); }

bool TTrayIcon::TrayAvailable() { return QSystemTrayIcon::isSystemTrayAvailable(); }

void TTrayIcon::SetActive(bool active) {
    if (active == active_)
        return;
    active_ = active;
    if (active_)
        AddIcon();
    else
        DeleteIcon();
}

void TTrayIcon::SetIcon(const QIcon& icon) {
    if (icon.cacheKey() == icon_.cacheKey())
        return;
    icon_ = icon;
    ModifyIcon();
}

void TTrayIcon::SetToolTip(const QString& text) {
    int length = std::min<int>(text.size(), kMaxToolTipLength);
    // Never split a surrogate pair.
    if (length < text.size() && length > 0 && text.at(length - 1).isHighSurrogate())
        --length;
    toolTip_ = text.left(length);
    ModifyIcon();
}

void TTrayIcon::FillRecord() {
    ++recordUpdates_;
    if (!trayIcon_)
        return;
    trayIcon_->setIcon(icon_);
    trayIcon_->setToolTip(toolTip_);
    // A platform icon without an image cannot be shown; it appears with the first image.
    if (!icon_.isNull() && !trayIcon_->isVisible())
        trayIcon_->show();
}

void TTrayIcon::AddIcon() {
    if (!trayIcon_ && AreaAvailable()) {
        trayIcon_ = std::make_unique<QSystemTrayIcon>();
        connect(trayIcon_.get(), &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) { HandleActivation(reason); });
    } else if (!trayIcon_ && !areaWatch_.isActive()) {
        areaWaited_.start();
        areaWatch_.start();
    }
    FillRecord();
}

void TTrayIcon::LookForArea() {
    if (!active_ || trayIcon_ || areaWaited_.hasExpired(kAreaWaitMs)) {
        areaWatch_.stop();
    } else if (AreaAvailable()) {
        areaWatch_.stop();
        AddIcon();
        if (OnAppeared)
            OnAppeared();
    }
}

// The platform icon exists only while active, so inactive changes stay in the record.
void TTrayIcon::ModifyIcon() { FillRecord(); }

void TTrayIcon::DeleteIcon() {
    areaWatch_.stop();
    trayIcon_.reset();
}

void TTrayIcon::HandleActivation(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        if (OnClick)
            OnClick();
        break;
    case QSystemTrayIcon::DoubleClick:
        if (OnDblClick)
            OnDblClick();
        break;
    case QSystemTrayIcon::Context:
        RightClick();
        break;
    default:
        break;
    }
}

void TTrayIcon::RightClick() {
    const QPoint pos = QCursor::pos();
    if (popupMenu_)
        popupMenu_->popup(pos);
    if (OnRightClick)
        OnRightClick(Qt::RightButton, Qt::NoModifier, pos);
}

} // namespace sonari
