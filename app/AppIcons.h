#pragma once

#include <QIcon>

namespace sonari {

// The program's own icons, drawn as SVG (app/icons/). Each call returns the same icon object,
// so assigning it twice is recognisably the same icon.
const QIcon& ProgramIcon();
const QIcon& StopIcon(); // not processing: grey microphone and mast, red stop mark
const QIcon& RunIcon();  // processing: green microphone, radiating mast

} // namespace sonari
