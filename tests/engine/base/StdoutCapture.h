#pragma once

#include <cstdio>
#include <string>
#include <unistd.h>

// Sends standard output (the engine log) to a temporary file until Finish() returns what was
// written.
class StdoutCapture {
public:
    StdoutCapture()
    {
        fflush(stdout);
        file_ = tmpfile();
        saved_ = dup(STDOUT_FILENO);
        dup2(fileno(file_), STDOUT_FILENO);
    }
    ~StdoutCapture() { Finish(); }

    std::string Finish()
    {
        if (saved_ >= 0) {
            fflush(stdout);
            dup2(saved_, STDOUT_FILENO);
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
    FILE* file_ = nullptr;
    int saved_ = -1;
    std::string text_;
};
