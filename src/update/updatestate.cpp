#include "updatestate.h"

QString targetVersion;
QString oldDir;
QString newDir;
