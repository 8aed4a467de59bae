#pragma once

#include <cstdio>
#include <string>
#include <unistd.h>

// Sends a descriptor (standard error, where the log's sink writes) to a temporary file until
// Finish() returns what was written.
class DescriptorCapture {
public:
    explicit DescriptorCapture(int fd) : fd_(fd)
    {
        fflush(stdout);
        fflush(stderr);
        file_ = tmpfile();
        saved_ = dup(fd_);
        dup2(fileno(file_), fd_);
    }
    ~DescriptorCapture() { Finish(); }
    DescriptorCapture(const DescriptorCapture&) = delete;
    DescriptorCapture& operator=(const DescriptorCapture&) = delete;

    std::string Finish()
    {
        if (saved_ >= 0) {
            fflush(stdout);
            fflush(stderr);
            dup2(saved_, fd_);
            close(saved_);
            saved_ = -1;
            rewind(file_);
            char chunk[4096];
            size_t n;
            while ((n = fread(chunk, 1, sizeof chunk, file_)) > 0)
                text_.append(chunk, n);
            fclose(file_);
        }
        return text_;
    }

private:
    int fd_;
    FILE* file_ = nullptr;
    int saved_ = -1;
    std::string text_;
};
