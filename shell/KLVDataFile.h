#pragma once
// The document's life on disk: where the data file is ("KLVDataFile", stored abbreviated with a
// tilde), reading it, saving it, opening another one and making a new one. Main thread.
//
// Nothing the user made is lost on the way: a file that cannot be read at launch is renamed
// aside before a new document may be saved over its path; opening a file reads it before the
// data file is switched to it; a failed save is logged and shown once, never thrown at the
// caller (edits happen in UI callbacks).

#include "app/document/KLVPlaylist.h"

#include <QString>

#include <memory>

class KLVPrompter;

class KLVDataFile {
public:
    using PlaylistPtr = std::shared_ptr<KLVPlaylist>;

    // Exception names of the reading and writing steps.
    static constexpr const char* kOpenFailed = "Failed to open data file";
    static constexpr const char* kParseFailed = "Unable to parse XML";
    static constexpr const char* kWriteFailed = "Failed to write data file";

    // channelCount: the channels a new document is made with.
    KLVDataFile(KLVPrompter& prompter, int channelCount);

    // The data file's path, tilde expanded and cleaned; the default is stored the first time it
    // is read while unset.
    static QString dataFilePath();
    // Stores the path abbreviated with a tilde.
    static void setDataFilePath(const QString& path);

    // A document read from an XML file. Throws kOpenFailed when the file cannot be read or
    // parsed, kParseFailed when its root is not a document (a list, a map or another class).
    // `dropped`, when given, counts the items the file held that the document leaves out.
    static PlaylistPtr deserializedLocalFile(const QString& path, int* dropped = nullptr);
    // Writes atomically; throws kWriteFailed.
    static void serialize(const KLVPlaylist& playlist, const QString& path, bool prettyPrinted = true);
    // Renames an unreadable file to "<path>.unreadable-<yyyyMMdd-HHmmss>" (with "-2", "-3"... when
    // taken). The new path, or empty when it could not be moved.
    static QString keepAside(const QString& path);
    // Copies a file that was read only in part to "<path>.original-<yyyyMMdd-HHmmss>" (with
    // "-2", "-3"... when taken), before the first save writes the document without what it left
    // out. The copy's path, or empty when it could not be made.
    static QString keepOriginal(const QString& path);

    // The document, read from the data file on first use (a new one when there is none or it
    // is unreadable).
    PlaylistPtr playlistData();
    bool hasDocument() const { return playlist_ != nullptr; }
    std::shared_ptr<KLVChannel> playlistDataForChannelNumber(long number);

    // Saves the document to the data file. False on failure, logged; the first failure after a
    // success is also shown to the user.
    bool saveLocalData();
    // Saves the current document (when one was read), then reads the file and, only when it
    // reads, makes it the document and the data file. False (with an alert) when it does not read.
    bool openFileAtURL(const QString& path);
    // Saves the current document, writes a new one to the path and makes it the document and
    // the data file. False (with an alert) when it cannot be written.
    bool newFile(const QString& path);

private:
    PlaylistPtr loadAtLaunch();
    // After a read that left items out: the original is copied aside and the user told, or,
    // when that fails, saving over it stays off.
    void keepOriginalOfPartialRead(const QString& path);
    void alert(const QString& message, const QString& detail);

    KLVPrompter& prompter_;
    int channelCount_;
    PlaylistPtr playlist_;
    // The unreadable (or partly read) file at the data path could not be kept: saving would
    // destroy it.
    bool savingBlocked_ = false;
    bool lastSaveFailed_ = false;
};
