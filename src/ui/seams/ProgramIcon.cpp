#include "ProgramIcon.h"

// Registers the compiled-in resources. It has to run outside any namespace and
// also keeps the linker from dropping them out of the static library.
static void initProgramResources() { Q_INIT_RESOURCE(tarnwick); }

namespace tarnwick {

QIcon programIcon() {
    static const bool registered = (initProgramResources(), true);
    Q_UNUSED(registered);
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/tarnwick-32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/icons/tarnwick-48.png"), QSize(48, 48));
    return icon;
}

}  // namespace tarnwick
