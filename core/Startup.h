#pragma once

#include <QString>
#include <QStringList>

namespace Startup {

// The score file named on the command line: the first argument after the
// program name, when it names an existing regular file; otherwise empty
// (a missing path or a directory is ignored).
QString fileArgument(const QStringList &arguments);

} // namespace Startup
