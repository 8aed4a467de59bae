#pragma once

#include <cstdint>
#include <string>

// The engine's file stream over a POSIX descriptor. Every call on a closed file returns 0.
class ssFile {
public:
    ssFile() = default;
    virtual ~ssFile();
    ssFile(const ssFile&) = delete;
    ssFile& operator=(const ssFile&) = delete;

    // Returns the bytes read (0 at the end or on an I/O error) and adds them to the position.
    virtual int64_t Read(void* buffer, int64_t size);

    // Writes everything it can; returns the bytes written (a failure counts as 0).
    virtual int64_t Write(const void* data, int64_t size);

    // Returns the new offset (which becomes the position) or -1 when the seek failed.
    virtual int64_t Seek(int64_t offset, int whence);

    virtual void Close();

    // The size in bytes, learned once and then cached; DropCachedSize makes the next call look
    // again (for files that grow while they are read).
    virtual int64_t GetSize();

    // The descriptor's current offset.
    virtual int64_t Tell();

    // Opens the path with the given open flags (close-on-exec is added; new files get 0666 less
    // the umask). Media files are read once, so the kernel is told not to keep their pages.
    // Returns true when the file is open. Named pipes, devices and sockets are refused without
    // waiting (LastError() is then kNotRegularFile).
    bool Open(const char* path, int flags);
    // Why the last Open failed: an errno value, kNotRegularFile, or 0 after a success.
    int LastError() const { return lastError_; }
    static constexpr int kNotRegularFile = -1;

    bool IsOpen() const { return fd_ >= 0; }
    int GetDescriptor() const { return fd_; }
    const std::string& GetPath() const { return path_; }
    int64_t GetPosition() const { return position_; }
    void DropCachedSize() { size_ = -1; }

protected:
    int32_t fd_ = -1;
    int64_t position_ = 0;
    std::string path_;
    int64_t size_ = -1;
    int lastError_ = 0;

private:
    void ReleaseReadPages();

    // Pages before this offset were already handed back to the kernel.
    int64_t releasedUpTo_ = 0;
};
