// Qt is linked statically on Windows: its plug-ins are linked in and registered here,
// in the program itself, where the linker cannot drop them. The platform plug-in draws
// the windows; the icon plug-in reads the edition's ZQ.ico for the logo.
#include <QtPlugin>

Q_IMPORT_PLUGIN(QWindowsIntegrationPlugin)
Q_IMPORT_PLUGIN(QICOPlugin)
