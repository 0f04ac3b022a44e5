#pragma once

#include <QString>

// The address of one of the maker's web services: the key of section [server] in
// service.ini beside the program, else the compiled-in default. Keys: "update" and
// "updateEN" (update service, Chinese and English interface), "channel" (channel
// report), "bs" (uninstall reasons; no default).
QString serviceAddress(const QString &key);
