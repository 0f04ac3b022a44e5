#pragma once

#include <QString>

// The kinds of client. The edition code ("third") is empty for the standard edition,
// "KWRender" for the co-branded edition (Unity) and any other code for a partner.
// Every rule that tells the editions apart lives here.
enum class Edition { Standard, CoBranded, Partner };

Edition editionOf(const QString &third);

namespace edition {

// The co-branded edition's code.
QString coBrandedCode();

// The registry sub-key of the uninstall entry and the per-user settings.
QString registryKey(Edition e);
// The key whose record a program without ZQ.ini reads, told by its own directory:
// the standard key when the path names it, else the co-branded one.
QString registryKeyOfDir(const QString &appDir);

// The folder below the chosen target that holds every installed version.
QString productFolder(Edition e);
bool isProductFolder(const QString &folderName);
// The folder below the program-files folder that the installer offers.
QString defaultTargetFolder(const QString &third);
// A co-branded client's stored installation folder names its code where the
// installer names its own folder.
QString coBrandedTargetOf(QString storedDir);

// The Start-menu folder that holds the client's shortcuts; name is the display name.
QString startMenuFolder(Edition e, const QString &name);

// The update request's client parameter: "oka", "u3d" or empty.
QString updateClient(const QString &third);
// The Qt resource of the edition's icon, which the updater gives the client.
QString iconResource(const QString &third);

// The uninstall reasons' type ("2" standard, "1" co-branded, empty for partners);
// partners ask no reasons and post no feedback.
QString reasonType(Edition e);
bool asksFeedback(Edition e);

// 3ds Max must be closed to install or remove any client but the co-branded one,
// which instead takes itself out of the Unity editor on removal.
bool needsMaxClosed(Edition e);
bool leavesUnityOnRemoval(Edition e);

// The uninstall entry names the maker as publisher, and its web address, only for
// our own editions.
bool namesPublisher(Edition e);
bool namesMakerAddress(Edition e);

} // namespace edition
