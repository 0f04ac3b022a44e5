#pragma once

#include "versionfile.h"

#include <QList>
#include <QString>

// The binary patches a release publishes: for each file, from the file of the same name
// (or, for a name new in this release, the most alike of the names it dropped) in each of
// the newest earlier releases below the publish root. Only a patch of at most half its
// file is kept.
struct PatchPlan
{
    QString root;      // the publish root: <version>/files/... of earlier releases
    QString version;   // the release being made
    int releases = 3;  // how many earlier releases, newest first
    QString out;       // where the patches go: <base version>/<path>/<name>.patch
};

// Adds each file's patches to its entry, writing them below plan.out; the number made.
int addPatches(QList<FileItem> &files, const QString &tree, const PatchPlan &plan);

// Versions compared part by part, each dot-separated part as a number where it is one.
bool versionLess(const QString &a, const QString &b);
