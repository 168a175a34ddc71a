#include "app/AppIcons.h"

// The resources live in a static library: the linker keeps them only when they are referenced.
static void InitAppIconResources() { Q_INIT_RESOURCE(AppIcons); }

namespace sonari {
namespace {

// Never destroyed: icons must not outlive the application object in static destructors.
const QIcon& Load(const QIcon*& icon, const char* path) {
    static const bool initialised = (InitAppIconResources(), true);
    (void)initialised;
    if (!icon)
        icon = new QIcon(QString::fromLatin1(path));
    return *icon;
}

} // namespace

const QIcon& ProgramIcon() {
    static const QIcon* icon = nullptr;
    return Load(icon, ":/icons/sonari.svg");
}

const QIcon& StopIcon() {
    static const QIcon* icon = nullptr;
    return Load(icon, ":/icons/stop.svg");
}

const QIcon& RunIcon() {
    static const QIcon* icon = nullptr;
    return Load(icon, ":/icons/run.svg");
}

} // namespace sonari
