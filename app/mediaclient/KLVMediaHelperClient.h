#pragma once
// Requests to the media helper Clipwright for a cue: its metadata, a thumbnail and a slate PNG
// (written by the helper at the cue's cache paths). Owned by the application delegate; used on
// the main thread.
//
// Every completion runs later on the main thread, exactly once, with either an error or the
// reply's "response" (converted to Qt values; metadata replies carry the dictionary, image
// replies usually nothing). Errors are in kErrorDomain:
//   100  the helper answered "failure" (its "reason", or a general text), or the request could
//        not be made (no cue, no source path, no cache path)
//   101  "NULL reply": the helper answered with nothing
//   199  "Unknown error": the helper ended or could not be started before answering, or did
//        not answer within the request time limit (metadata is asked again by the import)
// A helper that ended is started again by the next request.

#include "platform/foundation/Error.h"

#include <QCborMap>
#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>

class KLVPlaylistNode;

namespace platform {
class XpcServiceClient;
struct XpcReply;
} // namespace platform

// What a metadata reply says about a file.
struct KLVMediaMetadata {
    QString path;
    QString size;   // "1920x1080" or "Unknown"
    QString format; // the video decoder's short name
    bool validFormat = false;
    double duration = 0;
    double fps = 0;

    // "validFormat" is the text "YES"/"NO": read the way it was written, never as a variant
    // truth value (a non-empty "NO" would read as true).
    static KLVMediaMetadata fromResponse(const QVariant& response);
};

class KLVMediaHelperClient : public QObject {
    Q_OBJECT
public:
    using CompletionBlock = std::function<void(const platform::Error& error, const QVariant& response)>;
    using NodePtr = std::shared_ptr<KLVPlaylistNode>;

    static constexpr const char* kErrorDomain = "com.quenmark.Kalvanto";
    static constexpr int kErrorServiceFailure = 100;
    static constexpr int kErrorNullReply = 101;
    static constexpr int kErrorUnknown = 199;
    // Overrides where the helper program is looked for (tests, development trees).
    static constexpr const char* kServicePathVariable = "KLV_CLIPWRIGHT_PATH";
    // How long a request may go unanswered before it is given up. Generous: requests wait in
    // the helper's lanes behind the others of a large import.
    static constexpr int kDefaultRequestTimeoutMs = 60000;

    explicit KLVMediaHelperClient(QObject* parent = nullptr);
    ~KLVMediaHelperClient() override;

    // $KLV_CLIPWRIGHT_PATH, else "Clipwright" beside the running program.
    static QString defaultServicePath();
    QString servicePath() const;
    void setServicePath(const QString& path);
    int requestTimeout() const { return requestTimeoutMs_; }
    void setRequestTimeout(int ms) { requestTimeoutMs_ = ms > 0 ? ms : kDefaultRequestTimeoutMs; }

    // The connection to the helper (started on the first request).
    platform::XpcServiceClient& imageExtractorConnection() { return *connection_; }

    // Starts the helper now rather than at the first request (an import then waits only for
    // its answers).
    void startService();

    void requestMetadataForNode(const NodePtr& node, CompletionBlock completionBlock);
    // With metadataAndImages the helper is asked for "metadata-full", which it does not serve:
    // the completion gets its refusal, error 100.
    void requestMetadataAndImages(bool metadataAndImages, const NodePtr& node, CompletionBlock completionBlock);
    void requestThumbForNode(const NodePtr& node, CompletionBlock completionBlock);
    void requestSlateForNode(const NodePtr& node, CompletionBlock completionBlock);

    // How one answer reaches a completion (the same for all three kinds).
    static void deliverReply(const platform::XpcReply& reply, const CompletionBlock& completionBlock);

private:
    void send(const QCborMap& request, CompletionBlock completionBlock);
    // A thumbnail or slate request: needs the cue's source path and a cache path.
    void requestImage(const char* action, const char* destinationKey, const QString& destination, const NodePtr& node,
                      const QCborMap& extra, CompletionBlock completionBlock);
    static void failLater(const QString& reason, CompletionBlock completionBlock);

    platform::XpcServiceClient* connection_;
    int requestTimeoutMs_ = kDefaultRequestTimeoutMs;
};
