#pragma once
// Which cues of a smart-folder channel the files of its folder keep, and which files need new
// cues. Pure; safe on any thread (cues are read through their own locks).
//
// Each file keeps at most one cue and each cue serves at most one file: first the cue with that
// very source path, then one whose source has that file name as it stands, and only then one
// whose name matches after decoding percent escapes (older documents kept URL-style paths).
// A plain name such as "100%.mov" is therefore never decoded.

#include "app/document/KLVPlaylistNode.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

struct KLVSmartFolderMatch {
    std::vector<std::shared_ptr<KLVPlaylistNode>> kept; // in the order of the files they matched
    QStringList newPaths;                               // files with no cue, in listing order
};

KLVSmartFolderMatch klvMatchFolderFiles(const std::vector<std::shared_ptr<KLVPlaylistNode>>& cues,
                                        const QStringList& files);

// The file name of a source path with its percent escapes decoded; empty when an escape is
// malformed or the bytes are not UTF-8.
std::optional<QString> klvDecodedFileName(const QString& sourcePath);

// By name, locale-aware and ignoring case; cues of equal names keep their order.
void klvSortCuesByName(std::vector<std::shared_ptr<KLVPlaylistNode>>& cues);
