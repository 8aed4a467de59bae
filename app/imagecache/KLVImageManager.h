#pragma once
// Cache paths of the slate and thumbnail PNG files of a cue: "<UUID>_slate.png" in the
// "SlateImages" folder and "<UUID>_thumb.png" in the "Thumbnails" folder of the application
// data folder. The media helper writes the files; this class names, tests and deletes them.
//
// The node forms are templates over any cue type with UUID() (std::optional<QString>) and
// plnName(), so this library sits below the document model that uses it.
//
// A UUID comes from the document file; an empty one, or one that could leave the folder (it
// holds "/" or a NUL), names no file, like an absent one.

#include <QString>
#include <optional>

class KLVImageManager {
public:
    KLVImageManager() = delete;

    static constexpr const char* kSlateFolderName = "SlateImages";
    static constexpr const char* kThumbnailFolderName = "Thumbnails";
    static constexpr const char* kSlateSuffix = "_slate.png";
    static constexpr const char* kThumbnailSuffix = "_thumb.png";

    // The folders (in the application data folder; created when missing).
    static QString slateImageFolder();
    static QString thumbnailFolder();

    // The file path for a UUID (its folder is not created); empty when the UUID is absent or
    // unusable as a file name.
    static QString slateImagePathForUUID(const std::optional<QString>& uuid);
    static QString thumbnailImagePathForUUID(const std::optional<QString>& uuid);

    // False for an absent UUID (path untouched); otherwise the path is stored through a
    // non-null pointer and the answer is whether a file exists there.
    static bool slateImageExistsForPlaylistNodeUUID(const std::optional<QString>& uuid, QString* slatePath);
    static bool thumbnailImageExistsForPlaylistNodeUUID(const std::optional<QString>& uuid, QString* thumbPath);

    // While one is alive on a thread, that thread's existence checks answer from one listing of
    // each cache folder (made on first use) instead of asking the file system per cue: reading a
    // document checks two pictures for each of its cues. Scopes nest; the outermost lists.
    class ListingScope {
    public:
        ListingScope();
        ~ListingScope();
        ListingScope(const ListingScope&) = delete;
        ListingScope& operator=(const ListingScope&) = delete;

    private:
        bool outermost_;
    };

    // Deletes the file when it exists; a failed delete is logged with the cue's name.
    static void removeSlateForUUID(const std::optional<QString>& uuid, const QString& nodeName);
    static void removeThumbnailForUUID(const std::optional<QString>& uuid, const QString& nodeName);

    template <class Node>
    static QString slateImagePathForNode(const Node& node)
    {
        return slateImagePathForUUID(node.UUID());
    }
    template <class Node>
    static QString thumbnailImagePathForNode(const Node& node)
    {
        return thumbnailImagePathForUUID(node.UUID());
    }
    template <class Node>
    static bool slateImageExistsForPlaylistNode(const Node& node, QString* slatePath)
    {
        return slateImageExistsForPlaylistNodeUUID(node.UUID(), slatePath);
    }
    template <class Node>
    static bool thumbnailImageExistsForPlaylistNode(const Node& node, QString* thumbPath)
    {
        return thumbnailImageExistsForPlaylistNodeUUID(node.UUID(), thumbPath);
    }
    template <class Node>
    static void removeSlateForNode(const Node& node)
    {
        removeSlateForUUID(node.UUID(), node.plnName().value_or(QString()));
    }
    // The thumbnail, then the slate.
    template <class Node>
    static void removeImagesForNode(const Node& node)
    {
        removeThumbnailForUUID(node.UUID(), node.plnName().value_or(QString()));
        removeSlateForNode(node);
    }
    // Nodes held by pointer (shared_ptr or raw).
    template <class Nodes>
    static void removeImagesForNodes(const Nodes& nodes)
    {
        for (const auto& node : nodes)
            if (node)
                removeImagesForNode(*node);
    }
};
